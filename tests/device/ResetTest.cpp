// The recovery page end to end: its own probe, a firmware package from a chosen file or from
// the update server, the transfer to the emulated unit, the unit's restart that proves it
// took the firmware, what the user sees when something goes wrong, and the other pages
// keeping off the unit meanwhile.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QThread>
#include <QTemporaryDir>

#include "../update/UpdateTestSupport.h"
#include "support/DeviceSheet.h"
#include "support/FtpServer.h"
#include "text/ExtraTexts.h"
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

  // The loopback update server of the files in files/ftp, where the program looks.
  void StartServer() {
    ASSERT_TRUE(QDir().mkpath(files->filePath("ftp/down/FW/V770/FW")) && server.Start(files->filePath(QStringLiteral("ftp"))));
    qputenv(UpdateServer::kOverrideVariable, (server.BaseUrl() + QStringLiteral("/down/FW/V770")).toUtf8());
  }

  // Puts the package on a loopback update server as the version file's firmware 1.8.
  void Serve(const QByteArray& bytes) {
    ASSERT_TRUE(TestSupport::WriteFile(files->filePath("ftp/down/FW/V770/FW/V770_FW_v0108.hdr"), bytes));
    StartServer();
    s->sheet->m_strFWFile = QStringLiteral("V770_FW_v0108");
    s->sheet->m_strFWVersion = QStringLiteral("1.8");
    Reset().m_radioAuto->click();
  }

  std::unique_ptr<QTemporaryDir> files;
  std::unique_ptr<UnitEmulator> unit;
  TestSupport::FtpServer server;
  std::unique_ptr<DeviceSheet> s;
  QString chosenFile;
};

// Complete only once the unit is back from its restart, with the firmware it now runs; a
// file it does not take goes out whole all the same, and only the restart (or the firmware
// reported after it) tells.
TEST_F(RecoveryPage, RecoveryEndsWithWhatTheUnitReportsAfterItsRestart) {
  const QString notTaken = ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN);
  const struct {
    bool automatic;
    const char* name;
    QByteArray file;
    QString message;
  } cases[] = {
      {false, "fw.hdr", Firmware(8, 40000), Taken("1.8")},
      {true, "V770_FW_v0108", Firmware(8, 300000), Taken("1.8")},
      {false, "db.hdr", UpdateTestSupport::Database(30000), notTaken.arg("db.hdr").arg(30)},
      {false, "notes.hdr", QByteArray("Release notes, not a package.\n").repeated(400), notTaken.arg("notes.hdr").arg(30)},
      // The server's file is a firmware, but not the 1.8 the version file promised.
      {true, "V770_FW_v0108", Firmware(7, 30000), ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN).arg("V770_FW_v0108.hdr", "1.7")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CReset& reset = Reset();
    reset.SetRestartWaitMs(kShortRestartWaitMs);
    EXPECT_TRUE(reset.m_radioManual->isChecked() && !reset.m_buttonUpdate->isEnabled() && !reset.IsProbeTimerActive());
    c.automatic ? Serve(c.file) : Choose(c.file, QString::fromLatin1(c.name));
    // Manual: seven steps from RESET_TAB_011 and the path; automatic: six from RESET_TAB_005.
    for (int i = 0; i < (c.automatic ? 6 : 7); ++i)
      EXPECT_EQ(reset.m_staticSteps[i]->text(), Text(UiIndex(RESET_TAB_001, (c.automatic ? 5 : 11) + i)));
    EXPECT_EQ(reset.m_staticSteps[6]->isHidden(), c.automatic);
    EXPECT_EQ(reset.m_buttonBrowse->isHidden(), c.automatic);
    EXPECT_TRUE(Main().m_bBusy);
    if (c.automatic) {
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
    if (c.automatic) { EXPECT_EQ(reset.m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 14))); }
    ASSERT_TRUE(Saw(c.message)) << s->MessageTexts().join('|').toStdString();
    const bool taken = c.message.startsWith(Text(UiIndex(DBFW_TAB_001, 19)));
    EXPECT_EQ(s->Messages().size(), 1);
    EXPECT_EQ(s->Messages().first().icon, taken ? UiSeams::MessageIcon::None : UiSeams::MessageIcon::Warning);
    EXPECT_EQ(reset.m_progress->GetPos(), 100);
    EXPECT_TRUE(!Main().m_bBusy && Main().IsPollTimerActive() && !reset.IsRecoveryRunning());
    EXPECT_EQ(s->sheet->m_unitJobs.Holder(), UnitJob::None);
    if (c.automatic && taken) {
      EXPECT_EQ(reset.m_strRemoteURL, server.BaseUrl() + "/down/FW/V770/FW/V770_FW_v0108.hdr");
      EXPECT_EQ(TestSupport::ReadFile(reset.m_strLocalPath), c.file);
      EXPECT_EQ(QFileInfo(reset.m_strLocalPath).absolutePath(), QDir::current().absolutePath());
      EXPECT_EQ(std::pair(reset.m_nDownloadProgress, reset.m_nDownloadProgressMax),
                std::pair(quint64(c.file.size()), quint64(c.file.size())));
    }
    TearDown();
    SetUp();
  }
}

// After a transfer cut short, a server that takes the connection and never says a word (the
// download ends, and the user hears of it, well within the watchdog's 20 s) or a unit that
// stopped reading, the unit there again brings Update back, and the same file goes out whole
// on a page wiped clean.
TEST_F(RecoveryPage, FailedRecoveryCanBeRetriedWithTheSameFile) {
  enum Failure { Unplugged, SilentServer, Stalled };
  for (const Failure failure : {Unplugged, SilentServer, Stalled}) {
    SCOPED_TRACE(failure);
    const QByteArray firmware = Firmware(7, failure == SilentServer ? 30000 : 400000);
    QTcpServer silent;
    if (failure == SilentServer) {
      Serve(firmware);
      s->sheet->m_strFWVersion = QStringLiteral("1.7");
      ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
      const QString address = u"ftp://127.0.0.1:%1/down/FW/V770"_qs.arg(silent.serverPort());
      qputenv(UpdateServer::kOverrideVariable, address.toUtf8());
    } else {
      Choose(firmware);
    }
    if (failure == Stalled) Reset().SetWatchdogPeriodMs(50);  // gives up after a second without progress
    ASSERT_TRUE(PlugAndWaitForUpdate());
    ASSERT_TRUE(unit->Client().Rate(failure == Unplugged ? 40000 : 0) && unit->Client().Stall(failure == Stalled ? 120000 : 0));
    TestSupport::Clock clock;
    Reset().m_buttonUpdate->click();
    if (failure == Unplugged) {
      ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() >= 5; }, kRecoveryTimeoutMs));
      ASSERT_TRUE(unit->Client().Unplug());
      ASSERT_TRUE(WaitUntil([&] { return Reset().m_staticStatus->text() == Text(UiIndex(DBFW_TAB_001, 6)); },
                            kRecoveryTimeoutMs));
      EXPECT_TRUE(s->Messages().isEmpty());  // no completion
      EXPECT_TRUE(UnitReaches(u"1.5"_qs) && QFile::exists(chosenFile));  // nothing half installed, the file kept
      ASSERT_TRUE(unit->Client().Rate(0) && unit->Client().Plug());
    } else {
      ASSERT_TRUE(Saw(s->sheet->m_strErrorMsg[failure == Stalled ? 10 : 1]));
      ASSERT_TRUE(unit->Client().Stall(0));
    }
    if (failure == SilentServer) {
      EXPECT_LT(clock.elapsed(), UpdateRun::kWatchdogTickLimit * UpdateRun::kWatchdogPeriodMs);
      EXPECT_TRUE(ReceivedOn(*unit, u"PIPE00RESET"_qs).isEmpty());
      StartServer();
    }
    ASSERT_TRUE(UpdateComesBack());
    EXPECT_TRUE(!Reset().IsRecoveryRunning() && Reset().m_radioAuto->isEnabled() && Reset().m_buttonBrowse->isEnabled());
    EXPECT_TRUE(Main().m_bBusy) << "the page waits for the unit, not the main page";
    Reset().m_buttonUpdate->click();
    EXPECT_EQ(Reset().m_progress->GetPos(), 0);
    EXPECT_NE(Reset().m_staticStatus->text(), Text(UiIndex(DBFW_TAB_001, 6)));
    ASSERT_TRUE(Saw(Taken("1.7")));
    EXPECT_TRUE(UnitReaches(u"1.7"_qs));
    TearDown();
    SetUp();
  }
}

// The version file's name travels percent-encoded and lands in the working folder as a plain
// file: never through a separator, nor through a link planted there.
TEST_F(RecoveryPage, FirmwareNameIsEncodedAndTheDownloadStaysInTheFolder) {
  StartServer();
  Reset().m_radioAuto->click();
  ASSERT_TRUE(PlugAndWaitForUpdate());
  const QString outside = files->filePath(QStringLiteral("outside.hdr"));
  ASSERT_TRUE(TestSupport::WriteFile(outside, "mine") && QFile::link(outside, QStringLiteral("linked.hdr")));
  const struct { const char* name; QString message; const char* address; } cases[] = {
      {"V770 FW#1", ExtraText(ExtraTextId::UPDATE_PACKAGE_NOT_ON_SERVER).arg("V770 FW#1"), "/FW/V770%20FW%231.hdr"},
      {"linked", ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(QDir::current().filePath("linked.hdr"), ExtraText(ExtraTextId::PATH_IS_LINK)), "/FW/linked.hdr"},
      {"../escape", s->sheet->m_strErrorMsg[7], "/FW/linked.hdr"}};  // last: the main page has the unit again
  for (const auto& c : cases) {
    s->sheet->m_strFWFile = QString::fromLatin1(c.name);
    Reset().OnUpdate();
    ASSERT_TRUE(Saw(c.message)) << s->MessageTexts().join('|').toStdString();
    EXPECT_TRUE(Reset().m_strRemoteURL.endsWith(QLatin1String(c.address))) << Reset().m_strRemoteURL.toStdString();
  }
  EXPECT_EQ(TestSupport::ReadFile(outside), "mine");
  EXPECT_FALSE(QFile::exists(files->filePath(QStringLiteral("escape.hdr"))));
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

// A unit that identifies itself during the restart wait brings the device pages, which take
// this page's window away; a language chosen then is the language of the end message.
TEST_F(RecoveryPage, TheEndMessageSpeaksTheLanguageChosenDuringTheRestartWait) {
  Reset().SetRestartWaitMs(kShortRestartWaitMs);
  Choose(Firmware(8, 40000));
  ASSERT_TRUE(PlugAndWaitForUpdate());
  Reset().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return Reset().m_progress->GetPos() == 100; }, kRecoveryTimeoutMs));
  s->sheet->ShowDevicePages(true);
  s->sheet->SetLanguage(kLanguageFrench);
  EXPECT_TRUE(Saw(Taken("1.8"))) << s->MessageTexts().join('|').toStdString();
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
  // Asked all the same, the pages start nothing: the unit hears of no other job.
  sheet.m_pageUpdate.OnUpdateClicked();
  sheet.m_pageOption.OnApply();
  sheet.m_pagePOI.OnRead();
  sheet.m_pagePOI.OnSave();
  ASSERT_TRUE(unit->Client().Rate(0) && Saw(Taken("1.8")));
  for (const char* channel : {"PIPE00DB", "PIPE00UNIT", "PIPE00POI"})
    EXPECT_EQ(UpdateTestSupport::LogCount(unit->Status(), channel, "received"), 0) << channel;
  // Back from its restart, the unit is free for the other pages again.
  ASSERT_TRUE(WaitUntil([&] { return devicePagesOpen() && unitActions() == free; }, kIdentifyTimeoutMs));

  // The update page's database goes out slowly: the recovery page finds the unit but keeps
  // off its channel until the run has ended.
  ASSERT_TRUE(UpdateTestSupport::PutOnServer(files->filePath("ftp"), "DB", "100412_France", UpdateTestSupport::Database(200000, 3)));
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
  EXPECT_EQ(UpdateTestSupport::ReceivedPackages(unit->Status()).size(), 2);  // the firmware, then the database
  EXPECT_TRUE(UpdateComesBack());
}

// A download stopped (the program closing) while its reports queue up, the window being busy,
// shows none of them afterwards.
TEST_F(RecoveryPage, AStoppedDownloadShowsNoLaterReport) {
  Serve(Firmware(8, 48 << 20));
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
