#pragma once

#include <string>
#include <string_view>

// The few rules shared by the emulated unit, its control command and the unit library:
// where the socket is, and the one request every connection starts with.
//
// The emulator can also be reached over TCP on loopback (the unit library built for Windows
// does): there each request and each answer is one line ending in kLineEnd, and a channel's
// bytes after its "ok" line are a plain stream that the emulator cuts into commands.
//
// A connection sends one request message first:
//   "probe"          -> "ok plugged" | "ok unplugged"; the connection then ends
//   "open NAME"      -> "ok" (the connection is now that channel) | "no REASON"
//   "ctl ARGS..."    -> "ok [TEXT]" | "no REASON"; the connection then ends
namespace UnitProtocol {

inline constexpr const char* kSocketEnv = "V770_UNIT_SOCKET";
inline constexpr const char* kRuntimeDirEnv = "XDG_RUNTIME_DIR";
inline constexpr const char* kRuntimeSocketName = "v770-unit.sock";
// The emulator's TCP port on 127.0.0.1, for the unit library built for Windows.
inline constexpr const char* kTcpPortEnv = "V770_UNIT_PORT";
inline constexpr const char* kTcpHost = "127.0.0.1";
inline constexpr char kLineEnd = '\n';

inline constexpr std::string_view kProbe = "probe";
inline constexpr std::string_view kOpen = "open ";
inline constexpr std::string_view kControl = "ctl ";
inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kRefused = "no";
inline constexpr std::string_view kPlugged = "plugged";
inline constexpr std::string_view kUnplugged = "unplugged";

// Longest request the daemon reads and longest answer a client takes.
inline constexpr std::size_t kMaxRequestSize = 4096;
inline constexpr std::size_t kMaxAnswerSize = 512 * 1024;
// How long a client waits for the daemon to take and answer its request.
inline constexpr int kRequestTimeoutMs = 3000;

#ifndef _WIN32
// $V770_UNIT_SOCKET, else $XDG_RUNTIME_DIR/v770-unit.sock, else /tmp/v770-unit-<uid>.sock.
std::string SocketPath();

// A blocking, close-on-exec SOCK_SEQPACKET connection to `path`; -1 on failure.
int Connect(const std::string& path);

// Sends `request` as one message and waits up to timeoutMs for the one-message answer.
bool Exchange(int fd, std::string_view request, std::string* answer, int timeoutMs = kRequestTimeoutMs);
#endif

// Splits an answer "ok TEXT" / "no TEXT": true for ok; `text` gets what follows the word.
inline bool IsOk(std::string_view answer, std::string* text = nullptr) {
  const std::size_t space = answer.find(' ');
  if (text) *text = space == std::string_view::npos ? std::string() : std::string(answer.substr(space + 1));
  return answer.substr(0, space) == kOk;
}

}  // namespace UnitProtocol
