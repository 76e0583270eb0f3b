// The main, option and recovery pages against the emulated unit and a loopback FTP server.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include "../update/UpdateTestSupport.h"
#include "device/SpeedUnitCommand.h"
#include "support/DeviceSheet.h"
#include "support/FtpServer.h"
#include "text/ExtraTexts.h"
#include "update/UpdateServer.h"
#include "widgets/CWebBrowser2.h"
#include "widgets/TextProgressBar.h"

using TestSupport::Settle;
using TestSupport::WaitUntil;

namespace {

// Room for a loaded two-core machine; also the speed-unit command, its 100 ms pause and report.
constexpr int kProbeMs = 5000;
constexpr int kRecoveryTimeoutMs = 30000;
// The restart of a unit that took its firmware (2 s), the poll and the query's wait, and room.
constexpr int kShortRestartWaitMs = 8000;
// An unplugged unit is noticed at the next poll; room for a slow tick on a loaded machine.
constexpr int kUnplugNoticeCeilingMs = 1500;
constexpr const char* kUnitChannel = "PIPE00UNIT";

QByteArray Firmware(std::uint8_t minor, std::size_t size) {
  return UpdateTestSupport::BuildPackage(PackageHeader::kFirmware, 0, {1, minor, 0}, size);
}

// The recovery page open, a unit at firmware 1.5 not plugged in yet, the file dialog answering.
class DevicePage : public ::testing::Test {
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
  CMainTab& Main() { return s->sheet->m_pageMain; }
  QStringList Values() {
    QStringList values;
    for (QLabel* value : {Main().m_staticHWValue, Main().m_staticFWValue, Main().m_staticAreaValue,
                          Main().m_staticDBValue, Main().m_staticVoiceValue, Main().m_staticUSBValue})
      values << value->text();
    return values;
  }
  QString Text(int index) { return s->sheet->Text(index); }
  QString Taken(const char* firmware) {
    return Text(UiIndex(DBFW_TAB_001, 19)) + '\n' + ExtraText(ExtraTextId::RESET_UNIT_FIRMWARE).arg(firmware);
  }
  bool Saw(const QString& t) {
    return WaitUntil([&] { return s->Messages().contains(t); }, kRecoveryTimeoutMs);
  }
  bool UpdateComesBack() {
    return WaitUntil([&] { return Reset().m_buttonUpdate->isEnabled(); }, kProbeMs);
  }
  bool PlugAndWaitForUpdate() { return unit->Client().Plug() && UpdateComesBack(); }
  bool UnitReaches(const QString& firmware) {
    return WaitUntil([&] { return unit->Status()["version"].toObject()["firmware"] == firmware; }, kProbeMs);
  }

  void Choose(const QByteArray& bytes) {  // through Browse
    chosenFile = files->filePath(QStringLiteral("fw.hdr"));
    ASSERT_TRUE(TestSupport::WriteFile(chosenFile, bytes));
    Reset().m_buttonBrowse->click();
  }

  void StartServer() {  // over what PutOnServer put in files/ftp
    ASSERT_TRUE(server.Start(files->filePath(QStringLiteral("ftp"))));
    qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
  }

  // The version file's firmware `version`, under a name the server gets only percent-encoded.
  void Serve(const QByteArray& bytes, const char* version) {
    ASSERT_TRUE(UpdateTestSupport::PutOnServer(files->filePath("ftp"), "FW", "V770 FW#0108", bytes));
    StartServer();
    s->sheet->m_strFWFile = QStringLiteral("V770 FW#0108");
    s->sheet->m_strFWVersion = QString::fromLatin1(version);
    Reset().m_radioAuto->click();
  }

  std::unique_ptr<QTemporaryDir> files;
  std::unique_ptr<UnitEmulator> unit;
  TestSupport::FtpServer server;
  std::unique_ptr<DeviceSheet> s;
  QString chosenFile;
};

// Unplugged, the values and pages go at the next poll, unless another page holds the poll:
// Apply is then told the unit is gone.
TEST_F(DevicePage, UnitIsIdentifiedItsSpeedUnitSetAndItsPagesComeAndGoWithIt) {
  CMainTab& main = Main();
  CV700UpdaterDlg& sheet = *s->sheet;
  sheet.SetActivePage(&main);
  COptionTab& option = sheet.m_pageOption;
  TestSupport::Clock clock;
  ASSERT_TRUE(unit->Client().Set("voicelang", 5) && unit->Client().Plug());  // no speed unit of the page's
  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  EXPECT_TRUE(s->DevicePages() == 0);  // nothing before the unit has answered
  ASSERT_TRUE(WaitUntil([&] { return s->DevicePages() == 3; }, kIdentifyTimeoutMs));
  EXPECT_GE(clock.elapsed(), CMainTab::kVersionQueryDelayMs);
  EXPECT_EQ(Values(), (QStringList{"v 7", "v 1.5", "France", "v 100315", "v 10203", "Connected"}));

  ASSERT_TRUE(unit->Client().Unplug());
  clock.start();
  ASSERT_TRUE(WaitUntil([&] { return s->DevicePages() == 0; }, kIdentifyTimeoutMs));
  EXPECT_LT(clock.elapsed(), kUnplugNoticeCeilingMs);
  EXPECT_EQ(Values(), (QStringList{"", "", "", "", "", "Not connected"}));

  ASSERT_TRUE(unit->Client().Plug());
  ASSERT_TRUE(WaitUntil([&] { return s->DevicePages() == 3; }, kIdentifyTimeoutMs));

  // Apply without a speed unit asks for one, then sends the chosen one.
  sheet.SetActivePage(&option);
  EXPECT_EQ(option.m_comboUnit->currentIndex(), -1);
  option.m_buttonApply->click();
  Settle(500);
  EXPECT_EQ(s->Messages(), QStringList{ExtraText(ExtraTextId::SPEED_UNIT_NOT_CHOSEN)});
  EXPECT_TRUE(ReceivedOn(*unit, kUnitChannel).isEmpty());
  option.m_comboUnit->setCurrentIndex(1);
  option.m_buttonApply->click();
  ASSERT_TRUE(Saw(COptionTab::kUnitChangedMessage));
  EXPECT_EQ(s->Messages().size(), 2);
  const QList<QByteArray> sent{QByteArray("\x24\x50\x31\x3C\x01\x00", 6)};
  EXPECT_EQ(ReceivedOn(*unit, kUnitChannel), sent);
  EXPECT_TRUE(option.m_comboUnit->isEnabled() && option.m_buttonApply->isEnabled());
  // The unit never tells its speed unit: this computer remembers the one it set, by unit.
  EXPECT_EQ(RememberedSpeedUnit(7), 1);
  EXPECT_EQ(RememberedSpeedUnit(8), -1);

  // Another page holds the poll: the unit unplugged is not noticed, Apply is refused...
  main.m_bBusy = true;
  ASSERT_TRUE(unit->Client().Unplug());
  Settle(CMainTab::kPollPeriodMs * 3);
  EXPECT_TRUE(s->DevicePages() == 3 && sheet.m_bUnitConnected);
  option.m_buttonApply->click();
  ASSERT_TRUE(WaitUntil([&] { return s->Messages().size() == 3; }, kProbeMs));
  EXPECT_EQ(s->Messages().last(), sheet.m_strErrorMsg[11]);
  EXPECT_EQ(ReceivedOn(*unit, kUnitChannel), sent);
  // ...until the main page is active again; the option page's controls go with the unit.
  main.StopPollTimer();
  sheet.SetActivePage(&sheet.m_pageReset);
  sheet.SetActivePage(&main);
  EXPECT_FALSE(main.m_bBusy);
  EXPECT_EQ(main.IsPollTimerActive() ? main.PollTimerPeriod() : 0, CMainTab::kPollPeriodMs);
  EXPECT_TRUE(WaitUntil([&] { return s->DevicePages() == 0; }, kUnplugNoticeCeilingMs));
  EXPECT_FALSE(option.m_comboUnit->isEnabled() || option.m_buttonApply->isEnabled());

  // Back, and gone again during the wait before the query: not asked, no failed opening told.
  ASSERT_TRUE(unit->Client().Plug());
  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  const qsizetype queries = ReceivedOn(*unit, "PIPE00Main").size();
  ASSERT_TRUE(unit->Client().Unplug());
  Settle(CMainTab::kVersionQueryDelayMs + 1000);
  EXPECT_FALSE(main.m_bConnectionShown);
  EXPECT_EQ(ReceivedOn(*unit, "PIPE00Main").size(), queries);
  EXPECT_EQ(s->Messages().size(), 3);
}

// After a transfer cut short, a silent server (given up within the watchdog's 20 s) or a unit
// that stopped reading, the unit there again brings Update back for the same file.
TEST_F(DevicePage, RecoveryEndsWithWhatTheUnitReportsAfterItsRestartAndCanBeRetried) {
  enum Failure { None, Unplugged, SilentServer, Stalled };
  const QString notTaken = ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN);
  const struct {
    const char* promised;  // by the version file, for a download; none for a chosen file
    Failure failure;
    QByteArray file;
    QString message;
    const char* runs;  // the firmware the unit runs at the end
  } cases[] = {
      {nullptr, Unplugged, Firmware(7, 400000), Taken("1.7"), "1.7"},
      {"1.7", SilentServer, Firmware(7, 30000), Taken("1.7"), "1.7"},
      {nullptr, Stalled, Firmware(7, 400000), Taken("1.7"), "1.7"},
      // The unit does not restart, or comes back with another firmware than promised.
      {nullptr, None, UpdateTestSupport::Database(30000), notTaken.arg("fw.hdr").arg(30), "1.5"},
      {"1.8", None, Firmware(7, 30000),
       ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN).arg("V770 FW#0108.hdr", "1.7"), "1.7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    CReset& reset = Reset();
    reset.SetRestartWaitMs(kShortRestartWaitMs);
    const bool automatic = c.promised;
    automatic ? Serve(c.file, c.promised) : Choose(c.file);
    EXPECT_TRUE(Main().m_bBusy);
    QTcpServer silent;
    if (c.failure == SilentServer) {
      ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
      qputenv(UpdateServer::kOverrideVariable,
              u"ftp://127.0.0.1:%1/down/FW/V770"_qs.arg(silent.serverPort()).toUtf8());
    }
    if (c.failure == Stalled) reset.SetWatchdogPeriodMs(50);  // gives up after a second without progress
    Settle(1200);
    EXPECT_FALSE(reset.m_buttonUpdate->isEnabled());  // no unit yet
    ASSERT_TRUE(PlugAndWaitForUpdate());
    ASSERT_TRUE(unit->Client().Rate(c.failure == Unplugged ? 40000 : 0) &&
                unit->Client().Stall(c.failure == Stalled ? 120000 : 0));
    TestSupport::Clock clock;
    qsizetype earlier = 0;  // messages before the end message
    reset.m_buttonUpdate->click();
    EXPECT_FALSE(reset.m_radioManual->isEnabled());
    // The download says what it does, as the update page does.
    EXPECT_TRUE(!automatic || reset.m_staticStatus->text() == Text(UiIndex(DBFW_TAB_001, 14)));
    if (c.failure == Unplugged) {
      ASSERT_TRUE(WaitUntil([&] { return reset.m_progress->GetPos() >= 5; }, kRecoveryTimeoutMs));
      ASSERT_TRUE(unit->Client().Unplug());
      ASSERT_TRUE(WaitUntil([&] { return reset.m_staticStatus->text() == Text(UiIndex(DBFW_TAB_001, 6)); },
                            kRecoveryTimeoutMs));
      EXPECT_TRUE(s->Messages().isEmpty());    // no completion
      EXPECT_TRUE(UnitReaches(u"1.5"_qs));     // nothing half installed
      EXPECT_TRUE(QFile::exists(chosenFile));  // the file kept
      ASSERT_TRUE(unit->Client().Rate(0) && unit->Client().Plug());
    } else if (c.failure != None) {
      ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[c.failure == Stalled ? 10 : 1]));
      ASSERT_TRUE(unit->Client().Stall(0));
      earlier = s->Messages().size();
    }
    if (c.failure == SilentServer) {
      EXPECT_LT(clock.elapsed(), UpdateRun::kWatchdogTickLimit * UpdateRun::kWatchdogPeriodMs);
      EXPECT_TRUE(ReceivedOn(*unit, u"PIPE00RESET"_qs).isEmpty());
      StartServer();
    }
    if (c.failure != None) {
      ASSERT_TRUE(UpdateComesBack());
      EXPECT_TRUE(!reset.IsRecoveryRunning() && reset.m_radioAuto->isEnabled() &&
                  reset.m_buttonBrowse->isEnabled());
      EXPECT_TRUE(Main().m_bBusy) << "the page waits for the unit, not the main page";
      reset.m_buttonUpdate->click();
      EXPECT_EQ(reset.m_progress->GetPos(), 0);
      EXPECT_NE(reset.m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 6)));
    }
    ASSERT_TRUE(Saw(c.message)) << s->Messages().join('|').toStdString();
    EXPECT_EQ(s->Messages().size(), earlier + 1);
    EXPECT_EQ(reset.m_progress->GetPos(), 100);
    EXPECT_TRUE(!Main().m_bBusy && Main().IsPollTimerActive() && !reset.IsRecoveryRunning());
    EXPECT_EQ(s->sheet->m_unitJobs.Holder(), UnitJob::None);
    EXPECT_TRUE(UnitReaches(QString::fromLatin1(c.runs)));
    const auto size = quint64(automatic ? c.file.size() : 0);  // what the download showed
    EXPECT_EQ(std::pair(reset.m_nDownloadProgress, reset.m_nDownloadProgressMax), std::pair(size, size));
    TearDown();
    SetUp();
  }
}

TEST_F(DevicePage, RecoveryRefusesNoFileAShortOneOrAnEscapingNameAndKeepsOneChannel) {
  // Else the main page's poll, left running by a cancelled Browse, rebuilds this page.
  Main().StopPollTimer();
  s->sheet->SetLanguage(kLanguageFrench);
  Reset().m_buttonBrowse->click();  // cancelled: the probe still runs, and Update has no file
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  EXPECT_TRUE(Reset().m_buttonUpdate->isEnabled()) << "nothing started";
  Choose(Firmware(7, 0).left(1000));  // shorter than the payload offset
  Settle(2 * CReset::kProbePeriodMs);  // a second probe finds the unit
  Reset().m_buttonUpdate->click();
  ASSERT_EQ(s->Messages().size(), 2);
  EXPECT_EQ(s->Messages()[0], ExtraText(ExtraTextId::RESET_NO_FILE_CHOSEN));
  EXPECT_TRUE(s->Messages()[1].startsWith(u"Le fichier de micrologiciel"_qs));
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
  // A firmware name that would leave the working folder is refused before any download.
  Reset().m_radioAuto->click();
  s->sheet->m_strFWFile = QStringLiteral("../escape");
  Reset().OnUpdate();
  ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[7]));
}

// A unit that identifies itself during the restart wait brings the device pages, which take
// this page's window away; a language chosen then is the language of the end message.
TEST_F(DevicePage, TheEndMessageSpeaksTheLanguageChosenDuringTheRestartWait) {
  Reset().SetRestartWaitMs(kShortRestartWaitMs);
  Choose(Firmware(8, 40000));
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() == 100; }, kRecoveryTimeoutMs));
  s->sheet->ShowDevicePages(true);
  s->sheet->SetLanguage(kLanguageFrench);
  EXPECT_TRUE(Saw(Taken("1.8"))) << s->Messages().join('|').toStdString();
}

// While a recovery runs the other pages' unit actions wait, and the update run keeps the
// recovery off the unit in turn.
TEST_F(DevicePage, OtherPagesKeepOffTheUnitWhileARecoveryRunsAndBack) {
  CV700UpdaterDlg& sheet = *s->sheet;
  InternetState::SetForTesting(true);  // the update page in its automatic mode
  sheet.m_bInternetConnected = true;
  ASSERT_TRUE(unit->Client().Plug());
  const auto unitActions = [&] {
    if (s->DevicePages() < 3) return QList<bool>{};
    for (CPropertyPage* page :
         std::initializer_list<CPropertyPage*>{&sheet.m_pageUpdate, &sheet.m_pagePOI, &sheet.m_pageOption})
      page->CreatePageWindow();
    return QList<bool>{sheet.m_pageUpdate.m_buttonUpdate->isEnabled(), sheet.m_pagePOI.m_btnRead->isEnabled(),
                       sheet.m_pagePOI.m_btnSave->isEnabled(), sheet.m_pageOption.m_buttonApply->isEnabled()};
  };
  const QList<bool> free{true, true, true, true};  // the demo unit's database and firmware are due
  ASSERT_TRUE(WaitUntil([&] { return unitActions() == free; }, kIdentifyTimeoutMs));

  Choose(Firmware(8, 300000));
  ASSERT_TRUE(UpdateComesBack());
  ASSERT_TRUE(unit->Client().Rate(30000));
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() >= 2; }, kRecoveryTimeoutMs));
  EXPECT_EQ(unitActions(), (QList<bool>{false, false, false, false}));
  // Asked all the same, the pages start nothing: the unit hears of no other job.
  sheet.m_pageUpdate.OnUpdateClicked();
  sheet.m_pageOption.OnApply();
  sheet.m_pagePOI.OnRead();
  sheet.m_pagePOI.OnSave();
  ASSERT_TRUE(unit->Client().Rate(0) && Saw(Taken("1.8")));
  for (const char* channel : {"PIPE00DB", "PIPE00UNIT", "PIPE00POI"})
    EXPECT_EQ(UpdateTestSupport::LogCount(unit->Status(), channel, "received"), 0) << channel;
  // Back from its restart, the unit is free for the other pages again.
  ASSERT_TRUE(WaitUntil([&] { return unitActions() == free; }, kIdentifyTimeoutMs));

  // The update page's database goes out slowly: the recovery keeps off the unit meanwhile.
  ASSERT_TRUE(UpdateTestSupport::PutOnServer(files->filePath("ftp"), "DB", "100412_France",
                                             UpdateTestSupport::Database(200000, 3)));
  StartServer();
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
  // The firmware, then the database.
  EXPECT_EQ(UpdateTestSupport::ReceivedPackages(unit->Status()).size(), 2);
  EXPECT_TRUE(UpdateComesBack());
}

// A download stopped (the program closing) while its reports queue up shows none of them.
TEST_F(DevicePage, RecoveryDownloadStoppedShowsNoLaterReport) {
  Serve(Firmware(8, 48 << 20), "1.8");
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_staticStatus->text().contains('/'); }, kRecoveryTimeoutMs));
  QThread::msleep(500);
  const QString shown = Reset().m_staticStatus->text();
  Reset().StopWorkers();
  Settle(200);
  EXPECT_EQ(Reset().m_staticStatus->text(), shown);
}

}  // namespace
