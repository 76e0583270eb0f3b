#pragma once

#include "device/UnitChannelInterface.h"

// A channel over a descriptor from the unit library. Owns the descriptor: Close (or the
// destructor) closes it once.
class FdChannel : public IUnitChannel {
 public:
  static constexpr int kDefaultTimeoutMs = 2000;

  explicit FdChannel(ChannelHandle handle, int timeoutMs = kDefaultTimeoutMs);
  ~FdChannel() override;
  FdChannel(const FdChannel&) = delete;
  FdChannel& operator=(const FdChannel&) = delete;

  bool Write(const std::uint8_t* data, std::size_t size) override;
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override;
  int DiscardPending() override;
  void Interrupt() override;
  void Close() override;
  bool IsOpen() const override;

  ChannelHandle Handle() const { return m_handle; }

 private:
  ChannelHandle m_handle;
  int m_timeoutMs;
};
