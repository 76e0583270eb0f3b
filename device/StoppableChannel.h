#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "device/UnitChannel.h"

// A unit channel that its worker can stop: calls pass through until a stop is asked; then a
// call waiting on the unit is woken and every call fails at once, so the exchange's own
// failure count ends it without waiting for the unit. Closing always reaches the channel.
// The inner channel is closed only through this wrapper (or after it is gone).
class StoppableChannel : public IUnitChannel {
 public:
  StoppableChannel(IUnitChannel& inner, std::stop_token stop)
      : m_inner(inner), m_stop(std::move(stop)), m_onStop(m_stop, Waker{this}) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    return !m_stop.stop_requested() && m_inner.Write(data, size);
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    return !m_stop.stop_requested() && m_inner.Read(buffer, size, bytesRead);
  }
  int DiscardPending() override { return m_inner.DiscardPending(); }
  void Close() override {
    std::lock_guard lock(m_closeMutex);
    m_bClosed = true;
    m_inner.Close();
  }
  bool IsOpen() const override { return m_inner.IsOpen(); }

 private:
  // Runs on the thread that asks the stop; the mutex keeps it off a channel being closed.
  struct Waker {
    StoppableChannel* self;
    void operator()() const noexcept {
      std::lock_guard lock(self->m_closeMutex);
      if (!self->m_bClosed) self->m_inner.Interrupt();
    }
  };

  IUnitChannel& m_inner;
  std::stop_token m_stop;
  std::mutex m_closeMutex;
  bool m_bClosed = false;
  std::stop_callback<Waker> m_onStop;  // last: registered once the rest exists
};

// A pause of a stoppable exchange: it ends at once when the stop is asked, so the pauses
// between retries do not hold a stopping worker up.
inline void StoppableSleep(const std::stop_token& stop, int ms) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
}
