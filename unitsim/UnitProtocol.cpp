#include "unitsim/UnitProtocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace UnitProtocol {

std::string SocketPath() {
  if (const char* path = std::getenv(kSocketEnv); path && *path) return path;
  if (const char* runtime = std::getenv(kRuntimeDirEnv); runtime && *runtime)
    return std::string(runtime) + "/" + kRuntimeSocketName;
  return "/tmp/v770-unit-" + std::to_string(::getuid()) + ".sock";
}

int Connect(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (result < 0 && errno == EINTR);
  if (result < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Exchange(int fd, std::string_view request, std::string* answer, int timeoutMs) {
  if (fd < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto wait = [&](short events) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) return false;
      pollfd entry{fd, events, 0};
      const int result = ::poll(&entry, 1, static_cast<int>(left.count()));
      if (result < 0 && errno == EINTR) continue;
      return result > 0 && (entry.revents & events);
    }
  };
  if (!wait(POLLOUT)) return false;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
      static_cast<ssize_t>(request.size()))
    return false;
  if (!wait(POLLIN)) return false;
  std::string buffer(kMaxAnswerSize, '\0');
  ssize_t got;
  do {
    got = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  // Nothing at all: the daemon closed the connection without answering.
  if (got <= 0) return false;
  buffer.resize(static_cast<std::size_t>(got));
  if (answer) *answer = std::move(buffer);
  return true;
}

}  // namespace UnitProtocol
