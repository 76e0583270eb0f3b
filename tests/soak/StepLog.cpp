#include "soak/StepLog.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
constexpr int kWatchPeriodMs = 500;
StepLog* g_log = nullptr;
QtMessageHandler g_qtHandler = nullptr;

void OnCrash(int signal) {
  std::signal(signal, SIG_DFL);
  if (g_log) g_log->Violation(u"the program crashed (signal %1)"_s.arg(signal));
  std::_Exit(1);
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains("propagateSizeHints"_L1)) return;  // the offscreen platform, at every window shown
  g_qtHandler(type, context, text);
  if (type != QtDebugMsg && type != QtInfoMsg && g_log && text.contains("thread"_L1) &&
      (text.contains("another"_L1) || text.contains("different"_L1)))
    g_log->Violation(u"Qt warns: "_s + text);
}
}  // namespace

StepLog::StepLog(quint64 seed, int windowStallLimitMs, int stepLimitMs)
    : m_seed(seed), m_windowStallLimitMs(windowStallLimitMs), m_stepLimitMs(stepLimitMs) {
  m_clock.start();
  g_log = this;
  for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, OnCrash);
  g_qtHandler = qInstallMessageHandler(OnQtMessage);
  m_watchdog = std::thread([this] { Watch(); });
}

StepLog::~StepLog() {
  m_stop = true;
  m_watchdog.join();
  qInstallMessageHandler(g_qtHandler);
  g_log = nullptr;
}

void StepLog::BeginStep(const QString& what) {
  std::lock_guard lock(m_mutex);
  m_stepStart = m_clock.elapsed();
  m_steps.append(u"#%1 %2s %3"_s.arg(++m_step).arg(double(m_stepStart) / 1000.0, 0, 'f', 1).arg(what));
  if (m_steps.size() > kKeptSteps) m_steps.removeFirst();
}

void StepLog::Note(const QString& what) {
  std::lock_guard lock(m_mutex);
  if (!m_steps.isEmpty()) m_steps.last() += " | "_L1 + what.left(160);
}

void StepLog::Watch() {
  while (!m_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kWatchPeriodMs));
    const qint64 now = m_clock.elapsed();
    if (now - m_lastBeat > m_windowStallLimitMs)
      End(u"the window thread has not answered for %1 s"_s.arg((now - m_lastBeat) / 1000));
    if (now - m_stepStart > m_stepLimitMs)
      End(u"the step has not ended after %1 s"_s.arg((now - m_stepStart) / 1000));
  }
}

void StepLog::Violation(const QString& what) {
  if (!m_keepGoing) End(what);
  ++m_violations;
  if (!m_reported.contains(what)) m_reported.insert(what), Report(what);
}

void StepLog::Report(const QString& violation) {
  // The report must reach its file even while the soak fills the disk (a file size limit).
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &unlimited);
  std::unique_lock lock(m_mutex, std::try_to_lock);  // the window thread may hold it, stuck
  std::fprintf(stderr,
               "\nsoak VIOLATION at step %d (seed %llu): %s\nlast steps:\n%s\nrepeat with: ./dev soak %d "
               "--seed %llu\n",
               int(m_step), static_cast<unsigned long long>(m_seed), qPrintable(violation),
               qPrintable("  "_L1 + m_steps.join("\n  "_L1)), int(Minutes()) + 1,
               static_cast<unsigned long long>(m_seed));
  std::fflush(stderr);
}

void StepLog::End(const QString& violation) {
  // One report, whoever sees the trouble first.
  if (m_ending.exchange(true))
    for (;;) pause();
  ++m_violations;
  Report(violation);
  PrintTotals();
  if (m_cleanup) m_cleanup();
  // Worker threads of the program may still run: the process ends here, not through them.
  std::_Exit(1);
}

void StepLog::PrintTotals() {
  std::printf(
      "soak_steps %d\nsoak_faults %d\nsoak_violations %d\nsoak_rss_growth_MB_per_1000_steps "
      "%.1f\nsoak_minutes %.1f\n",
      int(m_step), int(m_faults), int(m_violations), m_rssGrowth, Minutes());
  std::fflush(stdout);
}
