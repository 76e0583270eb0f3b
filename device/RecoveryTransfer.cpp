#include "device/RecoveryTransfer.h"

#include "device/StoppableChannel.h"
#include "device/UnitLibrary.h"

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
  if (IsChannelOpen(handle)) UnitChannel(handle).Close();
}

RecoveryOutcome SendRecoveryPackage(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                    const UnitExchange::SleepFn& sleep, std::stop_token stop) {
  if (!IsChannelOpen(transfer.hPipe)) return RecoveryOutcome::ChannelNotOpen;
  UnitChannel channel(transfer.hPipe);
  UnitExchange::TransferResult result;
  {
    StoppableChannel stoppable(channel, stop);
    const auto pause = [&](int ms) {
      if (!stop.stop_requested()) sleep(ms);
    };
    result = UnitExchange::SendPackageFile(stoppable, transfer.pBuffer, progress, pause);
  }
  channel.Close();  // once nothing can interrupt it any more
  if (stop.stop_requested()) return RecoveryOutcome::Cancelled;
  return result == UnitExchange::TransferResult::Done ? RecoveryOutcome::Sent : RecoveryOutcome::Failed;
}
