#include "device/UnitChannelPosix.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A record that does not fit the socket's send space yet: wait this long before trying
// again instead of spinning.
constexpr auto kSendSpacePause = std::chrono::milliseconds(1);

// Waits until the descriptor is ready for `events` or the deadline passes. A hung-up or
// invalid descriptor is never ready for writing; for reading, data still queued wins.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) return false;
    pollfd entry{fd, events, 0};
    const int result = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (result < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (result == 0) return false;
    if (entry.revents & events) return true;
    return false;  // POLLERR, POLLHUP or POLLNVAL without the wanted readiness
  }
}

bool IsTransient(int error) { return error == EINTR || error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

FdChannel::FdChannel(ChannelHandle handle, int timeoutMs) : m_handle(handle), m_timeoutMs(timeoutMs) {}

FdChannel::~FdChannel() { Close(); }

bool FdChannel::Write(const std::uint8_t* data, std::size_t size) {
  if (!IsOpen() || (size > 0 && !data)) return false;
  const int fd = static_cast<int>(m_handle);
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
  std::size_t done = 0;
  bool waitedForSpace = false;
  // At least one call, so an empty chunk is still one (empty) message. The send is tried
  // first: waiting is only needed when the unit has not taken the previous records yet.
  do {
    // MSG_NOSIGNAL: a unit that went away fails the call instead of killing the program.
    const ssize_t written = ::send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written >= 0) {
      done += static_cast<std::size_t>(written);
      waitedForSpace = false;
      continue;
    }
    if (!IsTransient(errno)) return false;
    if (errno == EINTR) continue;
    // Readiness can be reported before a whole record fits: then pause instead of spinning.
    if (waitedForSpace) std::this_thread::sleep_for(kSendSpacePause);
    if (!WaitReady(fd, POLLOUT, deadline)) return false;
    waitedForSpace = true;
  } while (done < size);
  return true;
}

bool FdChannel::Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!IsOpen() || !buffer || size == 0) return false;
  const int fd = static_cast<int>(m_handle);
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
  for (;;) {
    if (!WaitReady(fd, POLLIN, deadline)) return false;
    // One call takes one message; whatever does not fit the buffer is dropped with it.
    const ssize_t got = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (got < 0) {
      if (IsTransient(errno)) continue;
      return false;
    }
    // Nothing at all means the unit closed the channel.
    if (got == 0) return false;
    if (bytesRead) *bytesRead = static_cast<std::size_t>(got);
    return true;
  }
}

void FdChannel::Interrupt() {
  // A shut-down socket wakes a poll in progress and fails every later call, while the
  // descriptor itself stays ours until Close.
  if (IsOpen()) ::shutdown(static_cast<int>(m_handle), SHUT_RDWR);
}

int FdChannel::DiscardPending() {
  if (!IsOpen()) return 0;
  int dropped = 0;
  std::uint8_t scrap[1];
  for (;;) {
    // One call takes one whole message, however little of it fits the buffer.
    const ssize_t got = ::recv(static_cast<int>(m_handle), scrap, sizeof scrap, MSG_DONTWAIT | MSG_TRUNC);
    if (got < 0 && errno == EINTR) continue;
    // Nothing waiting, or a closed channel (which reads as empty for ever): done.
    if (got <= 0) return dropped;
    ++dropped;
  }
}

void FdChannel::Close() {
  if (IsOpen()) ::close(static_cast<int>(m_handle));
  m_handle = kChannelNotOpen;
}

bool FdChannel::IsOpen() const { return IsChannelOpen(m_handle); }
