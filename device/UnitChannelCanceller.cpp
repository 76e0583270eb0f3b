#include "device/UnitChannelCanceller.h"

#include <windows.h>

UnitChannelCanceller::~UnitChannelCanceller() {
  {
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    m_wake.notify_all();
  }
  if (m_watcher.joinable()) m_watcher.join();
}

bool UnitChannelCanceller::Begin(Clock::time_point deadline) {
  HANDLE thread = nullptr;
  // The pseudo handle of GetCurrentThread means "whoever asks"; the watcher needs a real one.
  if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return false;
  std::lock_guard lock(m_mutex);
  if (m_bInterrupted) {
    ::CloseHandle(thread);
    return false;
  }
  if (!m_watcher.joinable()) m_watcher = std::thread([this] { Watch(); });
  m_thread = thread;
  m_deadline = deadline;
  m_bInCall = true;
  m_wake.notify_all();
  return true;
}

void UnitChannelCanceller::End() {
  std::lock_guard lock(m_mutex);
  ::CloseHandle(static_cast<HANDLE>(m_thread));
  m_thread = nullptr;
  m_bInCall = false;
  m_wake.notify_all();
}

void UnitChannelCanceller::Interrupt() {
  std::lock_guard lock(m_mutex);
  m_bInterrupted = true;
  m_wake.notify_all();
}

void UnitChannelCanceller::Watch() {
  std::unique_lock lock(m_mutex);
  // Every wait may also end early; each turn looks at the state afresh.
  while (!m_bStopping) {
    if (!m_bInCall) {
      m_wake.wait(lock);
    } else if (!m_bInterrupted && Clock::now() < m_deadline) {
      m_wake.wait_until(lock, m_deadline);
    } else {
      // Under the lock: the call cannot end and another begin meanwhile, so only this call
      // is ever cancelled.
      ::CancelSynchronousIo(static_cast<HANDLE>(m_thread));
      m_wake.wait_for(lock, kCancelRepeat);
    }
  }
}
