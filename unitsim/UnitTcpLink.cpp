#include "unitsim/UnitTcpLink.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace UnitTcpLink {
namespace {

constexpr int kMaxPort = 65535;
constexpr std::size_t kPeekSize = 64 * 1024;

#ifdef _WIN32
using Native = SOCKET;
constexpr int kSendFlags = 0;
int Poll(pollfd* entry, int timeoutMs) { return ::WSAPoll(entry, 1, timeoutMs); }
bool Interrupted() { return false; }

// Winsock stays started, and its library loaded, for the life of the process: a socket
// handed out as a channel must outlive the library that made it.
bool StartSockets() {
  static const bool started = [] {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    HMODULE pinned = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "ws2_32.dll", &pinned);
    return true;
  }();
  return started;
}

Native NewSocket() {
  const Native socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
  if (socket != INVALID_SOCKET)
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  return socket;
}
void CloseNative(Native socket) { ::closesocket(socket); }
#else
using Native = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
int Poll(pollfd* entry, int timeoutMs) { return ::poll(entry, 1, timeoutMs); }
bool Interrupted() { return errno == EINTR; }
bool StartSockets() { return true; }
Native NewSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
void CloseNative(Native socket) { ::close(socket); }
#endif

Native ToNative(Socket socket) { return static_cast<Native>(socket); }

using Clock = std::chrono::steady_clock;

// Waits until the socket has something to read (or has closed) or the deadline passes.
bool WaitReadable(Native socket, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0) return false;
    pollfd entry{};
    entry.fd = socket;
    entry.events = POLLIN;
    const int result = Poll(&entry, static_cast<int>(left));
    if (result < 0 && Interrupted()) continue;
    return result > 0;
  }
}

bool SendAll(Native socket, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto sent = ::send(socket, bytes.data() + done, static_cast<int>(bytes.size() - done), kSendFlags);
    if (sent < 0 && Interrupted()) continue;
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

int PortFromEnvironment() {
  const char* text = std::getenv(UnitProtocol::kTcpPortEnv);
  if (!text) return 0;
  const std::string_view value(text);
  int port = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
  return error == std::errc() && end == value.data() + value.size() && port > 0 && port <= kMaxPort ? port : 0;
}

Socket Connect(int port) {
  if (port <= 0 || port > kMaxPort || !StartSockets()) return kNoSocket;
  const Native socket = NewSocket();
  if (static_cast<Socket>(socket) == kNoSocket) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, UnitProtocol::kTcpHost, &address.sin_addr);
  const int noDelay = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  int result;
  do {
    result = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && Interrupted());
  if (result != 0) {
    CloseNative(socket);
    return kNoSocket;
  }
  return static_cast<Socket>(socket);
}

bool Exchange(Socket socket, std::string_view request, std::string* answer, int timeoutMs) {
  if (socket == kNoSocket) return false;
  const Native native = ToNative(socket);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line(request);
  line += UnitProtocol::kLineEnd;
  if (!SendAll(native, line)) return false;
  std::string received;
  std::vector<char> peeked(kPeekSize);
  while (received.size() <= UnitProtocol::kMaxAnswerSize) {
    if (!WaitReadable(native, deadline)) return false;
    // Looked at first, then taken up to the line end only.
    const auto seen = ::recv(native, peeked.data(), static_cast<int>(peeked.size()), MSG_PEEK);
    if (seen < 0 && Interrupted()) continue;
    if (seen <= 0) return false;  // closed without an answer
    const std::string_view view(peeked.data(), static_cast<std::size_t>(seen));
    const std::size_t end = view.find(UnitProtocol::kLineEnd);
    const std::size_t take = end == std::string_view::npos ? view.size() : end + 1;
    const auto taken = ::recv(native, peeked.data(), static_cast<int>(take), 0);
    if (taken < 0 || static_cast<std::size_t>(taken) != take) return false;
    received.append(peeked.data(), end == std::string_view::npos ? take : end);
    if (end != std::string_view::npos) {
      if (answer) *answer = std::move(received);
      return true;
    }
  }
  return false;
}

void Close(Socket socket) {
  if (socket != kNoSocket) CloseNative(ToNative(socket));
}

}  // namespace UnitTcpLink
