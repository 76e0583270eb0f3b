#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unitsim/ChannelStreamSplitter.h"
#include "unitsim/CommandLog.h"
#include "unitsim/PackageReceiver.h"
#include "unitsim/UnitChannels.h"
#include "unitsim/UnitState.h"

// The emulated unit: one process, one state, any number of clients on one SOCK_SEQPACKET
// socket, and on a TCP port on loopback when asked (for the unit library built for
// Windows). Single-threaded around poll(); every socket is non-blocking, so a client that
// stops reading only fills its own queue and never holds the others up.
class UnitDaemon {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr auto kFirmwareRestart = std::chrono::milliseconds(2000);
  static constexpr std::size_t kMaxMessageSize = 64 * 1024;
  // Messages taken from one channel before the others get their turn.
  static constexpr int kMessagesPerTurn = 64;
  // Replies queued for a reader that does not read; beyond this they are dropped.
  static constexpr std::size_t kMaxQueuedBytes = 1024 * 1024;
  static constexpr int kListenBacklog = 64;
  // How long new clients wait when the process has no descriptor left.
  static constexpr auto kAcceptPause = std::chrono::milliseconds(100);

  // statePath empty: the state lives in memory only.
  UnitDaemon(std::string socketPath, std::string statePath, UnitState state);
  ~UnitDaemon();
  UnitDaemon(const UnitDaemon&) = delete;
  UnitDaemon& operator=(const UnitDaemon&) = delete;

  // Binds the socket (taking over a stale one); false with the reason.
  bool Listen(std::string* error);
  // Also listens on TCP at host:port, a loopback address (port 0: any free port); false
  // with the reason.
  bool ListenTcp(const std::string& host, int port, std::string* error);
  // The TCP port listened on; 0 when none.
  int TcpPort() const;
  // Serves until RequestStop (also on SIGINT / SIGTERM).
  void Run();
  static void RequestStop();

 private:
  struct Connection {
    enum class Kind { kRequest, kChannel };
    int fd = -1;
    Kind kind = Kind::kRequest;
    const UnitChannelInfo* channel = nullptr;
    std::uint64_t openedSeq = 0;
    std::deque<std::string> out;
    std::size_t outBytes = 0;
    bool closeWhenSent = false;
    bool closed = false;
    std::unique_ptr<PackageReceiver> transfer;
    // TCP: a byte stream. Requests are lines gathered in `inbox`; a channel's bytes are cut
    // into messages by `splitter`.
    bool stream = false;
    std::string inbox;
    std::unique_ptr<ChannelStreamSplitter> splitter;
  };
  struct PendingReply {
    Clock::time_point due;
    std::string_view group;
    std::string bytes;
  };

  bool Present() const;
  bool ReadingAllowed(Clock::time_point now) const;
  std::optional<Clock::time_point> NextWakeUp() const;

  void AcceptClients(int listenFd, bool stream);
  void ReadRequest(Connection& connection);
  void ReadRequestLine(Connection& connection);
  void ReadStream(Connection& connection);
  void OnChannelBytes(Connection& connection, std::string_view bytes);
  std::string Answer(Connection& connection, std::string_view request);
  std::string Control(std::string_view arguments);
  std::string StatusJson() const;

  void ReadChannel(Connection& connection);
  void OnChannelMessage(Connection& connection, const std::uint8_t* data, std::size_t size);
  void OnPackage(PackageOutcome outcome);

  void QueueReply(std::string_view group, std::string bytes);
  void DeliverDueReplies(Clock::time_point now);
  Connection* ReplyChannel(std::string_view group);
  void Send(Connection& connection, std::string message);
  void Flush(Connection& connection);
  void Close(Connection& connection);

  void SetPlugged(bool plugged);
  void RestartAfterFirmware();
  void CloseAllChannels();
  void Save();

  std::string m_socketPath;
  std::string m_statePath;
  UnitState m_state;
  CommandLog m_log;
  int m_listenFd = -1;
  int m_tcpListenFd = -1;
  std::vector<std::unique_ptr<Connection>> m_connections;
  std::deque<PendingReply> m_pendingReplies;
  std::vector<std::uint8_t> m_buffer;
  std::uint64_t m_openCount = 0;
  bool m_dirty = false;

  std::optional<Clock::time_point> m_replugAt;  // restarting after a firmware install
  Clock::time_point m_acceptPausedUntil{};
  Clock::time_point m_stallUntil{};
  Clock::time_point m_nextReadAt{};
  std::chrono::milliseconds m_replyDelay{0};
  long m_rateBytesPerSecond = 0;  // 0: unlimited
};
