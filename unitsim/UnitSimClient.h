#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "unitsim/UnitProtocol.h"

// Drives a running emulated unit: what `v770-unit ctl` does, for programs and tests.
// Every call is one short connection; false (with LastError) when the emulator is not
// there or refuses.
class UnitSimClient {
 public:
  explicit UnitSimClient(std::string socketPath = UnitProtocol::SocketPath());

  bool Plug();
  bool Unplug();
  // The whole state as compact JSON.
  std::optional<std::string> Status();
  // A reply byte by name (area, db1 ... voicelang), poi-capacity or speed-unit.
  bool Set(std::string_view field, long value);
  // Stops reading the unit's channels for ms milliseconds (0 ends a stall).
  bool Stall(long ms);
  // Holds every reply back this long.
  bool ReplyDelay(long ms);
  // Takes at most this many bytes a second from the channels; 0 is unlimited.
  bool Rate(long bytesPerSecond);

  // Sends "ctl COMMAND" and returns the text after "ok", or nothing.
  std::optional<std::string> Command(std::string_view command);

  const std::string& SocketPath() const { return m_socketPath; }
  const std::string& LastError() const { return m_lastError; }

 private:
  std::string m_socketPath;
  std::string m_lastError;
};
