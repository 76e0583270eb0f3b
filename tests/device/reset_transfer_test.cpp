// The recovery transfer over a real descriptor: what reaches the unit's end, and that the
// channel is closed whatever the outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "device/RecoveryTransfer.h"

namespace {

// A record-keeping pair like the unit's channels: one write is one message.
struct SocketPair {
  SocketPair() { ok = ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) == 0; }
  ~SocketPair() {
    if (fds[1] >= 0) ::close(fds[1]);
  }
  std::vector<QByteArray> Drain() const {
    std::vector<QByteArray> messages;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT);
      if (got <= 0) break;
      messages.emplace_back(buffer, got);
    }
    return messages;
  }
  bool Open(int fd) const { return ::fcntl(fd, F_GETFD) != -1; }
  int fds[2] = {-1, -1};
  bool ok = false;
};

QByteArray Package(int payloadBytes) {
  QByteArray file(1024 + payloadBytes, '\0');
  file.replace(0, 4, "V7PK");
  for (int i = 0; i < payloadBytes; ++i) file[1024 + i] = char(i);
  return file;
}

const UnitExchange::SleepFn kNoPause = [](int) {};

TEST(RecoveryTransfer, SendsHeaderAndChunksThenClosesTheChannel) {
  SocketPair pair;
  ASSERT_TRUE(pair.ok);
  RecoveryTransfer transfer;
  transfer.hPipe = pair.fds[0];
  transfer.pBuffer = Package(2049);
  std::vector<unsigned> progress;
  EXPECT_EQ(SendRecoveryPackage(
                transfer, [&](unsigned value) { progress.push_back(value); }, kNoPause),
            RecoveryOutcome::Sent);
  EXPECT_FALSE(pair.Open(pair.fds[0]));

  const std::vector<QByteArray> messages = pair.Drain();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], transfer.pBuffer.left(20));
  EXPECT_EQ(messages[1], transfer.pBuffer.mid(1024, 2048));
  EXPECT_EQ(messages[2], transfer.pBuffer.mid(1024 + 2048));
  EXPECT_EQ(progress, (std::vector<unsigned>{102, 102}));  // step 20: 2048 / 20, 2049 / 20
}

TEST(RecoveryTransfer, UnitGoneFailsAndStillClosesTheChannel) {
  SocketPair pair;
  ASSERT_TRUE(pair.ok);
  ::close(pair.fds[1]);
  pair.fds[1] = -1;
  RecoveryTransfer transfer;
  transfer.hPipe = pair.fds[0];
  transfer.pBuffer = Package(100);
  EXPECT_EQ(SendRecoveryPackage(transfer, nullptr, kNoPause), RecoveryOutcome::Failed);
  EXPECT_FALSE(pair.Open(pair.fds[0]));
}

TEST(RecoveryTransfer, NoChannelIsToldApart) {
  for (ChannelHandle handle : {ChannelHandle(-1), ChannelHandle(0)}) {
    RecoveryTransfer transfer;
    transfer.hPipe = handle;
    transfer.pBuffer = Package(10);
    EXPECT_EQ(SendRecoveryPackage(transfer, nullptr, kNoPause), RecoveryOutcome::ChannelNotOpen);
  }
}

}  // namespace
