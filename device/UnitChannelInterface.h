#pragma once

#include <cstddef>
#include <cstdint>

// What the unit library hands out for a channel: a descriptor (a HANDLE on Windows), or
// 0 / -1 when the channel did not open (callers treat both as "not open").
using ChannelHandle = std::intptr_t;
inline constexpr ChannelHandle kChannelNotOpen = -1;
inline bool IsChannelOpen(ChannelHandle handle) { return handle != 0 && handle != -1; }

// One end of a unit channel: write, read and close. Every call either completes or fails
// after a time-out; none blocks for ever.
class IUnitChannel {
 public:
  virtual ~IUnitChannel() = default;
  // One write of exactly `size` bytes; true when the call succeeded.
  virtual bool Write(const std::uint8_t* data, std::size_t size) = 0;
  // One read of at most `size` bytes; true and the count when a message arrived in time.
  virtual bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) = 0;
  // Drops, without waiting, every message already waiting to be read (a reply that came
  // after its reader gave up); returns how many. A channel that queues nothing has none.
  virtual int DiscardPending() { return 0; }
  // Called from another thread: a call waiting on the unit returns at once with a failure,
  // and so does every later one. The channel stays to be closed by its owner.
  virtual void Interrupt() {}
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};
