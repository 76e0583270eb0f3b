#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <utility>
#include <vector>

#include "device/UnitChannel.h"

namespace {

constexpr int kShortTimeoutMs = 200;
// Generous upper bound for a call that must time out: a loaded machine may be slow, but a
// blocking call would never come back at all.
constexpr qint64 kTimeoutCeilingMs = 5000;

// A connected pair of record sockets, like the unit's channels.
struct SocketPair {
  int fds[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0); }
  ~SocketPair() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  int Release(int i) { return std::exchange(fds[i], -1); }
};

const std::uint8_t* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

}  // namespace

TEST(FdChannel, ReadTimesOutWhenThePeerNeverAnswers) {
  SocketPair pair;
  FdChannel channel(pair.Release(0), kShortTimeoutMs);
  std::uint8_t buffer[13] = {};
  std::size_t got = 99;
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(channel.Read(buffer, 12, &got));
  EXPECT_GE(clock.elapsed(), kShortTimeoutMs - 20);
  EXPECT_LT(clock.elapsed(), kTimeoutCeilingMs);
  EXPECT_EQ(got, 0u);
}

TEST(FdChannel, WriteTimesOutWhenThePeerStopsReading) {
  SocketPair pair;
  FdChannel channel(pair.Release(0), kShortTimeoutMs);
  const std::vector<std::uint8_t> chunk(2048, 0x5A);
  QElapsedTimer clock;
  bool lastResult = true;
  for (int i = 0; i < 100000 && lastResult; ++i) {
    clock.start();
    lastResult = channel.Write(chunk.data(), chunk.size());
  }
  EXPECT_FALSE(lastResult);  // the socket filled up and the write gave up
  EXPECT_LT(clock.elapsed(), kTimeoutCeilingMs);
}

TEST(FdChannel, OneWriteIsOneMessage) {
  SocketPair pair;
  FdChannel writer(pair.Release(0), kShortTimeoutMs);
  FdChannel reader(pair.Release(1), kShortTimeoutMs);
  ASSERT_TRUE(writer.Write(Bytes("$VER>"), 5));
  ASSERT_TRUE(writer.Write(Bytes("abcdefghijklmnop"), 16));
  ASSERT_TRUE(writer.Write(Bytes("xyz"), 3));

  std::uint8_t buffer[13] = {};
  std::size_t got = 0;
  ASSERT_TRUE(reader.Read(buffer, 12, &got));
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), static_cast<int>(got)), QByteArray("$VER>"));
  // A message longer than the buffer is cut; its rest does not leak into the next read.
  ASSERT_TRUE(reader.Read(buffer, 12, &got));
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), static_cast<int>(got)), QByteArray("abcdefghijkl"));
  ASSERT_TRUE(reader.Read(buffer, 12, &got));
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), static_cast<int>(got)), QByteArray("xyz"));
}

TEST(FdChannel, GonePeerFailsCallsWithoutKillingTheProgram) {
  SocketPair pair;
  FdChannel channel(pair.Release(0), kShortTimeoutMs);
  ::close(pair.Release(1));
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(channel.Write(Bytes("$P0<"), 4));  // no SIGPIPE
  std::uint8_t buffer[4];
  std::size_t got = 0;
  EXPECT_FALSE(channel.Read(buffer, sizeof buffer, &got));
  EXPECT_LT(clock.elapsed(), kShortTimeoutMs);  // a closed channel fails at once
}

TEST(FdChannel, NotOpenHandlesAreNeverUsedOrClosed) {
  const int stdinFlagsBefore = ::fcntl(0, F_GETFD);
  for (ChannelHandle handle : {ChannelHandle{0}, ChannelHandle{-1}}) {
    FdChannel channel(handle, kShortTimeoutMs);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_FALSE(channel.Write(Bytes("$VER>"), 5));
    std::uint8_t buffer[4];
    std::size_t got = 0;
    EXPECT_FALSE(channel.Read(buffer, sizeof buffer, &got));
    channel.Close();
  }
  EXPECT_EQ(::fcntl(0, F_GETFD), stdinFlagsBefore);
}

TEST(FdChannel, CloseClosesTheDescriptorOnce) {
  SocketPair pair;
  const int fd = pair.Release(0);
  FdChannel channel(fd, kShortTimeoutMs);
  EXPECT_TRUE(channel.IsOpen());
  channel.Close();
  EXPECT_FALSE(channel.IsOpen());
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  // A descriptor opened now may get the same number; a second Close must not touch it.
  SocketPair other;
  const int reused = other.fds[0];
  channel.Close();
  EXPECT_NE(::fcntl(reused, F_GETFD), -1);
}
