#pragma once

#include <QByteArray>
#include <stop_token>

#include "device/UnitChannel.h"

// The main page's version query, without any window: opens the Main channels, asks "$VER>"
// and closes them again. Runs on a worker thread; a stop ends the exchange at its next call.
enum class VersionQueryOutcome {
  ReplyReady,       // `reply` holds what the unit answered (up to 12 bytes)
  NoReply,          // the failures ran out
  ChannelNotOpen,   // library, entry point or a channel missing
  UnitNotConnected  // the page saw no unit when the query started; nothing was sent
};

struct VersionQueryResult {
  VersionQueryOutcome outcome = VersionQueryOutcome::ChannelNotOpen;
  QByteArray reply;
};

inline constexpr const char* kVersionCommand = "$VER>";
// How long a newly seen unit is given before it is asked for its versions.
inline constexpr int kVersionQueryDelayMs = 1500;

VersionQueryResult RunVersionQuery(bool bUnitConnected, int timeoutMs = UnitChannel::kDefaultTimeoutMs,
                                   std::stop_token stop = {});
