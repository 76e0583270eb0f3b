// The recovery page end to end: its own probe, a firmware package from a chosen file or from
// the update server, the transfer to the emulated unit, the unit's restart that proves it
// took the firmware, what the user sees when something goes wrong, and the other pages
// keeping off the unit meanwhile.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>

#include "../update/UpdateTestSupport.h"
#include "support/DeviceSheet.h"
#include "support/FtpServer.h"
#include "text/ExtraTexts.h"
#include "update/RecoveryCheck.h"
#include "update/UpdateServer.h"
#include "widgets/TextProgressBar.h"

using TestSupport::Settle;
using TestSupport::WaitUntil;

namespace {

// Room for a loaded two-core machine.
constexpr int kProbeMs = 5000;
constexpr int kRecoveryTimeoutMs = 30000;
// The restart of a unit that took its firmware (2 s), the poll and the query's wait, and room.
constexpr int kShortRestartWaitMs = 8000;

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
  // The end message of a recovery the unit took: it came back with this firmware.
  QString Taken(const char* firmware) {
    return Text(UiIndex(DBFW_TAB_001, 19)) + '\n' + ExtraText(ExtraTextId::RESET_UNIT_FIRMWARE).arg(firmware);
  }
  bool Saw(const QString& text) { return WaitUntil([&] { return s->SawMessage(text); }, kRecoveryTimeoutMs); }
  bool UpdateComesBack() { return WaitUntil([&] { return Reset().m_buttonUpdate->isEnabled(); }, kProbeMs); }
  bool PlugAndWaitForUpdate() { return unit->Client().Plug() && UpdateComesBack(); }
  bool UnitReaches(const QString& firmware) {
    return WaitUntil([&] { return unit->Status()["version"].toObject()["firmware"] == firmware; }, kProbeMs);
  }

  // Chooses the package through Browse.
  void Choose(const QByteArray& bytes, const QString& name = QStringLiteral("fw.hdr")) {
    chosenFile = files->filePath(name);
    ASSERT_TRUE(TestSupport::WriteFile(chosenFile, bytes));
    Reset().m_buttonBrowse->click();
  }

  // Puts the package on a loopback update server as the version file's firmware 1.8.
  void Serve(const QByteArray& bytes, const QString& name = QStringLiteral("V770_FW_v0108")) {
    ASSERT_TRUE(TestSupport::WriteFile(files->filePath("ftp/down/FW/V770/FW/V770_FW_v0108.hdr"), bytes));
    ASSERT_TRUE(server.Start(files->filePath(QStringLiteral("ftp"))));
    qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
    s->sheet->m_strFWFile = name;
    s->sheet->m_strFWVersion = QStringLiteral("1.8");
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
    // The download says what it does, as the update page does.
    if (automatic) { EXPECT_EQ(reset.m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 14))); }
    // Complete once the unit is back from its restart, with the firmware it now runs.
    ASSERT_TRUE(Saw(Taken("1.8"))) << server.Log().toStdString();
    EXPECT_EQ(s->Messages().size(), 1);
    EXPECT_EQ(reset.m_progress->GetPos(), 100);
    EXPECT_TRUE(!Main().m_bBusy && Main().IsPollTimerActive() && !reset.IsRecoveryRunning());
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

// A file the unit does not take goes out whole all the same; only the unit's restart (or
// the firmware it reports after it) tells.
TEST_F(RecoveryPage, FileTheUnitDoesNotTakeIsNotCalledComplete) {
  const QString notTaken = ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN);
  const QByteArray text = QByteArray("Release notes of the firmware, not a package.\n").repeated(100);
  const struct {
    const char* name;
    QByteArray file;
    bool automatic;
    QString message;
  } cases[] = {
      {"db.hdr", UpdateTestSupport::Database(30000), false, notTaken.arg("db.hdr").arg(30)},
      {"notes.hdr", text, false, notTaken.arg("notes.hdr").arg(30)},
      // The server's file is a firmware, but not the 1.8 the version file promised.
      {"V770_FW_v0108", Firmware(7, 30000), true,
       ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN).arg("V770_FW_v0108.hdr", "1.7")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset().SetRestartWaitMs(kShortRestartWaitMs);
    c.automatic ? Serve(c.file) : Choose(c.file, QString::fromLatin1(c.name));
    ASSERT_TRUE(PlugAndWaitForUpdate());
    Reset().m_buttonUpdate->click();
    ASSERT_TRUE(WaitUntil([&] { return Reset().m_staticStatus->text() == ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT); },
                          kRecoveryTimeoutMs));
    ASSERT_TRUE(Saw(c.message)) << s->MessageTexts().join('|').toStdString();
    EXPECT_EQ(s->Messages().size(), 1);
    EXPECT_EQ(s->Messages().first().icon, UiSeams::MessageIcon::Warning);
    EXPECT_FALSE(Reset().IsRecoveryRunning());
    EXPECT_EQ(s->sheet->m_unitJobs.Holder(), UnitJob::None);
    TearDown();
    SetUp();
  }
}

// After a transfer cut short or a server that could not be reached, the unit plugged back
// in brings Update back, and the same file goes out whole on a page wiped clean.
TEST_F(RecoveryPage, FailedRecoveryCanBeRetriedWithTheSameFile) {
  for (const bool unplugged : {true, false}) {
    SCOPED_TRACE(unplugged ? "unplugged mid-way" : "server unreachable");
    const QByteArray firmware = Firmware(7, unplugged ? 400000 : 30000);
    if (unplugged) {
      Choose(firmware);
      ASSERT_TRUE(unit->Client().Rate(40000));  // about ten seconds for the whole payload
    } else {
      Serve(firmware, QStringLiteral("V770_FW_v0108"));
      s->sheet->m_strFWVersion = QStringLiteral("1.7");
      server.Stop();
    }
    ASSERT_TRUE(PlugAndWaitForUpdate());
    Reset().m_buttonUpdate->click();
    if (unplugged) {
      ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() >= 5; }, kRecoveryTimeoutMs));
      ASSERT_TRUE(unit->Client().Unplug());
      const QString errorLine = Text(UiIndex(DBFW_TAB_001, 6));
      ASSERT_TRUE(WaitUntil([&] { return Reset().m_staticStatus->text() == errorLine; }, kRecoveryTimeoutMs));
      Settle(500);
      EXPECT_TRUE(s->Messages().isEmpty());  // no completion
      EXPECT_TRUE(UnitReaches(u"1.5"_qs) && QFile::exists(chosenFile));  // nothing half installed, the file kept
      ASSERT_TRUE(unit->Client().Rate(0));
      ASSERT_TRUE(PlugAndWaitForUpdate());
    } else {
      ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[1]));
      ASSERT_TRUE(UpdateComesBack());
      ASSERT_TRUE(server.Start(files->filePath(QStringLiteral("ftp"))));
      qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
    }
    EXPECT_TRUE(!Reset().IsRecoveryRunning() && Main().m_bBusy) << "the page waits for the unit, not the main page";
    Reset().m_buttonUpdate->click();
    EXPECT_EQ(Reset().m_progress->GetPos(), 0);
    EXPECT_NE(Reset().m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 6)));
    ASSERT_TRUE(Saw(Taken("1.7")));
    EXPECT_TRUE(UnitReaches(u"1.7"_qs));
    TearDown();
    SetUp();
  }
}

// A server that takes the connection and never says a word: the download ends, and the user
// hears of it, well within the watchdog's 20 s.
TEST_F(RecoveryPage, SilentServerEndsTheDownloadWithinTwentySeconds) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  qputenv(UpdateServer::kOverrideVariable, QStringLiteral("ftp://127.0.0.1:%1/down/FW/V770").arg(silent.serverPort()).toUtf8());
  Reset().m_radioAuto->click();
  ASSERT_TRUE(PlugAndWaitForUpdate());
  TestSupport::Clock clock;
  Reset().m_buttonUpdate->click();
  EXPECT_EQ(Reset().m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 14)));
  ASSERT_TRUE(WaitUntil([&] { return !s->Messages().isEmpty(); }, 25000));
  EXPECT_LT(clock.elapsed(), UpdateRun::kWatchdogTickLimit * UpdateRun::kWatchdogPeriodMs);
  EXPECT_EQ(s->Messages().first().text, s->sheet->m_strErrorMsg[1]);
  EXPECT_TRUE(ReceivedOn(*unit, u"PIPE00RESET"_qs).isEmpty());
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
  ASSERT_TRUE(Saw(Taken("1.7")));
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
  EXPECT_TRUE(Reset().m_buttonUpdate->isEnabled()) << "nothing started";
  Choose(Firmware(7, 0).left(1000));  // shorter than the payload offset
  ASSERT_TRUE(UpdateComesBack());
  Reset().m_buttonUpdate->click();
  ASSERT_EQ(s->Messages().size(), 3);
  EXPECT_EQ(s->Messages()[1].text, ExtraText(ExtraTextId::RESET_NO_FILE_CHOSEN));
  for (const QString& start : {u"Aucun fichier de micrologiciel"_qs, u"Le fichier de micrologiciel"_qs})
    EXPECT_TRUE(s->MessageTexts().join('|').contains(start)) << start.toStdString();
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

// The unit takes one job at a time: while a recovery runs, the other pages' unit actions
// wait, and the update page's run keeps the recovery off the unit in turn.
TEST_F(RecoveryPage, OtherPagesKeepOffTheUnitWhileARecoveryRunsAndBack) {
  CV700UpdaterDlg& sheet = *s->sheet;
  InternetState::SetForTesting(true);  // the update page in its automatic mode
  sheet.m_bInternetConnected = true;
  ASSERT_TRUE(unit->Client().Plug());
  // The device pages, shown as the user opens them.
  const auto devicePagesOpen = [&] {
    if (!s->DevicePagesShown()) return false;
    for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{&sheet.m_pageUpdate, &sheet.m_pagePOI, &sheet.m_pageOption})
      page->CreatePageWindow();
    return true;
  };
  ASSERT_TRUE(WaitUntil(devicePagesOpen, kIdentifyTimeoutMs));
  const auto unitActions = [&] {
    return QList<bool>{sheet.m_pageUpdate.m_buttonUpdate->isEnabled(), sheet.m_pagePOI.m_btnRead->isEnabled(),
                       sheet.m_pagePOI.m_btnSave->isEnabled(), sheet.m_pageOption.m_buttonApply->isEnabled()};
  };
  const QList<bool> free{true, true, true, true};  // the demo unit's database and firmware are due
  ASSERT_EQ(unitActions(), free);

  Choose(Firmware(8, 300000));
  ASSERT_TRUE(UpdateComesBack());
  ASSERT_TRUE(unit->Client().Rate(30000));
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() >= 2; }, kRecoveryTimeoutMs));
  EXPECT_EQ(unitActions(), (QList<bool>{false, false, false, false}));
  // Asked all the same, the pages start nothing.
  sheet.m_pageUpdate.OnUpdateClicked();
  sheet.m_pageOption.OnApply();
  sheet.m_pagePOI.OnRead();
  sheet.m_pagePOI.OnSave();
  EXPECT_FALSE(sheet.m_pageUpdate.m_run.IsRunning() || sheet.m_pagePOI.IsTaskRunning());
  ASSERT_TRUE(unit->Client().Rate(0));
  ASSERT_TRUE(Saw(Taken("1.8")));
  const QJsonObject status = unit->Status();
  for (const char* channel : {"PIPE00DB", "PIPE00UNIT", "PIPE00POI"})
    EXPECT_EQ(UpdateTestSupport::LogCount(status, channel, "received"), 0) << channel;
  // Back from its restart, the unit is free for the other pages again.
  ASSERT_TRUE(WaitUntil([&] { return devicePagesOpen() && unitActions() == free; }, kIdentifyTimeoutMs));

  // The update page's database goes out slowly: the recovery page finds the unit but keeps
  // off its channel until the run has ended.
  ASSERT_TRUE(UpdateTestSupport::PutOnServer(files->filePath("ftp"), "DB", "100412_France", UpdateTestSupport::Database(200000, 3)));
  ASSERT_TRUE(server.Start(files->filePath(QStringLiteral("ftp"))));
  qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
  ASSERT_TRUE(unit->Client().Rate(40000));
  sheet.m_pageUpdate.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return sheet.m_pageUpdate.m_run.IsSending(); }, kRecoveryTimeoutMs));
  Reset().m_buttonBrowse->click();
  Settle(2 * CReset::kProbePeriodMs);
  EXPECT_FALSE(Reset().m_buttonUpdate->isEnabled());
  Reset().OnUpdate();
  EXPECT_FALSE(unit->Status()["openChannels"].toArray().contains(u"PIPE00RESET"_qs));
  ASSERT_TRUE(unit->Client().Rate(0));
  ASSERT_TRUE(WaitUntil([&] { return !sheet.m_pageUpdate.m_run.IsRunning(); }, kRecoveryTimeoutMs));
  EXPECT_EQ(UpdateTestSupport::ReceivedPackages(unit->Status()).size(), 2);  // the firmware, then the database
  EXPECT_TRUE(UpdateComesBack());
}

}  // namespace
