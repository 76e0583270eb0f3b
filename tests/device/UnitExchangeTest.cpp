// The channel the unit's exchanges run over, and the rules every exchange shares.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <utility>
#include <vector>

#include "device/UnitExchange.h"
#include "support/ScriptedChannel.h"

using namespace UnitExchange;

namespace {

QByteArray PackageOfSize(int size) {
  QByteArray file(size, '\0');
  for (int i = 0; i < size; ++i) file[i] = static_cast<char>(i * 7 + 3);
  return file;
}

struct TransferRun {
  TransferResult result{};
  std::vector<unsigned> progress;
  std::vector<int> sleeps;
};

TransferRun Send(ScriptedChannel& channel, const QByteArray& file) {
  TransferRun run;
  run.result = SendPackageFile(
      channel, file, [&](unsigned value) { run.progress.push_back(value); }, [&](int ms) { run.sleeps.push_back(ms); });
  return run;
}

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

bool Write(FdChannel& channel, const QByteArray& bytes) {
  return channel.Write(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
}

// One read into a 12-byte buffer; nothing when the call failed.
std::optional<QByteArray> Read(FdChannel& channel) {
  std::uint8_t buffer[13] = {};
  std::size_t got = 99;
  const bool ok = channel.Read(buffer, 12, &got);
  EXPECT_TRUE(ok || got == 0);
  return ok ? std::optional(QByteArray(reinterpret_cast<char*>(buffer), qsizetype(got))) : std::nullopt;
}

}  // namespace

TEST(FdChannel, CallsTimeOutWhenThePeerNeverAnswersOrStopsReading) {
  SocketPair pair;
  FdChannel channel(pair.Release(0), kShortTimeoutMs);
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(Read(channel));
  EXPECT_GE(clock.elapsed(), kShortTimeoutMs - 20);
  EXPECT_LT(clock.elapsed(), kTimeoutCeilingMs);

  const QByteArray chunk(2048, 0x5A);
  bool lastResult = true;
  for (int i = 0; i < 100000 && lastResult; ++i) {
    clock.start();
    lastResult = Write(channel, chunk);
  }
  EXPECT_FALSE(lastResult);  // the socket filled up and the write gave up
  EXPECT_LT(clock.elapsed(), kTimeoutCeilingMs);
}

TEST(FdChannel, OneWriteIsOneMessage) {
  SocketPair pair;
  FdChannel writer(pair.Release(0), kShortTimeoutMs);
  FdChannel reader(pair.Release(1), kShortTimeoutMs);
  for (const char* message : {"$VER>", "abcdefghijklmnop", "xyz"}) ASSERT_TRUE(Write(writer, message));
  EXPECT_EQ(Read(reader), QByteArray("$VER>"));
  // A message longer than the buffer is cut; its rest does not leak into the next read.
  EXPECT_EQ(Read(reader), QByteArray("abcdefghijkl"));
  EXPECT_EQ(Read(reader), QByteArray("xyz"));
  // A peer that is gone fails the calls at once, without killing the program.
  writer.Close();
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(Write(reader, "$P0<"));  // no SIGPIPE
  EXPECT_FALSE(Read(reader));
  EXPECT_LT(clock.elapsed(), kShortTimeoutMs);
}

TEST(FdChannel, DescriptorsAreClosedOnceAndNotOpenHandlesNever) {
  const int stdinFlagsBefore = ::fcntl(0, F_GETFD);
  for (ChannelHandle handle : {ChannelHandle{0}, ChannelHandle{-1}}) {
    FdChannel channel(handle, kShortTimeoutMs);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_FALSE(Write(channel, "$VER>"));
    EXPECT_FALSE(Read(channel));
    channel.Close();
  }
  EXPECT_EQ(::fcntl(0, F_GETFD), stdinFlagsBefore);

  SocketPair pair;
  const int fd = pair.Release(0);
  FdChannel channel(fd, kShortTimeoutMs);
  EXPECT_TRUE(channel.IsOpen());
  channel.Close();
  EXPECT_FALSE(channel.IsOpen());
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  // A descriptor opened now may get the same number; a second Close must not touch it.
  SocketPair other;
  channel.Close();
  EXPECT_NE(::fcntl(other.fds[0], F_GETFD), -1);
}

// Writes and reads share one count: ten failed calls in all still complete, the 11th ends it.
TEST(RequestWithReply, FailuresAreCountedAcrossWriteAndRead) {
  const struct {
    int failWrites, failReads;
    bool answered;
    int writeCalls, readCalls;
  } cases[] = {{4, 6, true, 5, 7}, {0, 10, true, 1, 11}, {5, 6, false, 6, 6}, {100, 0, false, 11, 0}, {10, 100, false, 11, 1}};
  for (const auto& c : cases) {
    ScriptedChannel write, read;
    write.failNext = c.failWrites;
    read.failNext = c.failReads;
    read.replies = {QByteArray("ABCDEFGHIJKL")};
    const auto reply = RequestWithReply(write, read, "$VER>", 12);
    EXPECT_EQ(reply.has_value(), c.answered) << c.failWrites << "+" << c.failReads;
    EXPECT_EQ(reply.value_or("ABCDEFGHIJKL"), QByteArray("ABCDEFGHIJKL"));
    EXPECT_EQ(write.calls, c.writeCalls) << c.failWrites << "+" << c.failReads;
    EXPECT_EQ(read.calls, c.readCalls) << c.failWrites << "+" << c.failReads;
    EXPECT_EQ(write.written, c.answered || c.failWrites < 11 ? QList<QByteArray>{"$VER>"} : QList<QByteArray>{});
  }
  // A reply shorter than the expected size is accepted unchanged, and not read again.
  ScriptedChannel write, read;
  read.replies = {QByteArray("\x05\x01\xff", 3)};
  EXPECT_EQ(RequestWithReply(write, read, "$PC>", 12), QByteArray("\x05\x01\xff", 3));
  EXPECT_EQ(read.calls, 1);
  EXPECT_EQ(read.lastReadSize, 12u);
}

TEST(SendCommand, PausesOnlyAfterTheSuccessfulWrite) {
  for (int failures : {10, 11}) {
    ScriptedChannel channel;
    channel.failNext = failures;
    std::vector<int> sleeps;
    EXPECT_EQ(SendCommand(channel, QByteArray("$P1<\x01\x00", 6), [&](int ms) { sleeps.push_back(ms); }), failures < 11);
    EXPECT_EQ(channel.calls, 11);
    EXPECT_EQ(channel.written, failures < 11 ? QList<QByteArray>{QByteArray("$P1<\x01\x00", 6)} : QList<QByteArray>{});
    EXPECT_EQ(sleeps, failures < 11 ? std::vector<int>{kCommandPauseMs} : std::vector<int>{});
  }
}

// The header, then the payload from byte 1024 in chunks of at most 2048 bytes, with progress
// sent / step after each, the step being a hundredth of the payload and at least 1.
TEST(SendPackageFile, PayloadGoesInChunksWithProgress) {
  const struct {
    int size;
    std::vector<int> chunks;
    std::vector<unsigned> progress;
  } cases[] = {{1124, {100}, {100}},  // step 1 (steps of 2 and 20, and empty payloads: the update run's tests)
               {1024 + 2048, {2048}, {102}},
               {1024 + 10000, {2048, 2048, 2048, 2048, 1808}, {20, 40, 61, 81, 100}}};
  for (const auto& c : cases) {
    const QByteArray file = PackageOfSize(c.size);
    ScriptedChannel channel;
    const TransferRun run = Send(channel, file);
    EXPECT_EQ(run.result, TransferResult::Done) << c.size;
    QList<QByteArray> expected{file.left(20)};  // bytes 20..1023 never go out
    for (int at = 1024; const int chunk : c.chunks) {
      expected << file.mid(at, chunk);
      at += chunk;
    }
    EXPECT_EQ(channel.written, expected) << c.size;
    EXPECT_EQ(run.progress, c.progress) << c.size;
    EXPECT_TRUE(run.sleeps.empty()) << c.size;
  }
  for (int size : {0, 19, 20, 1023}) {  // no payload offset: no package, nothing written
    ScriptedChannel channel;
    const TransferRun run = Send(channel, PackageOfSize(size));
    EXPECT_EQ(run.result, TransferResult::FileTooShort) << size;
    EXPECT_EQ(channel.calls, 0) << size;
  }
  EXPECT_EQ(TransferStep(100), 1u);  // no payload at all: no division by zero either
}

TEST(SendPackageFile, EveryWriteIsRetriedWithItsPauseThenGivenUp) {
  ScriptedChannel patient;
  patient.failNext = kTransferAttempts - 1;
  const TransferRun ok = Send(patient, PackageOfSize(1124));
  EXPECT_EQ(ok.result, TransferResult::Done);
  EXPECT_EQ(ok.sleeps, std::vector<int>(kTransferAttempts - 1, kHeaderRetryPauseMs));

  ScriptedChannel refusing;
  refusing.failNext = kTransferAttempts;
  const TransferRun failed = Send(refusing, PackageOfSize(1124));
  EXPECT_EQ(failed.result, TransferResult::HeaderFailed);
  EXPECT_EQ(refusing.calls, kTransferAttempts);
  EXPECT_TRUE(failed.progress.empty());

  // The header goes; chunk 1 at once, chunk 2 after three retries, chunk 3 never.
  ScriptedChannel channel;
  channel.fails = [](int call) { return (call >= 2 && call <= 4) || call >= 6; };  // call 0 is the header
  const TransferRun run = Send(channel, PackageOfSize(1024 + 3 * 2048));
  EXPECT_EQ(run.result, TransferResult::ChunkFailed);
  EXPECT_EQ(channel.written.size(), 3);  // header, chunks 1 and 2
  EXPECT_EQ(channel.calls, 1 + 5 + kTransferAttempts);
  EXPECT_EQ(run.progress, (std::vector<unsigned>{33, 67}));  // step 61
  EXPECT_EQ(run.sleeps, std::vector<int>(3 + kTransferAttempts - 1, kChunkRetryPauseMs));
}
