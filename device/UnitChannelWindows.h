#pragma once

#include "device/UnitChannelCanceller.h"
#include "device/UnitChannelInterface.h"

// A channel over a HANDLE from the unit library, used as the library's handles require:
// synchronous WriteFile and ReadFile, no overlapped structure. A call that has not returned
// when its time runs out, or when Interrupt is asked, is ended with CancelSynchronousIo.
// Owns the handle: Close (or the destructor) closes it once.
class HandleChannel : public IUnitChannel {
 public:
  static constexpr int kDefaultTimeoutMs = 2000;
  // How long DiscardPending waits on a read for something already on its way.
  static constexpr int kDiscardWaitMs = 20;
  static constexpr std::size_t kDiscardBufferSize = 4096;

  explicit HandleChannel(ChannelHandle handle, int timeoutMs = kDefaultTimeoutMs);
  ~HandleChannel() override;
  HandleChannel(const HandleChannel&) = delete;
  HandleChannel& operator=(const HandleChannel&) = delete;

  bool Write(const std::uint8_t* data, std::size_t size) override;
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override;
  int DiscardPending() override;
  void Interrupt() override;
  void Close() override;
  bool IsOpen() const override;

  ChannelHandle Handle() const { return m_handle; }

 private:
  bool ReadWithin(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead, int timeoutMs);

  ChannelHandle m_handle;
  int m_timeoutMs;
  UnitChannelCanceller m_canceller;
};
