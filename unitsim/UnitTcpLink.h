#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "unitsim/UnitProtocol.h"

// A client's way to the emulated unit over TCP on loopback: what the unit library built for
// Windows uses, and what tests on either system use to drive that way in. Requests and
// answers are lines (see UnitProtocol.h).
namespace UnitTcpLink {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// $V770_UNIT_PORT as a port number; 0 when it is unset or no port.
int PortFromEnvironment();

// A blocking connection to 127.0.0.1:port, or kNoSocket. On Windows the socket is made
// without overlapped I/O and is not inherited: ReadFile and WriteFile on its handle are
// plain synchronous calls, which CancelSynchronousIo can end, as on the unit's own handles.
Socket Connect(int port);

// Sends `request` with its line end and waits up to timeoutMs for the answer line. Nothing
// after the line end is taken: on a channel that is the unit's first reply.
bool Exchange(Socket socket, std::string_view request, std::string* answer,
              int timeoutMs = UnitProtocol::kRequestTimeoutMs);

void Close(Socket socket);

}  // namespace UnitTcpLink
