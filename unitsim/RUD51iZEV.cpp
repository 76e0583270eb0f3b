// The unit's USB library as the program loads it: two C entry points that reach the
// emulated unit. A channel is the connection itself, so it works with the system's own
// write, read and close calls and outlives the library once handed out: a descriptor of
// the emulator's socket on POSIX systems, a TCP socket's handle on Windows (ReadFile,
// WriteFile, CloseHandle), with the port in $V770_UNIT_PORT.
#include <cstdint>
#include <cstring>
#include <string>

#include "unitsim/UnitProtocol.h"

#ifdef _WIN32
#include "unitsim/UnitTcpLink.h"
#define RUD_EXPORT extern "C" __declspec(dllexport)
#else
#include <unistd.h>
#define RUD_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
constexpr int kNoUnit = -1;
constexpr int kUnitPresent = 1;
constexpr std::intptr_t kNotOpen = -1;
// A channel name longer than this is no channel of the unit.
constexpr std::size_t kMaxChannelName = 64;

#ifdef _WIN32
using Connection = UnitTcpLink::Socket;
constexpr Connection kNoConnection = UnitTcpLink::kNoSocket;
Connection Connect() { return UnitTcpLink::Connect(UnitTcpLink::PortFromEnvironment()); }
bool Ask(Connection connection, const std::string& request, std::string* answer) {
  return UnitTcpLink::Exchange(connection, request, answer);
}
void Drop(Connection connection) { UnitTcpLink::Close(connection); }
#else
using Connection = int;
constexpr Connection kNoConnection = -1;
Connection Connect() { return UnitProtocol::Connect(UnitProtocol::SocketPath()); }
bool Ask(Connection connection, const std::string& request, std::string* answer) {
  return UnitProtocol::Exchange(connection, request, answer);
}
void Drop(Connection connection) { ::close(connection); }
#endif
}  // namespace

RUD_EXPORT int open_dev() {
  const Connection connection = Connect();
  if (connection == kNoConnection) return kNoUnit;
  std::string answer, text;
  const bool present = Ask(connection, std::string(UnitProtocol::kProbe), &answer) &&
                       UnitProtocol::IsOk(answer, &text) && text == UnitProtocol::kPlugged;
  Drop(connection);
  return present ? kUnitPresent : kNoUnit;
}

RUD_EXPORT std::intptr_t open_file(const char* name) {
  if (!name || ::strnlen(name, kMaxChannelName + 1) > kMaxChannelName) return kNotOpen;
  const Connection connection = Connect();
  if (connection == kNoConnection) return kNotOpen;
  std::string answer;
  if (!Ask(connection, std::string(UnitProtocol::kOpen) + name, &answer) || !UnitProtocol::IsOk(answer)) {
    Drop(connection);
    return kNotOpen;
  }
  return connection;
}
