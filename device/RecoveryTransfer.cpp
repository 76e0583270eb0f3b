#include "device/RecoveryTransfer.h"

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
  if (IsChannelOpen(handle)) FdChannel(handle).Close();
}

RecoveryOutcome SendRecoveryPackage(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                    const UnitExchange::SleepFn& sleep) {
  if (!IsChannelOpen(transfer.hPipe)) return RecoveryOutcome::ChannelNotOpen;
  FdChannel channel(transfer.hPipe);  // closed when this ends
  const UnitExchange::TransferResult result =
      UnitExchange::SendPackageFile(channel, transfer.pBuffer, progress, sleep);
  return result == UnitExchange::TransferResult::Done ? RecoveryOutcome::Sent : RecoveryOutcome::Failed;
}
