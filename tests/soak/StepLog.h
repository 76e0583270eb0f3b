#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>

namespace soak {
using namespace Qt::StringLiterals;

// What the soak did, for the report of a violation: the seed, the last 20 steps, the totals. A
// thread of its own reports a window thread that stopped answering or a step that never ends,
// and so do a crash and Qt's warnings of a widget or timer used from a worker thread.
class StepLog {
 public:
  std::atomic<int> faults{0};
  double rssGrowth = 0;                      // MB per 1000 steps
  std::vector<std::string> foldersToRemove;  // when a violation ends the process at once

  StepLog(quint64 seed, int windowStallLimitMs, int stepLimitMs, bool keepGoing)
      : m_seed(seed), m_keepGoing(keepGoing) {
    m_clock.start();
    s_log = this;
    for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
      std::signal(signal, [](int signal) {
        std::signal(signal, SIG_DFL);
        if (s_log) s_log->Violation(u"the program crashed (signal %1)"_s.arg(signal));
        std::_Exit(1);
      });
    s_qtHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
          if (text.contains("propagateSizeHints"_L1)) return;  // the offscreen platform, at every window
          s_qtHandler(type, context, text);
          if (type != QtDebugMsg && type != QtInfoMsg && s_log && text.contains("thread"_L1) &&
              (text.contains("another"_L1) || text.contains("different"_L1)))
            s_log->Violation(u"Qt warns: "_s + text);
        });
    QObject::connect(&m_heartbeat, &QTimer::timeout, [this] { m_lastBeat = m_clock.elapsed(); });
    m_heartbeat.start(kHeartbeatMs);
    m_watchdog = std::thread([=, this] {
      for (qint64 now = 0; !m_stop; now = m_clock.elapsed()) {
        if (now - m_lastBeat > windowStallLimitMs)
          End(u"the window thread has not answered for %1 s"_s.arg((now - m_lastBeat) / 1000));
        if (now - m_stepStart > stepLimitMs)
          End(u"the step has not ended after %1 s"_s.arg((now - m_stepStart) / 1000));
        std::this_thread::sleep_for(std::chrono::milliseconds(kHeartbeatMs));
      }
    });
  }
  ~StepLog() {
    m_stop = true;
    m_watchdog.join();
    qInstallMessageHandler(s_qtHandler);
    s_log = nullptr;
  }

  void BeginStep(const QString& what) {
    std::lock_guard lock(m_mutex);
    m_stepStart = m_clock.elapsed();
    m_steps.append(u"#%1 %2s %3"_s.arg(++m_step).arg(double(m_stepStart) / 1000.0, 0, 'f', 1).arg(what));
    if (m_steps.size() > kKeptSteps) m_steps.removeFirst();
  }
  // Added to the current step: what it did, a fault during it, a message the program showed.
  void Note(const QString& what) {
    std::lock_guard lock(m_mutex);
    if (!m_steps.isEmpty()) m_steps.last() += " | "_L1 + what.left(160);
  }
  int Step() const { return m_step; }
  double Minutes() const { return double(m_clock.elapsed()) / 60000.0; }
  int Violations() const { return m_violations; }

  // A violation ends the soak, unless kept going (to see what else a change breaks): then each
  // different violation is reported once and counted.
  void Violation(const QString& what) {
    if (!m_keepGoing) End(what);
    ++m_violations;
    if (!m_reported.contains(what)) m_reported.insert(what), Report(what);
  }
  void PrintTotals() {
    std::printf("soak_steps %d\nsoak_faults %d\nsoak_violations %d\n", int(m_step), int(faults),
                int(m_violations));
    std::printf("soak_rss_growth_MB_per_1000_steps %.1f\nsoak_minutes %.1f\n", rssGrowth, Minutes());
    std::fflush(stdout);
  }

 private:
  static constexpr int kKeptSteps = 20;
  static constexpr int kHeartbeatMs = 200;
  static inline StepLog* s_log = nullptr;
  static inline QtMessageHandler s_qtHandler = nullptr;

  void Report(const QString& violation) {
    // The report must reach its file even while the soak fills the disk (a file size limit).
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::unique_lock lock(m_mutex, std::try_to_lock);  // the window thread may hold it, stuck
    const QString report =
        u"\nsoak VIOLATION at step %1 (seed %2): %3\nlast steps:\n  %4\nrepeat with: ./dev soak %5 "
        "--seed %2\n"_s.arg(QString::number(m_step), QString::number(m_seed), violation,
                            m_steps.join("\n  "_L1), QString::number(int(Minutes()) + 1));
    std::fputs(qPrintable(report), stderr);
    std::fflush(stderr);
  }
  [[noreturn]] void End(const QString& violation) {
    if (m_ending.exchange(true))  // one report, whoever sees the trouble first
      for (;;) pause();
    ++m_violations;
    Report(violation);
    PrintTotals();
    std::error_code ignored;
    for (const std::string& folder : foldersToRemove) std::filesystem::remove_all(folder, ignored);
    std::_Exit(1);  // worker threads of the program may still run: the process ends here
  }

  quint64 m_seed;
  bool m_keepGoing;
  QElapsedTimer m_clock;
  QTimer m_heartbeat;  // the window thread is alive
  std::mutex m_mutex;  // the last steps; the watchdog only tries it
  QStringList m_steps;
  std::atomic<int> m_step{0}, m_violations{0};
  std::atomic<qint64> m_lastBeat{0}, m_stepStart{0};
  std::atomic<bool> m_ending{false}, m_stop{false};
  QSet<QString> m_reported;
  std::thread m_watchdog;
};

}  // namespace soak
