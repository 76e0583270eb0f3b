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

RecoveryOutcome SendRecoveryPackageWatched(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                           std::chrono::milliseconds silenceLimit) {
  using Clock = std::chrono::steady_clock;
  std::stop_source stop;
  Clock::time_point lastProgress = Clock::now();
  const auto onProgress = [&](unsigned value) {
    lastProgress = Clock::now();
    if (progress) progress(value);
  };
  // A unit that stopped reading makes every write fail after its time-out: the pause
  // between two attempts is where the silence is noticed.
  const auto pause = [&](int ms) {
    if (Clock::now() - lastProgress > silenceLimit) stop.request_stop();
    else UnitExchange::RealSleep(ms);
  };
  const RecoveryOutcome outcome = SendRecoveryPackage(std::move(transfer), onProgress, pause, stop.get_token());
  return stop.stop_requested() ? RecoveryOutcome::Stalled : outcome;
}
