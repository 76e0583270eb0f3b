#pragma once

#include <QByteArray>
#include <memory>

#include "device/UnitChannel.h"

// The POI page's pair of pipes: the command pipe ("PIPE00POI"), which the tasks only write,
// and the reply pipe ("PIPE01POI"), which they only read. Shared, so a running task keeps
// its pipes alive when the page lets go of them; the last owner closes each.
struct PoiChannels {
  std::shared_ptr<IUnitChannel> command;
  std::shared_ptr<IUnitChannel> reply;

  bool IsOpen() const { return command && command->IsOpen() && reply && reply->IsOpen(); }
};

// Loads the unit library and opens the reply pipe, then the command pipe; a pipe that did not
// open stays empty. The library is not needed once they are open.
PoiChannels OpenPoiChannels();

// How a POI task ended.
enum class PoiTaskOutcome {
  Done,            // ran to its end (an unconnected unit included: nothing was sent)
  HandlesNotOpen,  // a pipe was not open; nothing was sent
  NoAnswer,        // gave up at the failure after kMaxFailedCalls
  NotKept,         // a save the unit's count afterwards does not match
};

// One write of exactly the bytes given; true when the call succeeded.
inline bool WritePoiCommand(IUnitChannel& channel, const QByteArray& bytes) {
  return channel.Write(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                       static_cast<std::size_t>(bytes.size()));
}
