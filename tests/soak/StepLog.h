#pragma once

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>

// What the soak did, for the report of a violation: the seed, the last steps and the totals.
// A thread of its own reports a window thread that stopped answering or a step that never
// ends (nothing on the window thread can then), and so do a crash and Qt's warnings of a
// widget or timer used from a worker thread.
class StepLog {
 public:
  static constexpr int kKeptSteps = 20;

  StepLog(quint64 seed, int windowStallLimitMs, int stepLimitMs);
  ~StepLog();  // stops and joins its thread
  StepLog(const StepLog&) = delete;
  StepLog& operator=(const StepLog&) = delete;

  void BeginStep(const QString& what);
  // Added to the current step: what it did, a fault during it, a message the program showed.
  void Note(const QString& what);
  void Beat() { m_lastBeat = m_clock.elapsed(); }  // the window thread is alive
  void CountFault() { ++m_faults; }
  void SetRssGrowth(double mbPerThousandSteps) { m_rssGrowth = mbPerThousandSteps; }
  int Step() const { return m_step; }
  double Minutes() const { return double(m_clock.elapsed()) / 60000.0; }

  // A violation ends the soak: the report, the totals, exit status 1. Kept going (to see
  // what else a change breaks), each different violation is reported once and counted.
  void Violation(const QString& what);
  void KeepGoing() { m_keepGoing = true; }
  int Violations() const { return m_violations; }
  // The totals, one NAME VALUE line each.
  void PrintTotals();
  // Run before a violation ends the process: what the soak started must not outlive it.
  void SetCleanup(void (*cleanup)()) { m_cleanup = cleanup; }

 private:
  [[noreturn]] void End(const QString& violation);
  void Report(const QString& violation);
  void Watch();

  quint64 m_seed;
  QElapsedTimer m_clock;
  int m_windowStallLimitMs, m_stepLimitMs;
  std::mutex m_mutex;  // the last steps; the watchdog only tries it
  QStringList m_steps;
  std::atomic<int> m_step{0}, m_faults{0}, m_violations{0};
  std::atomic<qint64> m_lastBeat{0}, m_stepStart{0};
  std::atomic<bool> m_ending{false}, m_stop{false};
  double m_rssGrowth = 0;
  bool m_keepGoing = false;
  QSet<QString> m_reported;
  void (*m_cleanup)() = nullptr;
  std::thread m_watchdog;
};
