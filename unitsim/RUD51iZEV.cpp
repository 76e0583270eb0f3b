// The unit's USB library as the program loads it: two C entry points that reach the
// emulated unit over its socket. A channel is the connected descriptor itself, so it works
// with write/read/close and outlives the library once handed out.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "unitsim/UnitProtocol.h"

#define RUD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr int kNoUnit = -1;
constexpr int kUnitPresent = 1;
constexpr std::intptr_t kNotOpen = -1;
// A channel name longer than this is no channel of the unit.
constexpr std::size_t kMaxChannelName = 64;
}  // namespace

RUD_EXPORT int open_dev() {
  const int fd = UnitProtocol::Connect(UnitProtocol::SocketPath());
  if (fd < 0) return kNoUnit;
  std::string answer, text;
  const bool present = UnitProtocol::Exchange(fd, UnitProtocol::kProbe, &answer) &&
                       UnitProtocol::IsOk(answer, &text) && text == UnitProtocol::kPlugged;
  ::close(fd);
  return present ? kUnitPresent : kNoUnit;
}

RUD_EXPORT std::intptr_t open_file(const char* name) {
  if (!name || ::strnlen(name, kMaxChannelName + 1) > kMaxChannelName) return kNotOpen;
  const int fd = UnitProtocol::Connect(UnitProtocol::SocketPath());
  if (fd < 0) return kNotOpen;
  std::string answer;
  if (!UnitProtocol::Exchange(fd, std::string(UnitProtocol::kOpen) + name, &answer) ||
      !UnitProtocol::IsOk(answer)) {
    ::close(fd);
    return kNotOpen;
  }
  return fd;
}
