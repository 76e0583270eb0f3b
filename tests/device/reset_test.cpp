// The recovery page end to end: its own probe, a firmware package from a chosen file or from
// the update server, the transfer to the emulated unit, and what the user sees when the
// download or the transfer goes wrong.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <vector>

#include "text/ExtraTexts.h"
#include "DeviceSheet.h"
#include "support/FtpServer.h"
#include "unitsim/PackageHeader.h"
#include "update/UpdateServer.h"
#include "widgets/TextProgressBar.h"

using TestSupport::WaitUntil;

namespace {

// Room for a loaded two-core machine.
constexpr int kProbeTimeoutMs = 5000;
constexpr int kRecoveryTimeoutMs = 30000;
constexpr const char* kResetChannel = "PIPE00RESET";

QJsonObject UnitAt15(bool plugged) {
  const QJsonObject version{{"area", 3},   {"db1", 2},     {"db2", 3},      {"db3", 15},
                            {"hwid", 7},   {"fwmajor", 1}, {"fwminor", 5},  {"voice1", 1},
                            {"voice2", 2}, {"voice3", 3},  {"voicelang", 0}};
  return QJsonObject{{"plugged", plugged}, {"version", version}};
}

QByteArray Firmware(int major, int minor, int payloadBytes) {
  std::vector<std::uint8_t> payload(static_cast<std::size_t>(payloadBytes));
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = std::uint8_t(i * 31 + 7);
  const std::vector<std::uint8_t> file = PackageHeader::BuildFile(
      PackageHeader::kFirmware, 0, {std::uint8_t(major), std::uint8_t(minor), 0}, payload, "test firmware");
  return QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
}

void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  WaitUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

// A sheet with the recovery page open, an emulated unit that is not plugged in yet, and the
// file dialog answered by the test.
class RecoveryPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(files.isValid());
    ASSERT_TRUE(unit.Start(UnitAt15(false))) << unit.DaemonLog().toStdString();
    s = std::make_unique<DeviceSheet>();
    s->sheet->SetActivePage(&Reset());
    ASSERT_TRUE(Reset().HasWindow());
    UiSeams::SetFileDialogHandler([this](const UiSeams::FileDialogRequest& request) {
      dialogFilter = request.filter;
      return chosenFile;
    });
  }

  void TearDown() override {
    UiSeams::SetFileDialogHandler({});
    // Let a worker that is still reporting find the page gone rather than half torn down.
    s.reset();
    if (serverSet) qunsetenv(UpdateServer::kOverrideVariable);
  }

  CReset& Reset() { return s->sheet->m_pageReset; }
  CMainTab& Main() { return s->Main(); }
  QString Text(int index) { return s->sheet->Text(index); }
  QString DoneText() { return Text(UiIndex(DBFW_TAB_001, 19)); }

  QString WriteFirmware(const QString& name, const QByteArray& bytes) {
    const QString path = files.filePath(name);
    EXPECT_TRUE(TestSupport::WriteFile(path, bytes));
    return path;
  }

  void ServeFirmware(const QString& name, const QByteArray& bytes) {
    ASSERT_TRUE(TestSupport::WriteFile(files.filePath(QStringLiteral("ftp/down/FW/V770/FW/") + name + ".hdr"),
                                       bytes));
    ASSERT_TRUE(server.Start(files.filePath(QStringLiteral("ftp"))));
    qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
    serverSet = true;
    s->sheet->m_strFWFile = name;
  }

  bool PlugAndWaitForUpdate() {
    return unit.Client().Plug() &&
           WaitUntil([&] { return Reset().m_buttonUpdate->isEnabled(); }, kProbeTimeoutMs);
  }

  QJsonArray Packages() { return unit.Status()[QStringLiteral("packages")].toArray(); }
  QString UnitFirmware() {
    return unit.Status()[QStringLiteral("version")].toObject()[QStringLiteral("firmware")].toString();
  }

  QTemporaryDir files;
  UnitEmulator unit;
  TestSupport::FtpServer server;
  std::unique_ptr<DeviceSheet> s;
  QString chosenFile;
  QString dialogFilter;
  bool serverSet = false;
};

TEST_F(RecoveryPage, TextsOfBothModes) {
  CReset& reset = Reset();
  EXPECT_TRUE(reset.m_radioManual->isChecked());
  EXPECT_FALSE(reset.m_radioAuto->isChecked());
  EXPECT_EQ(reset.m_groupMode->title(), Text(UiIndex(RESET_TAB_001, 2)));
  EXPECT_EQ(reset.m_groupSteps->title(), Text(RESET_TAB_001));
  EXPECT_EQ(reset.m_buttonBrowse->text(), Text(UiIndex(DBFW_TAB_001, 8)));
  EXPECT_EQ(reset.m_buttonUpdate->text(), Text(UiIndex(DBFW_TAB_001, 15)));
  EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());
  for (int i = 0; i < 7; ++i) EXPECT_EQ(reset.m_staticSteps[i]->text(), Text(UiIndex(RESET_TAB_001, 11 + i)));
  EXPECT_FALSE(reset.m_staticSteps[6]->isHidden());
  EXPECT_FALSE(reset.m_buttonBrowse->isHidden());
  EXPECT_FALSE(reset.IsProbeTimerActive());

  reset.m_radioAuto->click();
  EXPECT_TRUE(reset.m_bAutoMode);
  EXPECT_TRUE(Main().m_bBusy);
  EXPECT_TRUE(reset.IsProbeTimerActive());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(reset.m_staticSteps[i]->text(), Text(UiIndex(RESET_TAB_001, 5 + i)));
  EXPECT_TRUE(reset.m_staticSteps[6]->isHidden());
  EXPECT_TRUE(reset.m_buttonBrowse->isHidden());
  EXPECT_TRUE(reset.m_editPath->isHidden());

  // Back to manual: the probe keeps running.
  reset.m_radioManual->click();
  EXPECT_FALSE(reset.m_bAutoMode);
  EXPECT_TRUE(reset.IsProbeTimerActive());
  EXPECT_EQ(reset.m_staticSteps[6]->text(), Text(UiIndex(RESET_TAB_001, 17)));
}

TEST_F(RecoveryPage, ChosenFileInstallsTheFirmware) {
  chosenFile = WriteFirmware(QStringLiteral("fw17.hdr"), Firmware(1, 7, 40000));
  CReset& reset = Reset();
  reset.m_buttonBrowse->click();
  EXPECT_EQ(dialogFilter, CReset::kFileFilter);
  EXPECT_EQ(reset.m_editPath->text(), chosenFile);
  EXPECT_TRUE(Main().m_bBusy);
  EXPECT_TRUE(reset.IsProbeTimerActive());
  Settle(1200);
  EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());  // no unit yet

  ASSERT_TRUE(PlugAndWaitForUpdate());
  EXPECT_FALSE(reset.IsProbeTimerActive());
  reset.m_buttonUpdate->click();
  EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(DoneText()); }, kRecoveryTimeoutMs));
  EXPECT_EQ(reset.m_progress->GetPos(), 100);
  EXPECT_FALSE(Main().m_bBusy);
  EXPECT_TRUE(Main().IsPollTimerActive());
  EXPECT_EQ(Main().PollTimerPeriod(), CReset::kPollPeriodAfterRecoveryMs);

  const QJsonArray packages = Packages();
  ASSERT_FALSE(packages.isEmpty());
  const QJsonObject last = packages.last().toObject();
  EXPECT_EQ(last[QStringLiteral("channel")].toString(), kResetChannel);
  EXPECT_TRUE(last[QStringLiteral("installed")].toBool())
      << last[QStringLiteral("reason")].toString().toStdString();
  EXPECT_TRUE(unit.WaitForStatus(
      [](const QJsonObject& status) { return status["version"].toObject()["firmware"].toString() == "1.7"; },
      kProbeTimeoutMs));
}

TEST_F(RecoveryPage, FirmwareFromTheServerIsDownloadedAndInstalled) {
  const QByteArray firmware = Firmware(1, 8, 300000);
  ServeFirmware(QStringLiteral("V770_FW_v0108"), firmware);
  CReset& reset = Reset();
  reset.m_radioAuto->click();
  ASSERT_TRUE(PlugAndWaitForUpdate());
  reset.m_buttonUpdate->click();
  EXPECT_TRUE(reset.IsRecoveryRunning());
  EXPECT_FALSE(reset.m_radioManual->isEnabled());

  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(DoneText()); }, kRecoveryTimeoutMs))
      << server.Log().toStdString();
  EXPECT_EQ(reset.m_strRemoteURL, server.BaseUrl() + "/down/FW/V770/FW/V770_FW_v0108.hdr");
  EXPECT_EQ(TestSupport::ReadFile(reset.m_strLocalPath), firmware);
  EXPECT_EQ(QFileInfo(reset.m_strLocalPath).absolutePath(), QDir::current().absolutePath());
  EXPECT_EQ(reset.m_nDownloadProgressMax, quint64(firmware.size()));
  EXPECT_EQ(reset.m_nDownloadProgress, quint64(firmware.size()));
  EXPECT_EQ(s->Messages().size(), 1);
  EXPECT_TRUE(unit.WaitForStatus(
      [](const QJsonObject& status) { return status["version"].toObject()["firmware"].toString() == "1.8"; },
      kProbeTimeoutMs));
}

TEST_F(RecoveryPage, DownloadKeepsTheWindowAliveAndUpdateDisabled) {
  ServeFirmware(QStringLiteral("V770_FW_v0108"), Firmware(1, 8, 50000));
  CReset& reset = Reset();
  reset.m_radioAuto->click();
  ASSERT_TRUE(PlugAndWaitForUpdate());
  ASSERT_TRUE(server.Pause());  // the download hangs until the server thaws
  QElapsedTimer clock;
  clock.start();
  reset.m_buttonUpdate->click();
  EXPECT_LT(clock.elapsed(), 1000);  // the click returns while the download waits
  EXPECT_TRUE(reset.IsRecoveryRunning());

  // Neither the controls nor the probe bring the Update button back meanwhile.
  reset.m_buttonBrowse->click();
  reset.m_radioAuto->click();
  Settle(1500);
  EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());
  EXPECT_TRUE(reset.IsRecoveryRunning());
  EXPECT_TRUE(s->Messages().isEmpty());

  ASSERT_TRUE(server.Resume());
  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(DoneText()); }, kRecoveryTimeoutMs));
  EXPECT_FALSE(reset.IsRecoveryRunning());
}

TEST_F(RecoveryPage, FailedDownloadIsToldAndNothingIsSent) {
  ServeFirmware(QStringLiteral("V770_FW_v0108"), Firmware(1, 8, 5000));
  s->sheet->m_strFWFile = QStringLiteral("V770_FW_v0199");  // not on the server
  CReset& reset = Reset();
  reset.m_radioAuto->click();
  ASSERT_TRUE(PlugAndWaitForUpdate());
  reset.m_buttonUpdate->click();
  const QString unreachable = s->sheet->m_strErrorMsg[1];
  ASSERT_FALSE(unreachable.isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(unreachable); }, kRecoveryTimeoutMs));
  Settle(500);
  EXPECT_EQ(s->Messages().size(), 1);
  EXPECT_FALSE(QFile::exists(reset.m_strLocalPath));
  EXPECT_TRUE(Packages().isEmpty());
  EXPECT_EQ(UnitFirmware(), "1.5");
  EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());
  EXPECT_FALSE(reset.IsRecoveryRunning());
  EXPECT_FALSE(Main().m_bBusy);
}

TEST_F(RecoveryPage, UnpluggedMidTransferShowsTheErrorLineAndNoCompletion) {
  chosenFile = WriteFirmware(QStringLiteral("fw17.hdr"), Firmware(1, 7, 400000));
  CReset& reset = Reset();
  reset.m_buttonBrowse->click();
  ASSERT_TRUE(unit.Client().Rate(40000));  // about ten seconds for the whole payload
  ASSERT_TRUE(PlugAndWaitForUpdate());
  reset.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return reset.m_progress->GetPos() >= 5; }, kRecoveryTimeoutMs));
  ASSERT_TRUE(unit.Client().Unplug());

  const QString errorLine = Text(UiIndex(DBFW_TAB_001, 6));
  ASSERT_FALSE(errorLine.isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return reset.m_staticStatus->text() == errorLine; }, kRecoveryTimeoutMs));
  Settle(500);
  EXPECT_FALSE(s->SawMessage(DoneText()));
  EXPECT_LT(reset.m_progress->GetPos(), 100);
  EXPECT_FALSE(reset.IsRecoveryRunning());
  EXPECT_FALSE(Main().m_bBusy);  // the main page watches the unit again
  EXPECT_EQ(UnitFirmware(), "1.5");
  for (const QJsonValue& package : Packages()) EXPECT_FALSE(package.toObject()["installed"].toBool());
}

TEST_F(RecoveryPage, FileTooShortOrNoneIsRefusedBeforeAnythingIsSent) {
  // A cancelled Browse leaves the main page unpaused: its poll would identify the plugged
  // unit and the sheet would rebuild this page, stopping the probe. Keep it out of the way.
  Main().StopPollTimer();
  // Cancelled: the probe still runs, and Update then has no file to send.
  CReset& reset = Reset();
  reset.m_buttonBrowse->click();
  EXPECT_TRUE(reset.IsProbeTimerActive());
  ASSERT_TRUE(PlugAndWaitForUpdate());
  reset.m_buttonUpdate->click();
  EXPECT_TRUE(s->SawMessage(ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE)));

  // A file shorter than a package's payload offset is refused the same way.
  chosenFile = WriteFirmware(QStringLiteral("short.hdr"), Firmware(1, 7, 0).left(1000));
  reset.m_buttonBrowse->click();
  ASSERT_TRUE(WaitUntil([&] { return reset.m_buttonUpdate->isEnabled(); }, kProbeTimeoutMs));
  reset.m_buttonUpdate->click();
  EXPECT_EQ(s->Messages().size(), 2);
  EXPECT_EQ(s->Messages().last().text, ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE));
  Settle(300);
  EXPECT_TRUE(ReceivedOn(unit, kResetChannel).isEmpty());
  EXPECT_TRUE(Packages().isEmpty());
  EXPECT_FALSE(Main().m_bBusy);
}

TEST_F(RecoveryPage, EachProbeKeepsOnlyOneRecoveryChannelOpen) {
  CReset& reset = Reset();
  ASSERT_TRUE(unit.Client().Plug());
  const auto openResetChannels = [&](const QJsonObject& status) {
    int count = 0;
    for (const QJsonValue& name : status["openChannels"].toArray()) count += name.toString() == kResetChannel;
    return count;
  };
  for (int round = 0; round < 3; ++round) {
    reset.m_radioAuto->click();
    ASSERT_TRUE(WaitUntil([&] { return !reset.IsProbeTimerActive(); }, kProbeTimeoutMs));
    EXPECT_TRUE(reset.m_buttonUpdate->isEnabled());
  }
  EXPECT_TRUE(unit.WaitForStatus([&](const QJsonObject& status) { return openResetChannels(status) == 1; },
                                 kProbeTimeoutMs))
      << QJsonDocument(unit.Status()).toJson().toStdString();
}

TEST_F(RecoveryPage, NoOpenChannelIsToldWithAnInformationBox) {
  chosenFile = WriteFirmware(QStringLiteral("fw17.hdr"), Firmware(1, 7, 3000));
  CReset& reset = Reset();
  // No probe has found the unit: the page holds no channel.
  EXPECT_TRUE(reset.StartRecoveryTransfer(chosenFile));
  const QString channelError = s->sheet->m_strErrorMsg[11];
  ASSERT_TRUE(WaitUntil([&] { return s->SawMessage(channelError); }, kRecoveryTimeoutMs));
  EXPECT_EQ(s->Messages().last().icon, UiSeams::MessageIcon::Information);
  EXPECT_FALSE(reset.IsRecoveryRunning());
}

}  // namespace
