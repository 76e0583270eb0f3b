#pragma once

#include <QByteArray>
#include <QList>

#include "app/VersionFile.h"
#include "device/UnitVersionInfo.h"

// Positions in the "$VER>" reply that the status shows as plain numbers.
namespace UnitReply {
inline constexpr int kHardwareId = 4;
inline constexpr int kFWMajor = 5;
inline constexpr int kFWMinor = 6;
}  // namespace UnitReply

// One look at the unit without any window: is one plugged in and, when it is, what its
// "$VER>" reply says. Runs on the calling thread (a few hundred milliseconds at most).
struct UnitStatus {
  enum Outcome {
    NotConnected,    // no unit, or no unit library
    Identified,      // `reply` and `info` hold the unit's answer
    NoReply,         // the failures ran out
    ChannelNotOpen,  // the Main channels did not open
  } outcome = NotConnected;
  QByteArray reply;  // always kReplySize bytes when identified (a short reply is padded)
  UnitVersionInfo info;

  static UnitStatus Query(const QList<VersionEntry>& listDB);
};
