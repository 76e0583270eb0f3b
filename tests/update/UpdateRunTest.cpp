// The run of the update page without its window: the timer chain, the downloads from a real
// FTP server on loopback, the transfers to an emulated unit, the watchdog.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include "UpdateTestSupport.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "update/UpdateRun.h"

using namespace UpdateTestSupport;
using TestSupport::WaitUntil;

namespace {

constexpr int kRunTimeoutMs = 60000;
// The tests let the watchdog tick fast: 21 ticks of 20 ms.
constexpr int kFastWatchdogMs = 20;
constexpr int kShortPauseMs = 50;

// Everything a run said, in order.
struct RunRecorder {
  explicit RunRecorder(UpdateRun& run) {
    QObject::connect(&run, &UpdateRun::timerStep, [this](int id) {
      if (id != UpdateRun::kTimerWatchdog) steps.append(id);
    });
    QObject::connect(&run, &UpdateRun::downloadFinished,
                     [this](int state, DownloadResult result) { downloads.append({state, result}); });
    QObject::connect(&run, &UpdateRun::sendStarted, [this](int kind) { sends.append(kind); });
    QObject::connect(&run, &UpdateRun::progressChanged, [this](int value) { progress.append(value); });
    QObject::connect(&run, &UpdateRun::transferGaveUp, [this] { ++gaveUp; });
    QObject::connect(&run, &UpdateRun::channelNotOpen, [this] { ++channelNotOpen; });
    QObject::connect(&run, &UpdateRun::watchdogExpired, [this] { ++watchdog; });
    QObject::connect(&run, &UpdateRun::finished, [this] { ++finished; });
  }
  QList<int> steps;
  QList<std::pair<int, DownloadResult>> downloads;
  QList<int> sends;
  QList<int> progress;
  int gaveUp = 0, channelNotOpen = 0, watchdog = 0, finished = 0;
};

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_work.isValid());
    ASSERT_TRUE(m_ftpRoot.isValid());
    QJsonObject version{{"area", 2}, {"db1", 2}, {"db2", 4}, {"db3", 11}, {"fwmajor", 1},
                        {"fwminor", 5},  {"voice1", 1}, {"voice2", 2}, {"voice3", 3}};
    ASSERT_TRUE(m_unit.Start(QJsonObject{{"version", version}})) << m_unit.DaemonLog().constData();
    m_run.SetPauseAfterPackageMs(kShortPauseMs);
  }

  QString WorkFile(const QString& name) const { return m_work.filePath(name); }

  UpdateRunPlan AutoPlan(bool db, bool voice, bool fw, const QString& baseUrl) const {
    UpdateRunPlan plan;
    plan.bAuto = true;
    plan.bUpdateDB = db;
    plan.bUpdateVoice = voice;
    plan.bUpdateFW = fw;
    plan.at = UpdateCatalogue::FormPackageLocations(
        baseUrl + QString::fromLatin1(UpdateCatalogue::kServerPath), m_work.path(),
        QStringLiteral("100501_Europe"), QStringLiteral("10204_English"),
        QStringLiteral("V770_FW_v0110"));
    return plan;
  }

  UpdateRunPlan ManualPlan(const QString& dbFile) const {
    UpdateRunPlan plan;
    plan.bAuto = false;
    plan.bUpdateDB = true;
    plan.at.strPathDB = dbFile;
    return plan;
  }

  QJsonArray Received() { return ReceivedPackages(m_unit.Status()); }

  QTemporaryDir m_work;
  QTemporaryDir m_ftpRoot;
  UnitEmulator m_unit;
  UpdateRun m_run;
};

}  // namespace

TEST_F(UpdateRunTest, DatabaseAndFirmwareGoThroughTimersFiveToEightThenInThatOrder) {
  TestSupport::FtpServer ftp;
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100501_Europe"),
                          BuildPackage(PackageHeader::kDatabase, 2, {2, 5, 1}, 30000)));
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", QStringLiteral("V770_FW_v0110"),
                          BuildPackage(PackageHeader::kFirmware, 0, {1, 10, 0}, 20000)));
  ASSERT_TRUE(ftp.Start(m_ftpRoot.path()));

  RunRecorder said(m_run);
  const UpdateRunPlan plan = AutoPlan(true, false, true, ftp.BaseUrl());
  m_run.Start(plan);
  ASSERT_TRUE(WaitUntil([&] { return said.finished > 0; }, kRunTimeoutMs));

  EXPECT_EQ(said.steps, (QList<int>{5, 6, 7, 8}));  // the voice step runs and hands on
  ASSERT_EQ(said.downloads.size(), 2);
  EXPECT_EQ(said.downloads[0].first, UpdateRun::kDownloadDB);
  EXPECT_EQ(said.downloads[1].first, UpdateRun::kDownloadFW);
  EXPECT_EQ(said.sends, (QList<int>{UpdateRun::kTransferDB, UpdateRun::kTransferFW}));
  // Each package ends at 100; after the database the bar goes back to 0 for the firmware.
  ASSERT_FALSE(said.progress.isEmpty());
  EXPECT_EQ(said.progress.last(), 100);
  EXPECT_TRUE(said.progress.contains(0));
  EXPECT_EQ(said.finished, 1);
  EXPECT_EQ(said.watchdog, 0);

  const QJsonArray received = Received();
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("kind")].toString(), QStringLiteral("database"));
  EXPECT_EQ(received[1][QStringLiteral("kind")].toString(), QStringLiteral("firmware"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_TRUE(received[1][QStringLiteral("installed")].toBool());

  EXPECT_TRUE(QFile::exists(plan.at.strPathDB));
  EXPECT_FALSE(QFile::exists(plan.at.strPathVoice));  // not marked, never fetched
  m_run.DeletePackageFiles();
  EXPECT_FALSE(QFile::exists(plan.at.strPathDB));
  EXPECT_FALSE(QFile::exists(plan.at.strPathFW));
}

TEST_F(UpdateRunTest, ProgressValuesOfSmallAndLargePayloads) {
  // 250 payload bytes: step 2, one chunk, 125; then the end of the run shows 100.
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("small.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 250)));
  RunRecorder small(m_run);
  m_run.Start(ManualPlan(WorkFile("small.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return small.finished > 0; }, kRunTimeoutMs));
  EXPECT_EQ(small.steps, (QList<int>{8}));  // a manual run never downloads
  EXPECT_EQ(small.progress, (QList<int>{125, 100}));

  // A file of exactly 1024 bytes: header, one empty write, progress 0.
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("empty.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 13}, 0)));
  RunRecorder empty(m_run);
  m_run.Start(ManualPlan(WorkFile("empty.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return empty.finished > 0; }, kRunTimeoutMs));
  EXPECT_EQ(empty.progress, (QList<int>{0, 100}));

  // 100 000 payload bytes: step 1000, 49 chunks of which the bar sees as many as it has time
  // for, climbing to exactly 100 with the last chunk.
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("large.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 14}, 100000)));
  RunRecorder large(m_run);
  m_run.Start(ManualPlan(WorkFile("large.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return large.finished > 0; }, kRunTimeoutMs));
  ASSERT_GE(large.progress.size(), 2);
  EXPECT_LE(large.progress.size(), 49 + 1);
  EXPECT_GE(large.progress.first(), 2);  // at least the first chunk: 2048 / 1000
  EXPECT_TRUE(std::is_sorted(large.progress.begin(), large.progress.end()));
  EXPECT_EQ(large.progress[large.progress.size() - 2], 100);  // the last chunk's report
  EXPECT_EQ(large.progress.last(), 100);                      // the end of the run

  const QJsonArray received = Received();
  ASSERT_EQ(received.size(), 3);
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_FALSE(received[1][QStringLiteral("installed")].toBool());  // the unit wants a payload
  EXPECT_TRUE(received[2][QStringLiteral("installed")].toBool());
}

TEST_F(UpdateRunTest, ShortOrMissingFilesAreNeverSentAndTheWatchdogReports) {
  m_run.SetWatchdogPeriodMs(kFastWatchdogMs);
  // Shorter than the payload offset: no header and payload to speak of.
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("short.hdr"), QByteArray(1023, 'x')));
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("short.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return said.watchdog > 0; }, kRunTimeoutMs));
  EXPECT_EQ(said.sends, (QList<int>{UpdateRun::kTransferDB}));
  EXPECT_TRUE(said.progress.isEmpty());
  EXPECT_EQ(said.finished, 0);

  RunRecorder missing(m_run);
  m_run.Start(ManualPlan(WorkFile("nothing-here.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return missing.watchdog > 0; }, kRunTimeoutMs));
  EXPECT_EQ(missing.finished, 0);
  EXPECT_TRUE(Received().isEmpty());
}

TEST_F(UpdateRunTest, FailedDownloadsLeaveNoFileAndSendNothing) {
  m_run.SetWatchdogPeriodMs(kFastWatchdogMs);
  DownloadOptions quick;
  quick.stallPeriod = std::chrono::seconds(5);
  m_run.SetDownloadOptions(quick);

  // The database is missing on the server; a stale file of its name must not be sent.
  TestSupport::FtpServer ftp;
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "Voice", QStringLiteral("other"), QByteArray(2000, 'v')));
  ASSERT_TRUE(ftp.Start(m_ftpRoot.path()));
  UpdateRunPlan plan = AutoPlan(true, false, false, ftp.BaseUrl());
  ASSERT_TRUE(TestSupport::WriteFile(plan.at.strPathDB,
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 9, 9}, 3000)));
  RunRecorder said(m_run);
  m_run.Start(plan);
  ASSERT_TRUE(WaitUntil([&] { return said.watchdog > 0; }, kRunTimeoutMs));
  ASSERT_EQ(said.downloads.size(), 1);
  EXPECT_NE(said.downloads[0].second, DownloadResult::Done);
  EXPECT_FALSE(QFile::exists(plan.at.strPathDB));
  EXPECT_EQ(said.steps, (QList<int>{5, 6, 8}));  // nothing after the database
  EXPECT_TRUE(said.progress.isEmpty());
  EXPECT_EQ(said.finished, 0);

  // The server is down altogether.
  const QString baseUrl = ftp.BaseUrl();
  ftp.Stop();
  RunRecorder down(m_run);
  m_run.Start(AutoPlan(false, true, true, baseUrl));
  ASSERT_TRUE(WaitUntil([&] { return down.watchdog > 0; }, kRunTimeoutMs));
  ASSERT_EQ(down.downloads.size(), 2);
  EXPECT_NE(down.downloads[0].second, DownloadResult::Done);
  EXPECT_NE(down.downloads[1].second, DownloadResult::Done);
  EXPECT_EQ(down.sends, (QList<int>{UpdateRun::kTransferVoice}));
  EXPECT_TRUE(QDir(m_work.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_TRUE(Received().isEmpty());
}

TEST_F(UpdateRunTest, UnpluggedUnitChannelNotOpen) {
  m_run.SetWatchdogPeriodMs(kFastWatchdogMs);
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("db.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 5000)));
  ASSERT_TRUE(m_unit.Client().Unplug());
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return said.watchdog > 0; }, kRunTimeoutMs));
  EXPECT_EQ(said.channelNotOpen, 1);
  EXPECT_EQ(said.finished, 0);
}

TEST_F(UpdateRunTest, UnitPulledOutDuringTheTransferGivesUpAndTheWatchdogReports) {
  // Slow link: 512 KiB take several seconds, time enough to pull the unit out.
  ASSERT_TRUE(m_unit.Client().Rate(128 * 1024));
  ASSERT_TRUE(TestSupport::WriteFile(
      WorkFile("db.hdr"), BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 512 * 1024)));
  m_run.SetWatchdogPeriodMs(200);  // 21 ticks: a little over 4 s without progress
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return !said.progress.isEmpty(); }, kRunTimeoutMs));
  ASSERT_TRUE(m_unit.Client().Unplug());
  ASSERT_TRUE(WaitUntil([&] { return said.watchdog > 0; }, kRunTimeoutMs));
  EXPECT_EQ(said.finished, 0);
  EXPECT_LT(said.progress.last(), 100);

  const QJsonArray received = Received();
  ASSERT_EQ(received.size(), 1);
  EXPECT_FALSE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_LT(received[0][QStringLiteral("received")].toInteger(), 512 * 1024);
}

TEST_F(UpdateRunTest, CorruptedPackageIsSentButNotInstalled) {
  ASSERT_TRUE(TestSupport::WriteFile(
      WorkFile("db.hdr"),
      CorruptPackage(BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 20000))));
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return said.finished > 0; }, kRunTimeoutMs));
  // Nothing comes back from the unit during a transfer: the run ends as if all went well.
  const QJsonArray received = Received();
  ASSERT_EQ(received.size(), 1);
  EXPECT_FALSE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_EQ(m_unit.Status()[QStringLiteral("version")][QStringLiteral("database")].toString(),
            QStringLiteral("100411"));
}

TEST_F(UpdateRunTest, AStaleWatchdogCountDoesNotCutTheNextRunShort) {
  m_run.SetWatchdogPeriodMs(kFastWatchdogMs);
  m_run.m_nWatchdogTicks = UpdateRun::kWatchdogTickLimit + 5;  // as a stalled run leaves it
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("db.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 4000)));
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  ASSERT_TRUE(WaitUntil([&] { return said.finished > 0 || said.watchdog > 0; }, kRunTimeoutMs));
  EXPECT_EQ(said.finished, 1);
  EXPECT_EQ(said.watchdog, 0);
}

TEST_F(UpdateRunTest, StoppedRunReportsNothingMore) {
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("db.hdr"),
                                     BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 4000)));
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  m_run.Stop();
  TestSupport::WaitUntil([] { return false; }, 500);
  EXPECT_TRUE(said.steps.isEmpty());
  EXPECT_EQ(said.finished, 0);
  EXPECT_TRUE(Received().isEmpty());
}

TEST_F(UpdateRunTest, ASlowLinkKeepsTheWatchdogFedBetweenPercentSteps) {
  // 32 KiB/s and 80 KiB per percent: the value changes every 2.5 s, while the watchdog
  // here gives up after 2.1 s without a report.
  ASSERT_TRUE(m_unit.Client().Rate(32 * 1024));
  ASSERT_TRUE(TestSupport::WriteFile(
      WorkFile("db.hdr"), BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 8 * 1024 * 1024)));
  m_run.SetWatchdogPeriodMs(100);
  RunRecorder said(m_run);
  m_run.Start(ManualPlan(WorkFile("db.hdr")));
  WaitUntil([&] { return said.watchdog > 0; }, 6000);
  EXPECT_EQ(said.watchdog, 0);
  ASSERT_FALSE(said.progress.isEmpty());
  EXPECT_LE(said.progress.last(), 3);
  m_run.Stop();
}
