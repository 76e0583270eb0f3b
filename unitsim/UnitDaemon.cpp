#include "unitsim/UnitDaemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "unitsim/UnitCommandProcessor.h"
#include "unitsim/UnitProtocol.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void OnStopSignal(int) { g_stopRequested = 1; }

void InstallSignalHandlers() {
  struct sigaction action{};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: poll() returns at once and the loop sees the request.
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool IsTransient(int error) { return error == EINTR || error == EAGAIN || error == EWOULDBLOCK; }

// recv() gives 0 both for an empty message and for a closed peer; the peer is gone only
// when it hung up and nothing is left to read.
bool PeerGone(int fd) {
  pollfd entry{fd, POLLRDHUP, 0};
  if (::poll(&entry, 1, 0) <= 0 || !(entry.revents & (POLLRDHUP | POLLHUP))) return false;
  int queued = 0;
  return ::ioctl(fd, SIOCINQ, &queued) != 0 || queued == 0;
}

bool ParseNumber(std::string_view text, long* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t begin = text.find_first_not_of(" \t\n", at);
    if (begin == std::string_view::npos) break;
    const std::size_t end = std::min(text.find_first_of(" \t\n", begin), text.size());
    words.push_back(text.substr(begin, end - begin));
    at = end;
  }
  return words;
}

std::string ReplyChannelName(std::string_view group) {
  for (const UnitChannelInfo& info : kUnitChannels)
    if (info.group == group && info.role == UnitChannelInfo::kReply) return std::string(info.name);
  return std::string(group);
}

// A rate limit is kept over slices of a second: a stream is read at most one slice at a time.
constexpr long kRateSlicesPerSecond = 20;

std::string Refused(std::string_view reason) { return std::string(UnitProtocol::kRefused) + " " + std::string(reason); }
std::string Ok(std::string_view text = {}) {
  return text.empty() ? std::string(UnitProtocol::kOk) : std::string(UnitProtocol::kOk) + " " + std::string(text);
}

}  // namespace

UnitDaemon::UnitDaemon(std::string socketPath, std::string statePath, UnitState state)
    : m_socketPath(std::move(socketPath)),
      m_statePath(std::move(statePath)),
      m_state(std::move(state)),
      m_buffer(kMaxMessageSize) {}

UnitDaemon::~UnitDaemon() {
  for (auto& connection : m_connections) Close(*connection);
  if (m_listenFd >= 0) {
    ::close(m_listenFd);
    ::unlink(m_socketPath.c_str());
  }
  if (m_tcpListenFd >= 0) ::close(m_tcpListenFd);
}

void UnitDaemon::RequestStop() { g_stopRequested = 1; }

bool UnitDaemon::Listen(std::string* error) {
  sockaddr_un address{};
  if (m_socketPath.empty() || m_socketPath.size() >= sizeof(address.sun_path)) {
    *error = "socket path empty or too long: " + m_socketPath;
    return false;
  }
  struct stat info{};
  if (::lstat(m_socketPath.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      *error = m_socketPath + " exists and is no socket";
      return false;
    }
    const int probe = UnitProtocol::Connect(m_socketPath);
    if (probe >= 0) {
      ::close(probe);
      *error = "an emulated unit already serves " + m_socketPath;
      return false;
    }
    ::unlink(m_socketPath.c_str());  // left behind by an emulator that is gone
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, m_socketPath.data(), m_socketPath.size());
  m_listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(m_listenFd, kListenBacklog) != 0) {
    *error = "cannot listen on " + m_socketPath + ": " + std::strerror(errno);
    if (m_listenFd >= 0) ::close(m_listenFd);
    m_listenFd = -1;
    return false;
  }
  return true;
}

bool UnitDaemon::ListenTcp(const std::string& host, int port, std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  // Loopback only: the emulator answers anyone who connects, so it is never on a network.
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 || (ntohl(address.sin_addr.s_addr) >> 24) != 127 ||
      port < 0 || port > 65535) {
    *error = "not a loopback address and port: " + host + ":" + std::to_string(port);
    return false;
  }
  m_tcpListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int reuse = 1;
  if (m_tcpListenFd < 0 || ::setsockopt(m_tcpListenFd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      ::bind(m_tcpListenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(m_tcpListenFd, kListenBacklog) != 0) {
    *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
    if (m_tcpListenFd >= 0) ::close(m_tcpListenFd);
    m_tcpListenFd = -1;
    return false;
  }
  return true;
}

int UnitDaemon::TcpPort() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (m_tcpListenFd < 0 || ::getsockname(m_tcpListenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}

bool UnitDaemon::Present() const { return m_state.IsPlugged() && !m_replugAt; }

bool UnitDaemon::ReadingAllowed(Clock::time_point now) const { return now >= m_stallUntil && now >= m_nextReadAt; }

std::optional<UnitDaemon::Clock::time_point> UnitDaemon::NextWakeUp() const {
  std::optional<Clock::time_point> next;
  const auto consider = [&](Clock::time_point t) {
    if (!next || t < *next) next = t;
  };
  if (!m_pendingReplies.empty()) consider(m_pendingReplies.front().due);
  if (m_replugAt) consider(*m_replugAt);
  const auto now = Clock::now();
  if (now < m_acceptPausedUntil) consider(m_acceptPausedUntil);
  if (!ReadingAllowed(now)) consider(std::max(m_stallUntil, m_nextReadAt));
  return next;
}

void UnitDaemon::Run() {
  InstallSignalHandlers();
  std::vector<pollfd> fds;
  std::vector<Connection*> owners;
  while (!g_stopRequested) {
    const auto now = Clock::now();
    if (m_replugAt && now >= *m_replugAt) m_replugAt.reset();
    DeliverDueReplies(now);
    const bool reading = ReadingAllowed(now);

    const short accepting = short(now >= m_acceptPausedUntil ? POLLIN : 0);
    // A TCP listener of -1 (none) is left out by poll itself.
    fds.assign({pollfd{m_listenFd, accepting, 0}, pollfd{m_tcpListenFd, accepting, 0}});
    owners.assign(fds.size(), nullptr);
    for (const auto& connection : m_connections) {
      short events = connection->out.empty() ? 0 : POLLOUT;
      if (connection->kind == Connection::Kind::kRequest) {
        if (!connection->closeWhenSent) events |= POLLIN;
      } else if (connection->channel->role == UnitChannelInfo::kReply || reading) {
        events |= POLLIN | POLLRDHUP;
      } else if (!events) {
        continue;  // paused: not even its hang-up is looked at until reading resumes
      }
      fds.push_back({connection->fd, events, 0});
      owners.push_back(connection.get());
    }
    int timeoutMs = -1;
    if (const auto wake = NextWakeUp()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now()).count();
      timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
      if (errno == EINTR) continue;
      std::perror("v770-unit: poll");
      break;
    }
    if (fds[0].revents & POLLIN) AcceptClients(m_listenFd, false);
    if (fds[1].revents & POLLIN) AcceptClients(m_tcpListenFd, true);
    for (std::size_t i = 2; i < fds.size(); ++i) {
      Connection& connection = *owners[i];
      const short revents = fds[i].revents;
      if (!revents || connection.closed) continue;
      if (revents & POLLNVAL) {
        Close(connection);
        continue;
      }
      if (revents & POLLOUT) Flush(connection);
      if (connection.closed || !(revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR))) continue;
      if (connection.kind == Connection::Kind::kRequest)
        ReadRequest(connection);
      else
        ReadChannel(connection);
    }
    std::erase_if(m_connections, [](const auto& connection) { return connection->closed; });
    if (m_dirty) Save();
  }
}

void UnitDaemon::AcceptClients(int listenFd, bool stream) {
  for (;;) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      // Out of descriptors: the rest wait in the backlog; without a pause the listening
      // socket would wake the loop at once, again and again.
      if (errno == EMFILE || errno == ENFILE) m_acceptPausedUntil = Clock::now() + kAcceptPause;
      return;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->stream = stream;
    if (stream) {
      // Each reply goes out as it is made, not held back to be joined with the next.
      const int noDelay = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    }
    m_connections.push_back(std::move(connection));
  }
}

void UnitDaemon::ReadRequest(Connection& connection) {
  if (connection.stream) {
    ReadRequestLine(connection);
    return;
  }
  char request[UnitProtocol::kMaxRequestSize];
  const ssize_t got = ::recv(connection.fd, request, sizeof request, MSG_DONTWAIT);
  if (got < 0 && IsTransient(errno)) return;
  if (got <= 0) {
    Close(connection);
    return;
  }
  Send(connection, Answer(connection, std::string_view(request, std::size_t(got))));
}

void UnitDaemon::ReadRequestLine(Connection& connection) {
  char chunk[UnitProtocol::kMaxRequestSize];
  const ssize_t got = ::recv(connection.fd, chunk, sizeof chunk, MSG_DONTWAIT);
  if (got < 0 && IsTransient(errno)) return;
  if (got <= 0) {
    Close(connection);
    return;
  }
  connection.inbox.append(chunk, std::size_t(got));
  const std::size_t end = connection.inbox.find(UnitProtocol::kLineEnd);
  if (end == std::string::npos) {
    if (connection.inbox.size() > UnitProtocol::kMaxRequestSize) Close(connection);
    return;
  }
  const std::string request = connection.inbox.substr(0, end);
  const std::string early = connection.inbox.substr(end + 1);
  connection.inbox.clear();
  Send(connection, Answer(connection, request) + UnitProtocol::kLineEnd);
  if (connection.kind != Connection::Kind::kChannel) return;
  connection.splitter = std::make_unique<ChannelStreamSplitter>(connection.channel->role);
  if (!early.empty()) OnChannelBytes(connection, early);
}

std::string UnitDaemon::Answer(Connection& connection, std::string_view request) {
  connection.closeWhenSent = true;
  if (request == UnitProtocol::kProbe) return Ok(Present() ? UnitProtocol::kPlugged : UnitProtocol::kUnplugged);
  if (request.starts_with(UnitProtocol::kControl)) return Control(request.substr(UnitProtocol::kControl.size()));
  if (!request.starts_with(UnitProtocol::kOpen)) return Refused("unknown request");

  const std::string_view name = request.substr(UnitProtocol::kOpen.size());
  const UnitChannelInfo* channel = FindUnitChannel(name);
  if (!channel) {
    m_log.AddEvent("unknown channels", "open refused: " + std::string(name));
    return Refused("no such channel");
  }
  if (!Present()) {
    m_log.AddEvent(std::string(name), "open refused: unit not plugged in");
    return Refused("unit not plugged in");
  }
  connection.closeWhenSent = false;
  connection.kind = Connection::Kind::kChannel;
  connection.channel = channel;
  connection.openedSeq = ++m_openCount;
  if (channel->role == UnitChannelInfo::kTransfer)
    connection.transfer = std::make_unique<PackageReceiver>(std::string(channel->name), channel->firmwareOnly);
  m_log.AddEvent(std::string(name), "opened");
  return Ok();
}

std::string UnitDaemon::Control(std::string_view arguments) {
  const auto words = SplitWords(arguments);
  if (words.empty()) return Refused("no control command");
  const std::string_view command = words[0];
  long value = 0;
  const bool oneNumber = words.size() == 2 && ParseNumber(words[1], &value) && value >= 0;
  const auto now = Clock::now();
  if (command == "plug" && words.size() == 1) {
    SetPlugged(true);
  } else if (command == "unplug" && words.size() == 1) {
    SetPlugged(false);
  } else if (command == "status" && words.size() == 1) {
    return Ok(StatusJson());
  } else if (command == "set" && words.size() == 3) {
    std::string error;
    if (!ParseNumber(words[2], &value)) return Refused("the value is no whole number");
    if (!m_state.Set(words[1], value, &error)) return Refused(error);
    m_dirty = true;
  } else if (command == "stall" && oneNumber) {
    m_stallUntil = now + std::chrono::milliseconds(value);
  } else if (command == "reply-delay" && oneNumber) {
    m_replyDelay = std::chrono::milliseconds(value);
  } else if (command == "rate" && oneNumber) {
    m_rateBytesPerSecond = value;
    m_nextReadAt = now;
  } else {
    return Refused("unknown control command or wrong arguments: " + std::string(arguments));
  }
  return Ok();
}

std::string UnitDaemon::StatusJson() const {
  QJsonObject status = m_state.ToJson();
  status["plugged"] = Present();
  status["restarting"] = m_replugAt.has_value();
  const auto stallLeft = std::chrono::ceil<std::chrono::milliseconds>(m_stallUntil - Clock::now()).count();
  status["link"] = QJsonObject{{"stallMs", qint64(std::max<long long>(stallLeft, 0))},
                               {"replyDelayMs", qint64(m_replyDelay.count())},
                               {"rateBytesPerSecond", qint64(m_rateBytesPerSecond)}};
  QJsonArray open;
  for (const auto& connection : m_connections)
    if (connection->kind == Connection::Kind::kChannel && !connection->closed)
      open.append(QString::fromUtf8(connection->channel->name.data(), qsizetype(connection->channel->name.size())));
  status["openChannels"] = open;
  status["log"] = m_log.ToJson();
  return QJsonDocument(status).toJson(QJsonDocument::Compact).toStdString();
}

void UnitDaemon::ReadChannel(Connection& connection) {
  if (connection.stream) {
    ReadStream(connection);
    return;
  }
  const bool consuming = connection.channel->role != UnitChannelInfo::kReply;
  for (int taken = 0; taken < kMessagesPerTurn; ++taken) {
    const auto now = Clock::now();
    if (consuming && !ReadingAllowed(now)) return;
    // MSG_TRUNC: the true length of a message too long for the buffer.
    const ssize_t got = ::recv(connection.fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (got < 0) {
      if (IsTransient(errno)) {
        if (errno == EINTR) continue;
        return;
      }
      Close(connection);
      return;
    }
    if (got == 0 && PeerGone(connection.fd)) {
      Close(connection);
      return;
    }
    if (consuming && m_rateBytesPerSecond > 0)
      m_nextReadAt = std::max(m_nextReadAt, now) +
                     std::chrono::nanoseconds(std::int64_t(got) * 1'000'000'000 / m_rateBytesPerSecond);
    OnChannelMessage(connection, m_buffer.data(), std::min(std::size_t(got), m_buffer.size()));
    if (connection.closed) return;
  }
}

void UnitDaemon::ReadStream(Connection& connection) {
  const bool consuming = connection.channel->role != UnitChannelInfo::kReply;
  for (int taken = 0; taken < kMessagesPerTurn; ++taken) {
    const auto now = Clock::now();
    if (consuming && !ReadingAllowed(now)) return;
    std::size_t want = m_buffer.size();
    if (consuming && m_rateBytesPerSecond > 0)
      want = std::clamp<std::size_t>(std::size_t(m_rateBytesPerSecond / kRateSlicesPerSecond), 1, want);
    const ssize_t got = ::recv(connection.fd, m_buffer.data(), want, MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && IsTransient(errno)) return;
    if (got <= 0) {  // an error, or the program closed the channel
      Close(connection);
      return;
    }
    if (consuming && m_rateBytesPerSecond > 0)
      m_nextReadAt = std::max(m_nextReadAt, now) +
                     std::chrono::nanoseconds(std::int64_t(got) * 1'000'000'000 / m_rateBytesPerSecond);
    OnChannelBytes(connection, {reinterpret_cast<const char*>(m_buffer.data()), std::size_t(got)});
    if (connection.closed) return;
  }
}

void UnitDaemon::OnChannelBytes(Connection& connection, std::string_view bytes) {
  for (const std::string& message : connection.splitter->Feed(bytes)) {
    OnChannelMessage(connection, reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    if (connection.closed) return;
  }
}

void UnitDaemon::OnChannelMessage(Connection& connection, const std::uint8_t* data, std::size_t size) {
  const UnitChannelInfo& channel = *connection.channel;
  const std::string name(channel.name);
  switch (channel.role) {
    case UnitChannelInfo::kReply:
      m_log.AddReceived(name, data, size, "ignored: written on a reply channel");
      break;
    case UnitChannelInfo::kCommand: {
      CommandResult result =
          UnitCommandProcessor::Process(m_state, channel.group, {reinterpret_cast<const char*>(data), size});
      m_log.AddReceived(name, data, size, std::move(result.note));
      m_dirty |= result.stateChanged;
      for (std::string& reply : result.replies) QueueReply(channel.group, std::move(reply));
      break;
    }
    case UnitChannelInfo::kTransfer: {
      std::string note;
      auto outcome = connection.transfer->Feed(data, size, &note);
      m_log.AddReceived(name, data, size, std::move(note));
      if (outcome) OnPackage(std::move(*outcome));
      break;
    }
  }
}

void UnitDaemon::OnPackage(PackageOutcome outcome) {
  m_log.AddEvent(outcome.channel, outcome.installed ? "package installed" : "package refused: " + outcome.reason);
  const bool restart = outcome.installed && outcome.header.kind == PackageHeader::kFirmware;
  if (outcome.installed) m_state.Install(outcome.header);
  m_state.RecordPackage(std::move(outcome));
  m_dirty = true;
  if (restart) RestartAfterFirmware();
}

void UnitDaemon::QueueReply(std::string_view group, std::string bytes) {
  const auto now = Clock::now();
  m_pendingReplies.push_back({now + m_replyDelay, group, std::move(bytes)});
  DeliverDueReplies(now);
}

void UnitDaemon::DeliverDueReplies(Clock::time_point now) {
  // In order: a reply never overtakes an earlier one, whatever the delay was then.
  while (!m_pendingReplies.empty() && m_pendingReplies.front().due <= now) {
    PendingReply reply = std::move(m_pendingReplies.front());
    m_pendingReplies.pop_front();
    const std::string channelName = ReplyChannelName(reply.group);
    if (Connection* target = ReplyChannel(reply.group)) {
      m_log.AddSent(channelName, reply.bytes);
      Send(*target, std::move(reply.bytes));
    } else {
      m_log.AddEvent(channelName, "reply dropped: channel not open");
    }
  }
}

UnitDaemon::Connection* UnitDaemon::ReplyChannel(std::string_view group) {
  Connection* latest = nullptr;
  for (const auto& connection : m_connections) {
    if (connection->closed || connection->kind != Connection::Kind::kChannel) continue;
    const UnitChannelInfo& channel = *connection->channel;
    if (channel.role == UnitChannelInfo::kReply && channel.group == group &&
        (!latest || connection->openedSeq > latest->openedSeq))
      latest = connection.get();
  }
  return latest;
}

void UnitDaemon::Send(Connection& connection, std::string message) {
  if (connection.closed) return;
  if (connection.outBytes + message.size() > kMaxQueuedBytes) {
    if (connection.channel) m_log.AddEvent(ReplyChannelName(connection.channel->group), "reply dropped: reader not reading");
    return;
  }
  connection.outBytes += message.size();
  connection.out.push_back(std::move(message));
  Flush(connection);
}

void UnitDaemon::Flush(Connection& connection) {
  while (!connection.out.empty()) {
    std::string& message = connection.out.front();
    const ssize_t sent = ::send(connection.fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && IsTransient(errno)) return;
    if (sent < 0 && errno != EMSGSIZE) {
      Close(connection);
      return;
    }
    // A stream may take part of it; the rest goes when there is room again.
    if (connection.stream && std::size_t(sent) < message.size()) {
      message.erase(0, std::size_t(sent));
      connection.outBytes -= std::size_t(sent);
      return;
    }
    // Sent, or too long for any socket buffer: either way it leaves the queue.
    connection.outBytes -= message.size();
    connection.out.pop_front();
  }
  if (connection.closeWhenSent) Close(connection);
}

void UnitDaemon::Close(Connection& connection) {
  if (connection.closed) return;
  connection.closed = true;
  ::close(connection.fd);
  connection.out.clear();
  connection.outBytes = 0;
  if (connection.kind != Connection::Kind::kChannel) return;
  m_log.AddEvent(std::string(connection.channel->name), "closed");
  if (connection.transfer)
    if (auto outcome = connection.transfer->Close()) OnPackage(std::move(*outcome));
}

void UnitDaemon::SetPlugged(bool plugged) {
  m_replugAt.reset();
  if (m_state.IsPlugged() != plugged) {
    m_state.SetPlugged(plugged);
    m_dirty = true;
  }
  if (!plugged) CloseAllChannels();
}

void UnitDaemon::RestartAfterFirmware() {
  m_replugAt = Clock::now() + kFirmwareRestart;
  CloseAllChannels();
}

void UnitDaemon::CloseAllChannels() {
  for (const auto& connection : m_connections)
    if (connection->kind == Connection::Kind::kChannel) Close(*connection);
  m_pendingReplies.clear();
}

void UnitDaemon::Save() {
  m_dirty = false;
  if (m_statePath.empty()) return;
  // QSaveFile writes a new file and renames it over the old one: a reader never sees half.
  QSaveFile file(QString::fromStdString(m_statePath));
  if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(m_state.ToJson()).toJson()) < 0 ||
      !file.commit())
    std::fprintf(stderr, "v770-unit: cannot save the state to %s: %s\n", m_statePath.c_str(),
                 file.errorString().toLocal8Bit().constData());
}
