#pragma once

#include <QByteArray>
#include <chrono>
#include <functional>
#include <stop_token>

#include "device/UnitChannel.h"
#include "device/UnitExchange.h"

// The recovery page's firmware transfer: the package file in memory and the recovery
// channel the probe opened. Filled on the user-interface thread, then handed whole to the
// worker that sends it.
struct RecoveryTransfer {
  ChannelHandle hPipe = kChannelNotOpen;
  QByteArray pBuffer;
};

enum class RecoveryOutcome {
  Sent,            // header and every chunk written
  ChannelNotOpen,  // the probe left no open channel
  Failed,          // a write still failed after its retries
  Stalled,         // no chunk went out for longer than the watchdog allows
  Cancelled,       // stopped from outside before it ended
};

// One look for the unit: loads the unit library, asks whether a unit is attached and, when
// it is, opens the recovery channel. The library is freed again; the handle stays valid.
struct RecoveryProbe {
  bool bUnitPresent = false;
  ChannelHandle hPipe = kChannelNotOpen;
};
RecoveryProbe ProbeRecoveryUnit();

// Closes a channel handle unless it is a failure value.
void CloseRecoveryChannel(ChannelHandle handle);

// Sends the package over the transfer's channel (header, then the payload in chunks, each
// write retried as the exchange rules say; `progress` gets sent / step after every chunk)
// and closes the channel, whatever the outcome. Once `stop` is asked every further write
// fails at once and its retries run out without pauses.
RecoveryOutcome SendRecoveryPackage(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                    const UnitExchange::SleepFn& sleep = UnitExchange::RealSleep,
                                    std::stop_token stop = {});

// SendRecoveryPackage watched as the recovery page watches it, for a caller without an
// event loop: once no chunk has gone out for longer than `silenceLimit` the transfer is
// stopped and ends as Stalled, instead of waiting out every write's retries.
RecoveryOutcome SendRecoveryPackageWatched(RecoveryTransfer transfer, const std::function<void(unsigned)>& progress,
                                           std::chrono::milliseconds silenceLimit);
