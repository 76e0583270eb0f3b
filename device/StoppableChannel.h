#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "device/UnitChannel.h"

// A unit channel that its worker can stop: calls pass through until a stop is asked, then
// every call fails at once, so the exchange's own failure count ends it without waiting for
// the unit. Closing always reaches the channel.
class StoppableChannel : public IUnitChannel {
 public:
  StoppableChannel(IUnitChannel& inner, std::stop_token stop) : m_inner(inner), m_stop(std::move(stop)) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    return !m_stop.stop_requested() && m_inner.Write(data, size);
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    return !m_stop.stop_requested() && m_inner.Read(buffer, size, bytesRead);
  }
  void Close() override { m_inner.Close(); }
  bool IsOpen() const override { return m_inner.IsOpen(); }

 private:
  IUnitChannel& m_inner;
  std::stop_token m_stop;
};

// A pause of a stoppable exchange: it ends at once when the stop is asked, so the pauses
// between retries do not hold a stopping worker up.
inline void StoppableSleep(const std::stop_token& stop, int ms) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
}
