// The update run on its own, beside the page's, against the page fixture's server and unit.
#include "UpdatePageFixture.h"

using namespace UpdateTestSupport;
using TestSupport::WaitUntil;
using UpdateCatalogue::FormPackageLocations;

namespace {

constexpr int kFastWatchdogMs = 20;  // 21 ticks without progress: about half a second

// What a run said: its steps (not the watchdog's ticks), its progress, its other signals counted.
struct RunRecorder {
  explicit RunRecorder(UpdateRun& run) {
    const auto count = [&](auto signal, int& n) { QObject::connect(&run, signal, &context, [&n] { ++n; }); };
    count(&UpdateRun::channelNotOpen, channelNotOpen);
    count(&UpdateRun::transferGaveUp, gaveUp);
    count(&UpdateRun::watchdogExpired, watchdog);
    count(&UpdateRun::finished, finished);
    count(&UpdateRun::downloadFailed, failed);
    count(&UpdateRun::downloadStarted, downloadsStarted);
    count(&UpdateRun::downloadProgress, downloadReports);
    QObject::connect(&run, &UpdateRun::timerStep, &context, [this](int id) {
      if (id != UpdateRun::kTimerWatchdog) steps << id;
    });
    QObject::connect(&run, &UpdateRun::progressChanged, &context, [this](int value) { progress << value; });
  }
  bool Ended() const { return finished || watchdog || failed || channelNotOpen || gaveUp; }
  QObject context;
  QList<int> steps, progress;
  int failed = 0, channelNotOpen = 0, gaveUp = 0, watchdog = 0, finished = 0;
  int downloadsStarted = 0, downloadReports = 0;
};

class UpdateRunTest : public UpdatePageFixture {
 protected:
  void SetUp() override {
    UpdatePageFixture::SetUp();
    m_run.SetPauseAfterPackageMs(50);
  }
  // An automatic run of the packages named (an empty name is not marked).
  UpdateRunPlan AutoPlan(const QString& url, const QString& db, const QString& voice, const QString& fw) const {
    UpdateRunPlan plan;
    std::tie(plan.bUpdateDB, plan.bUpdateVoice, plan.bUpdateFW) = std::tuple(db != "", voice != "", fw != "");
    plan.at = FormPackageLocations(url + UpdateCatalogue::kServerPath, m_work.path(), db, voice, fw);
    plan.strFolder = m_work.path();
    return plan;
  }
  UpdateRunPlan ManualPlan(const QString& dbFile) const {
    UpdateRunPlan plan = AutoPlan("", "x", "", "");
    plan.bAuto = false;
    plan.at.strPathDB = dbFile;
    return plan;
  }
  void Run(const RunRecorder& said, const UpdateRunPlan& plan) {
    m_run.Start(plan);
    EXPECT_TRUE(m_run.IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return said.Ended() && !m_run.IsRunning(); }, kRunTimeoutMs));
  }

  QTemporaryDir m_outside;
  UpdateRun m_run;
};

// A manual run never downloads; its bar sees what it has time for, rising to 100. A name
// through a link planted in the working folder is sent, but what it reaches is never deleted.
TEST_F(UpdateRunTest, ProgressAndWhatTheUnitInstallsThroughALink) {
  ASSERT_TRUE(QFile::link(m_outside.path(), WorkFile("sub")));
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("sub/db.hdr"), Database(100000)));
  RunRecorder said(m_run);
  Run(said, ManualPlan("sub/db.hdr"));
  EXPECT_EQ(std::tuple(said.finished, said.steps, Received(m_unit)),
            std::tuple(1, QList<int>{8}, QStringList{"database 100412"}));
  // 49 chunks of 2048 bytes: reports that pile up are merged.
  EXPECT_TRUE(said.progress.size() >= 2 && said.progress.size() <= 49 + 1) << said.progress.size();
  EXPECT_TRUE(std::is_sorted(said.progress.begin(), said.progress.end()));
  EXPECT_EQ(said.progress.mid(said.progress.size() - 2), (QList<int>{100, 100}));
  m_run.DeletePackageFiles();
  EXPECT_TRUE(QFile::exists(WorkFile("sub/db.hdr")));
}

// A download that is no package ends the run by the watchdog, whatever count a run before left;
// nothing is sent, the download is taken away. (The page and command line meet the other ends.)
TEST_F(UpdateRunTest, ADownloadThatIsNoPackageEndsByTheWatchdog) {
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", "tiny", QByteArray(500, 't')));
  ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
  m_run.SetWatchdogPeriodMs(kFastWatchdogMs);
  m_run.m_nWatchdogTicks = UpdateRun::kWatchdogTickLimit + 5;  // as a stalled run leaves it
  RunRecorder said(m_run);
  const TestSupport::Clock clock;
  Run(said, AutoPlan(m_ftp.BaseUrl(), "tiny", "", ""));
  EXPECT_GE(clock.elapsed(), (UpdateRun::kWatchdogTickLimit + 1) * kFastWatchdogMs);
  EXPECT_EQ(std::tuple(said.watchdog, said.failed + said.finished, said.steps, said.progress),
            std::tuple(1, 0, QList<int>{5, 6, 8}, QList<int>{}));
  EXPECT_TRUE(WorkFiles().isEmpty() && Received(m_unit).isEmpty());
  EXPECT_EQ(LogCount(m_unit.Status(), UnitChannels::kUpdateWrite, "opened"), 0);
}

// A slow link keeps the watchdog fed between percent steps. A run started again while the
// transfer is stuck in a write opens the channel only once the cancelled transfer has ended,
// which reports nothing. A run stopped while its download's reports queue up (the window is
// busy) says nothing more, not even a size, and leaves no file.
TEST_F(UpdateRunTest, ASlowLinkARestartAndAStop) {
  // At 32 KiB/s an 8 MiB value changes every 2.5 s; this watchdog gives up after 2.1 s.
  ASSERT_TRUE(m_unit.Client().Rate(32 * 1024));
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("slow.hdr"), Database(8 * 1024 * 1024, 2, 15)));
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile("db.hdr"), Database(3000, 2, 13)));
  m_run.SetWatchdogPeriodMs(100);
  RunRecorder slow(m_run);
  m_run.Start(ManualPlan("slow.hdr"));
  WaitUntil([&] { return slow.watchdog > 0; }, 6000);
  EXPECT_EQ(slow.watchdog, 0);
  EXPECT_LE(slow.progress.value(slow.progress.size() - 1, 100), 3);

  ASSERT_TRUE(m_unit.Client().Stall(4000) && m_unit.Client().Rate(0));  // the writes now wait for room
  TestSupport::Settle(300);
  const int opened = LogCount(m_unit.Status(), UnitChannels::kUpdateWrite, "opened");
  m_run.SetWatchdogPeriodMs(UpdateRun::kWatchdogPeriodMs);
  RunRecorder again(m_run);
  m_run.Start(ManualPlan("db.hdr"));
  // The cancelled transfer, stuck in a write, is woken and joined first; then the new one
  // opens its channel at once, without waiting for the unit.
  TestSupport::Settle(600);
  EXPECT_EQ(LogCount(m_unit.Status(), UnitChannels::kUpdateWrite, "opened"), opened + 1);
  ASSERT_TRUE(WaitUntil([&] { return again.Ended(); }, kRunTimeoutMs));
  EXPECT_EQ(std::tuple(again.finished, slow.finished, slow.gaveUp), std::tuple(1, 1, 0));  // the new run's
  EXPECT_TRUE(m_unit.WaitForStatus(
      [](const QJsonObject& s) { return s["version"].toObject()["database"].toString() == "100413"; }, 10000));

  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", "100501_Europe", Database(48 << 20)));
  ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
  RunRecorder stopped(m_run);
  m_run.Start(AutoPlan(m_ftp.BaseUrl(), "100501_Europe", "", ""));
  ASSERT_TRUE(WaitUntil([&] { return stopped.downloadsStarted > 0; }, kRunTimeoutMs));
  QThread::msleep(500);
  const int shown = stopped.downloadReports;
  m_run.Stop();
  WaitUntil([&] { return WorkFiles().size() == 2; }, 5000);
  EXPECT_TRUE(stopped.downloadReports == shown && stopped.progress.isEmpty() && !stopped.Ended());
  EXPECT_EQ(WorkFiles(), (QStringList{"db.hdr", "slow.hdr"}));
}

}  // namespace

