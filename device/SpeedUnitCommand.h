#pragma once

#include <QByteArray>
#include <stop_token>

#include "device/UnitExchange.h"

// The option page's speed-unit command, without any window. Runs on a worker thread; a stop
// ends the writes at their next try.
enum class SpeedUnitOutcome {
  Sent,     // written, and the pause after it is over
  NotSent,  // no unit, or the library or the Unit channel missing: nothing was written
  Failed    // the failures ran out
};

// "$P1<", the selection's low 8 bits as one byte, then a zero byte.
QByteArray BuildSpeedUnitCommand(int selection);

SpeedUnitOutcome RunSpeedUnitCommand(bool bUnitConnected, const QByteArray& command,
                                     const UnitExchange::SleepFn& sleep = UnitExchange::RealSleep,
                                     std::stop_token stop = {});

// The unit never reports its speed unit (its reply's byte 11 is the voice language), so the
// program remembers the one it last set on each unit, by the unit's hardware identifier, in
// the profile.
inline constexpr const char* kSpeedUnitSection = "SpeedUnit";
void RememberSpeedUnit(int hardwareId, int selection);
// The selection this computer last set on that unit; -1 when it never set one.
int RememberedSpeedUnit(int hardwareId);
