#include "device/RecoveryTransfer.h"

#include "device/UnitLibrary.h"

namespace {

// Passes the writes through until the transfer is cancelled; then fails them at once.
class CancellableChannel : public IUnitChannel {
 public:
  CancellableChannel(IUnitChannel& inner, const std::atomic<bool>& cancel) : m_inner(inner), m_cancel(cancel) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    return !m_cancel.load() && m_inner.Write(data, size);
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    return !m_cancel.load() && m_inner.Read(buffer, size, bytesRead);
  }
  void Close() override { m_inner.Close(); }
  bool IsOpen() const override { return m_inner.IsOpen(); }

 private:
  IUnitChannel& m_inner;
  const std::atomic<bool>& m_cancel;
};

}  // namespace

RecoveryProbe ProbeRecoveryUnit() {
  RecoveryProbe probe;
  CUnitLibrary library;
  // A library that does not load counts as no unit.
  if (!library.Load()) return probe;
  probe.bUnitPresent = library.open_dev() != CUnitLibrary::kNoUnit;
  if (probe.bUnitPresent) probe.hPipe = library.open_file(UnitChannels::kResetWrite);
  library.Free();
  return probe;
}

void CloseRecoveryChannel(ChannelHandle handle) {
  if (IsChannelOpen(handle)) FdChannel(handle).Close();
}

RecoveryOutcome SendRecoveryPackage(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                    const UnitExchange::SleepFn& sleep, const std::atomic<bool>* cancel) {
  if (!IsChannelOpen(transfer.hPipe)) return RecoveryOutcome::ChannelNotOpen;
  FdChannel channel(transfer.hPipe);  // closed when this ends
  const std::atomic<bool> never{false};
  const std::atomic<bool>& cancelled = cancel ? *cancel : never;
  CancellableChannel guarded(channel, cancelled);
  const auto pause = [&](int ms) {
    if (!cancelled.load()) sleep(ms);
  };
  const UnitExchange::TransferResult result =
      UnitExchange::SendPackageFile(guarded, transfer.pBuffer, progress, pause);
  if (cancelled.load()) return RecoveryOutcome::Cancelled;
  return result == UnitExchange::TransferResult::Done ? RecoveryOutcome::Sent : RecoveryOutcome::Failed;
}
