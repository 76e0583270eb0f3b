#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Windows: ends a synchronous ReadFile or WriteFile that takes too long. The unit's handles
// are used without overlapped I/O, so a call can only be ended from another thread, with
// CancelSynchronousIo; this class owns that thread. A call runs between Begin and End on
// the thread that calls them; once its deadline passes, or Interrupt is asked, it is
// cancelled (again and again, since a cancel that comes before the call has reached the
// system finds nothing to end) until it returns.
class UnitChannelCanceller {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kCancelRepeat = std::chrono::milliseconds(1);

  UnitChannelCanceller() = default;
  ~UnitChannelCanceller();  // stops and joins the watching thread
  UnitChannelCanceller(const UnitChannelCanceller&) = delete;
  UnitChannelCanceller& operator=(const UnitChannelCanceller&) = delete;

  // A call on this thread starts and must be over by `deadline`; false (and no call may
  // start) once Interrupt was asked.
  bool Begin(Clock::time_point deadline);
  void End();
  // From any thread: the call in progress ends at once, and no later one starts.
  void Interrupt();

 private:
  void Watch();

  std::mutex m_mutex;
  // A plain condition variable and a flag of its own: the stop-token waits of this
  // compiler's library can deadlock when a stop comes while a wait ends.
  std::condition_variable m_wake;
  bool m_bStopping = false;
  void* m_thread = nullptr;  // the calling thread's handle while a call runs
  bool m_bInCall = false;
  bool m_bInterrupted = false;
  Clock::time_point m_deadline;
  std::thread m_watcher;  // started with the first call, stopped and joined by the destructor
};
