// The recovery page end to end: its own probe, a firmware package from a chosen file or from
// the update server, the transfer to the emulated unit, and what the user sees when the
// download or the transfer goes wrong.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "../update/UpdateTestSupport.h"
#include "support/DeviceSheet.h"
#include "support/FtpServer.h"
#include "update/UpdateServer.h"
#include "widgets/TextProgressBar.h"

using TestSupport::Settle;
using TestSupport::WaitUntil;

namespace {

// Room for a loaded two-core machine.
constexpr int kProbeMs = 5000;
constexpr int kRecoveryTimeoutMs = 30000;

// A firmware package of version 1.minor.
QByteArray Firmware(std::uint8_t minor, std::size_t size) {
  return UpdateTestSupport::BuildPackage(PackageHeader::kFirmware, 0, {1, minor, 0}, size);
}

// A sheet with the recovery page open, an emulated unit at firmware 1.5 that is not plugged
// in yet, and the file dialog answered with `chosenFile`.
class RecoveryPage : public ::testing::Test {
 protected:
  void SetUp() override {
    files = std::make_unique<QTemporaryDir>();
    unit = std::make_unique<UnitEmulator>();
    ASSERT_TRUE(unit->Start({{"plugged", false}, {"version", QJsonObject{{"fwmajor", 1}, {"fwminor", 5}}}}));
    s = std::make_unique<DeviceSheet>();
    s->sheet->SetActivePage(&Reset());
    UiSeams::SetFileDialogHandler([this](const UiSeams::FileDialogRequest&) { return chosenFile; });
  }

  void TearDown() override {
    UiSeams::SetFileDialogHandler({});
    s.reset();  // a worker still reporting finds the page gone rather than half torn down
    server.Stop();
    unit.reset();
    qunsetenv(UpdateServer::kOverrideVariable);
  }

  CReset& Reset() { return s->sheet->m_pageReset; }
  CMainTab& Main() { return s->Main(); }
  QString Text(int index) { return s->sheet->Text(index); }
  QString DoneText() { return Text(UiIndex(DBFW_TAB_001, 19)); }
  bool Saw(const QString& text) { return WaitUntil([&] { return s->SawMessage(text); }, kRecoveryTimeoutMs); }
  bool UpdateComesBack() { return WaitUntil([&] { return Reset().m_buttonUpdate->isEnabled(); }, kProbeMs); }
  bool PlugAndWaitForUpdate() { return unit->Client().Plug() && UpdateComesBack(); }
  bool UnitReaches(const QString& firmware) {
    return WaitUntil([&] { return unit->Status()["version"].toObject()["firmware"] == firmware; }, kProbeMs);
  }

  // Chooses the package through Browse.
  void Choose(const QByteArray& bytes) {
    chosenFile = files->filePath(QStringLiteral("fw.hdr"));
    ASSERT_TRUE(TestSupport::WriteFile(chosenFile, bytes));
    Reset().m_buttonBrowse->click();
  }

  // Puts the package on a loopback update server, as the version file's firmware.
  void Serve(const QByteArray& bytes, const QString& name = QStringLiteral("V770_FW_v0108")) {
    ASSERT_TRUE(TestSupport::WriteFile(files->filePath("ftp/down/FW/V770/FW/V770_FW_v0108.hdr"), bytes));
    ASSERT_TRUE(server.Start(files->filePath(QStringLiteral("ftp"))));
    qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
    s->sheet->m_strFWFile = name;
    Reset().m_radioAuto->click();
  }

  std::unique_ptr<QTemporaryDir> files;
  std::unique_ptr<UnitEmulator> unit;
  TestSupport::FtpServer server;
  std::unique_ptr<DeviceSheet> s;
  QString chosenFile;
};

TEST_F(RecoveryPage, FirmwareFromAChosenFileOrTheServerIsInstalled) {
  for (const bool automatic : {false, true}) {
    SCOPED_TRACE(automatic ? "server" : "chosen file");
    CReset& reset = Reset();
    EXPECT_TRUE(reset.m_radioManual->isChecked());
    EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());
    EXPECT_FALSE(reset.IsProbeTimerActive());
    const QByteArray firmware = Firmware(8, automatic ? 300000 : 40000);
    automatic ? Serve(firmware) : Choose(firmware);
    // Manual: seven steps from RESET_TAB_011 and the path; automatic: six from RESET_TAB_005.
    const int shown = automatic ? 6 : 7;
    for (int i = 0; i < shown; ++i)
      EXPECT_EQ(reset.m_staticSteps[i]->text(), Text(UiIndex(RESET_TAB_001, (automatic ? 5 : 11) + i)));
    EXPECT_EQ(reset.m_staticSteps[6]->isHidden(), automatic);
    EXPECT_EQ(reset.m_buttonBrowse->isHidden(), automatic);
    EXPECT_EQ(reset.m_groupMode->title(), Text(UiIndex(RESET_TAB_001, 2)));
    EXPECT_EQ(reset.m_buttonUpdate->text(), Text(UiIndex(DBFW_TAB_001, 15)));
    EXPECT_TRUE(Main().m_bBusy);
    if (automatic) {
      reset.m_radioManual->click();
      EXPECT_TRUE(reset.IsProbeTimerActive()) << "manual mode leaves the probe running";
      reset.m_radioAuto->click();
    }
    Settle(1200);
    EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());  // no unit yet
    ASSERT_TRUE(PlugAndWaitForUpdate());
    EXPECT_FALSE(reset.IsProbeTimerActive());
    reset.m_buttonUpdate->click();
    EXPECT_FALSE(reset.m_radioManual->isEnabled());
    ASSERT_TRUE(Saw(DoneText())) << server.Log().toStdString();
    EXPECT_EQ(s->Messages().size(), 1);
    EXPECT_EQ(reset.m_progress->GetPos(), 100);
    EXPECT_TRUE(!Main().m_bBusy && Main().IsPollTimerActive());
    EXPECT_TRUE(UnitReaches(u"1.8"_qs));
    if (automatic) {
      EXPECT_EQ(reset.m_strRemoteURL, server.BaseUrl() + "/down/FW/V770/FW/V770_FW_v0108.hdr");
      EXPECT_EQ(TestSupport::ReadFile(reset.m_strLocalPath), firmware);
      EXPECT_EQ(QFileInfo(reset.m_strLocalPath).absolutePath(), QDir::current().absolutePath());
      EXPECT_EQ(std::pair(reset.m_nDownloadProgress, reset.m_nDownloadProgressMax),
                std::pair(quint64(firmware.size()), quint64(firmware.size())));
    }
    TearDown();
    SetUp();
  }
}

TEST_F(RecoveryPage, DownloadKeepsTheWindowAliveAndAFailedOneSendsNothing) {
  Serve(Firmware(8, 5000), QStringLiteral("V770_FW_v0199"));  // not on the server
  ASSERT_TRUE(PlugAndWaitForUpdate());
  ASSERT_TRUE(server.Pause());  // the download hangs until the server thaws
  TestSupport::Clock clock;
  Reset().m_buttonUpdate->click();
  EXPECT_LT(clock.elapsed(), 1000);  // the click returns while the download waits
  // Neither the controls nor the probe bring the Update button back meanwhile.
  Reset().m_buttonBrowse->click();
  Reset().m_radioAuto->click();
  Settle(1500);
  EXPECT_FALSE(Reset().m_buttonUpdate->isEnabled());
  ASSERT_TRUE(server.Resume());
  ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[1]));
  Settle(500);
  EXPECT_EQ(s->Messages().size(), 1);
  EXPECT_FALSE(QFile::exists(Reset().m_strLocalPath));
  EXPECT_TRUE(ReceivedOn(*unit, u"PIPE00RESET"_qs).isEmpty());
  EXPECT_FALSE(Reset().m_buttonUpdate->isEnabled() || Reset().IsRecoveryRunning() || Main().m_bBusy);
}

TEST_F(RecoveryPage, UnpluggedMidTransferShowsTheErrorLineAndNoCompletion) {
  Choose(Firmware(7, 400000));
  ASSERT_TRUE(unit->Client().Rate(40000));  // about ten seconds for the whole payload
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() >= 5; }, kRecoveryTimeoutMs));
  ASSERT_TRUE(unit->Client().Unplug());
  const QString errorLine = Text(UiIndex(DBFW_TAB_001, 6));
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_staticStatus->text() == errorLine; }, kRecoveryTimeoutMs));
  Settle(500);
  EXPECT_TRUE(s->Messages().isEmpty());
  EXPECT_FALSE(Reset().IsRecoveryRunning() || Main().m_bBusy);  // the main page watches the unit again
  EXPECT_TRUE(UnitReaches(u"1.5"_qs) && QFile::exists(chosenFile));  // nothing half installed, the file kept
}

TEST_F(RecoveryPage, StalledTransferIsGivenUpAndThePageGivenBack) {
  Reset().SetWatchdogPeriodMs(50);  // gives up after about a second without progress
  Choose(Firmware(7, 2000000));
  ASSERT_TRUE(PlugAndWaitForUpdate());
  ASSERT_TRUE(unit->Client().Stall(120000));
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(s->sheet->m_strErrorMsg[10]); }, 10000));
  EXPECT_TRUE(!Reset().IsRecoveryRunning() && Reset().m_radioAuto->isEnabled() && Reset().m_buttonBrowse->isEnabled());
  // The unit reads again: the page finds it, and Update sends the same file whole.
  ASSERT_TRUE(unit->Client().Stall(0));
  ASSERT_TRUE(UpdateComesBack());
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(Saw(DoneText()));
  EXPECT_TRUE(UnitReaches(u"1.7"_qs));
}

TEST_F(RecoveryPage, NoChannelNoFileOrAShortOneIsRefusedInTheUsersLanguageAndOneChannelKept) {
  // Before any probe found the unit the page holds no channel: an information box says so.
  const QString package = files->filePath(QStringLiteral("fw.hdr"));
  ASSERT_TRUE(TestSupport::WriteFile(package, Firmware(7, 3000)));
  EXPECT_TRUE(Reset().StartRecoveryTransfer(package));
  ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[11]));
  EXPECT_EQ(s->Messages().last().icon, UiSeams::MessageIcon::Information);
  // A cancelled Browse leaves the main page unpaused: its poll would identify the plugged
  // unit and the sheet would rebuild this page, stopping the probe. Keep it out of the way.
  Main().StopPollTimer();
  s->sheet->SetLanguage(kLanguageFrench);
  Reset().m_buttonBrowse->click();  // cancelled: the probe still runs, and Update has no file
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  Choose(Firmware(7, 0).left(1000));  // shorter than the payload offset
  ASSERT_TRUE(UpdateComesBack());
  Reset().m_buttonUpdate->click();
  ASSERT_EQ(s->Messages().size(), 3);
  for (const DeviceSheet::Message& message : s->Messages().mid(1))
    EXPECT_TRUE(message.text.startsWith(u"Le fichier de micrologiciel"_qs)) << message.text.toStdString();
  Settle(300);
  EXPECT_TRUE(ReceivedOn(*unit, u"PIPE00RESET"_qs).isEmpty());
  EXPECT_FALSE(Main().m_bBusy);
  // Two probes found the unit: the channel the first one opened is closed.
  EXPECT_TRUE(unit->WaitForStatus(
      [](const QJsonObject& status) {
        const QJsonArray open = status["openChannels"].toArray();
        return std::count(open.begin(), open.end(), QJsonValue(u"PIPE00RESET"_qs)) == 1;
      },
      kProbeMs));
}

}  // namespace
