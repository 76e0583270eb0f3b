#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "unitsim/UnitChannels.h"

// A channel reached over TCP carries a stream of bytes, not the separate messages of the
// unit's USB pipes. The unit knows its own protocol, so it cuts the stream back into them:
// on a command channel each command with the raw bytes it carries, on an update channel
// the 20-byte header and then the payload as it comes. Bytes that start no command go as
// one message of their own, to be ignored like any other stray write.
class ChannelStreamSplitter {
 public:
  // Every command's name ends ("<" or ">") within this many bytes ("$VER>" is the longest);
  // bytes that have none by then start no command.
  static constexpr std::size_t kMaxCommandName = 8;

  explicit ChannelStreamSplitter(UnitChannelInfo::Role role);

  // The messages completed by these bytes, in order; an incomplete one waits for more.
  std::vector<std::string> Feed(std::string_view bytes);

 private:
  // The size of the message at the front of what is pending; 0 while it is incomplete.
  std::size_t NextMessageSize() const;

  UnitChannelInfo::Role m_role;
  std::string m_pending;
  bool m_bHeaderTaken = false;
};
