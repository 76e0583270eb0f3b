// The link to the unit: its channel, the rules every exchange shares, the recovery transfer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <utility>
#include <vector>

#include "device/RecoveryTransfer.h"
#include "device/UnitExchange.h"
#include "device/UnitVersionInfo.h"
#include "device/VersionQuery.h"
#include "support/ScriptedChannel.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"

using namespace UnitExchange;

namespace {

QByteArray PackageOfSize(int size) {
  QByteArray file(size, '\0');
  for (int i = 0; i < size; ++i) file[i] = static_cast<char>(i * 7 + 3);
  return file;
}

constexpr int kShortTimeoutMs = 200;
// For a call that must time out: a loaded machine is slow, a blocking call never comes back.
constexpr qint64 kTimeoutCeilingMs = 5000;

struct SocketPair {  // connected record sockets, like the unit's channels
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

// Everything the main page shows and hands on, in one line.
QString Dump(const UnitVersionInfo& i) {
  return QStringList{i.strHWVersion, i.strFWVersion, QString::number(i.fUnitFWVersion), i.strDBArea,
                     QString::number(i.nUnitDBArea), i.strDBVersion, QString::number(i.nUnitDBVersion),
                     QString::number(i.nDBTestNumber), i.strVoiceVersion, QString::number(i.nUnitVoiceVersion),
                     QString::number(i.nUnitVoiceLanguage)}
      .join(u'|');
}

}  // namespace

TEST(FdChannel, OneWriteIsOneMessageCallsTimeOutAndDescriptorsCloseOnce) {
  SocketPair pair;
  const int fd = pair.fds[0];
  FdChannel writer(pair.Release(0), kShortTimeoutMs), reader(pair.Release(1), kShortTimeoutMs);
  TestSupport::Clock clock;
  EXPECT_FALSE(Read(reader));  // the peer never answers
  EXPECT_GE(clock.elapsed(), kShortTimeoutMs - 20);
  EXPECT_LT(clock.elapsed(), kTimeoutCeilingMs);
  for (const char* message : {"$VER>", "abcdefghijklmnop", "xyz"}) ASSERT_TRUE(Write(writer, message));
  EXPECT_EQ(Read(reader), QByteArray("$VER>"));
  // A message longer than the buffer is cut; its rest does not leak into the next read.
  EXPECT_EQ(Read(reader), QByteArray("abcdefghijkl"));
  EXPECT_EQ(Read(reader), QByteArray("xyz"));
  // A peer that is gone fails the calls at once, without killing the program (no SIGPIPE).
  // (One that stops reading fails a write in time: the command line's watchdog below.)
  reader.Close();
  clock.start();
  EXPECT_FALSE(Write(writer, "$P0<") || Read(writer));
  EXPECT_LT(clock.elapsed(), kShortTimeoutMs);
  writer.Close();
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  // A descriptor opened now may get the same number; a second Close must not touch it.
  SocketPair other;
  writer.Close();
  EXPECT_NE(::fcntl(other.fds[0], F_GETFD), -1);
  // Handles that were never open are neither used nor closed (0 is standard input).
  const int stdinFlagsBefore = ::fcntl(0, F_GETFD);
  for (ChannelHandle handle : {ChannelHandle{0}, ChannelHandle{-1}}) {
    FdChannel channel(handle, kShortTimeoutMs);
    EXPECT_FALSE(channel.IsOpen() || Write(channel, "$VER>") || Read(channel));
    channel.Close();
  }
  EXPECT_EQ(::fcntl(0, F_GETFD), stdinFlagsBefore);
}

// Writes and reads share one count: ten failed calls in all still complete, the 11th ends it.
TEST(RequestWithReply, FailuresAreCountedAcrossWriteAndRead) {
  const struct {
    int failWrites, failReads;
    bool answered;
    int writeCalls, readCalls;
  } cases[] = {{4, 6, true, 5, 7}, {0, 10, true, 1, 11}, {5, 6, false, 6, 6}, {100, 0, false, 11, 0}, {10, 100, false, 11, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.failWrites << "+" << c.failReads);
    ScriptedChannel write, read;
    write.FailFirst(c.failWrites);
    read.FailFirst(c.failReads);
    read.replies = {QByteArray("ABCDEFGHIJKL")};
    const auto reply = RequestWithReply(write, read, "$VER>", 12);
    EXPECT_EQ(reply, c.answered ? std::optional(QByteArray("ABCDEFGHIJKL")) : std::nullopt);
    EXPECT_EQ(std::pair(write.calls, read.calls), std::pair(c.writeCalls, c.readCalls));
    EXPECT_EQ(write.written, c.answered || c.failWrites < 11 ? QList<QByteArray>{"$VER>"} : QList<QByteArray>{});
  }
  // A reply shorter than the expected size is accepted unchanged, and not read again.
  ScriptedChannel write, read;
  read.replies = {QByteArray("\x05\x01\xff", 3)};
  EXPECT_EQ(RequestWithReply(write, read, "$PC>", 12), QByteArray("\x05\x01\xff", 3));
  EXPECT_EQ(read.calls, 1);
}

TEST(SendCommand, PausesOnlyAfterTheSuccessfulWrite) {
  for (int failures : {10, 11}) {
    ScriptedChannel channel;
    channel.FailFirst(failures);
    std::vector<int> sleeps;
    EXPECT_EQ(SendCommand(channel, QByteArray("$P1<\x01\x00", 6), [&](int ms) { sleeps.push_back(ms); }), failures < 11);
    EXPECT_EQ(channel.calls, 11);
    EXPECT_EQ(channel.written, failures < 11 ? QList<QByteArray>{QByteArray("$P1<\x01\x00", 6)} : QList<QByteArray>{});
    EXPECT_EQ(sleeps, failures < 11 ? std::vector<int>{kCommandPauseMs} : std::vector<int>{});
  }
}

// The header, then the payload from byte 1024 in chunks of 2048 bytes, with progress sent /
// step (a hundredth of the payload, at least 1); each write retried after its pause.
TEST(SendPackageFile, ChunksProgressRetriesAndGivingUp) {
  using enum TransferResult;
  constexpr int kAttempts = kTransferAttempts;
  const auto firstCalls = [](int n) { return std::function<bool(int)>([n](int call) { return call < n; }); };
  // The header goes (call 0); chunk 1 at once, chunk 2 after three retries, chunk 3 never.
  const auto chunk3Never = [](int call) { return (call >= 2 && call <= 4) || call >= 6; };
  const std::vector<int> headerPauses(kAttempts - 1, kHeaderRetryPauseMs),
      chunkPauses(kAttempts + 2, kChunkRetryPauseMs);
  const struct {
    int size;
    std::function<bool(int call)> fails;
    TransferResult result;
    std::vector<int> chunks;  // that went out after the header
    std::vector<unsigned> progress;
    std::vector<int> sleeps;
    int calls;
  } cases[] = {
      {1124, {}, Done, {100}, {100}, {}, 2},  // step 1 (2, 20 and empty payloads: the update run's tests)
      {1024 + 10000, {}, Done, {2048, 2048, 2048, 2048, 1808}, {20, 40, 61, 81, 100}, {}, 6},
      {1124, firstCalls(kAttempts - 1), Done, {100}, {100}, headerPauses, kAttempts + 1},
      {1124, firstCalls(kAttempts), HeaderFailed, {}, {}, headerPauses, kAttempts},
      {1024 + 3 * 2048, chunk3Never, ChunkFailed, {2048, 2048}, {33, 67}, chunkPauses, 6 + kAttempts},
      {1023, {}, FileTooShort, {}, {}, {}, 0},  // no payload offset: nothing written
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const QByteArray file = PackageOfSize(c.size);
    ScriptedChannel channel;
    channel.fails = c.fails;
    std::vector<unsigned> progress;
    std::vector<int> sleeps;
    const auto record = [](auto& values) { return [&values](auto value) { values.push_back(value); }; };
    EXPECT_EQ(SendPackageFile(channel, file, record(progress), record(sleeps)), c.result);
    QList<QByteArray> expected{file.left(20)};  // bytes 20..1023 never go out
    for (int at = 1024; const int chunk : c.chunks) {
      expected << file.mid(at, chunk);
      at += chunk;
    }
    const bool headerWent = c.result == Done || c.result == ChunkFailed;
    EXPECT_EQ(channel.written, headerWent ? expected : QList<QByteArray>{});
    EXPECT_EQ(progress, c.progress);
    EXPECT_EQ(sleeps, c.sleeps);
    EXPECT_EQ(channel.calls, c.calls);
  }
  EXPECT_EQ(TransferStep(100), 1u);  // no payload at all: no division by zero either
}

// The channel is closed whatever the outcome. Without a page to watch it, a unit that stops
// reading is given up after the silence limit, not after every write's 3002 tries.
TEST(RecoveryTransfer, EveryOutcomeClosesTheChannelAndTheCommandLineGivesAStalledUnitUp) {
  const QByteArray package(1024 + 2049, '\x5A');
  for (const auto& [listening, cancelled, outcome] : {std::tuple{true, false, RecoveryOutcome::Sent},
                                                      {false, false, RecoveryOutcome::Failed},
                                                      {true, true, RecoveryOutcome::Cancelled}}) {
    SocketPair pair;
    if (!listening) ::close(pair.Release(1));
    std::stop_source stop;
    if (cancelled) stop.request_stop();
    const int fd = pair.Release(0);
    EXPECT_EQ(SendRecoveryPackage({fd, package}, nullptr, [](int) {}, stop.get_token()), outcome);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << static_cast<int>(outcome);  // closed
  }
  for (ChannelHandle handle : {ChannelHandle(-1), ChannelHandle(0)})
    EXPECT_EQ(SendRecoveryPackage({handle, package}, nullptr), RecoveryOutcome::ChannelNotOpen);

  constexpr std::chrono::milliseconds kSilenceLimit{1000};
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start() && unit.Client().Stall(60000));
  TestSupport::Clock clock;
  EXPECT_EQ(SendRecoveryPackageWatched({ProbeRecoveryUnit().hPipe, PackageOfSize(2000000)}, nullptr, kSilenceLimit),
            RecoveryOutcome::Stalled);
  EXPECT_LT(clock.elapsed(), kSilenceLimit.count() + 2 * FdChannel::kDefaultTimeoutMs + 1000);
}

// (No unit, an unplugged and a plugged unit: the pages' tests.)
TEST(UnitLibrary, AMissingOrForeignLibraryIsNotLoadedAndAnswersNothing) {
  for (const char* name : {"libV770-no-such-library.so", "libz.so.1"}) {
    CUnitLibrary::SetLibraryNameForTesting(name);
    CUnitLibrary library;
    EXPECT_FALSE(library.Load() || ProbeUnit().bLibraryLoaded) << name;
    EXPECT_EQ(library.open_dev(), CUnitLibrary::kNoUnit);
    EXPECT_FALSE(IsChannelOpen(library.open_file("PIPE01Main")));
  }
  CUnitLibrary::SetLibraryNameForTesting({});
}

// Woken at once, not at its read's time-out (which the close test's 3 s would let pass).
TEST(VersionQuery, AStoppedQueryIsWokenFromItsWait) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start() && unit.Client().ReplyDelay(60000));
  std::stop_source stop;
  const std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop.request_stop();
  });
  TestSupport::Clock clock;
  EXPECT_EQ(RunVersionQuery(true, FdChannel::kDefaultTimeoutMs, stop.get_token()).outcome,
            VersionQueryOutcome::NoReply);
  EXPECT_LT(clock.elapsed(), FdChannel::kDefaultTimeoutMs / 2);
}

TEST(UnitVersionInfo, WhatTheReplyBytesSay) {
  // Area 5 twice: the first entry counts.
  const QList<VersionEntry> catalogue = {{0, "100412_Europe"}, {1, "100412_France"}, {5, "100405_UnitedKingdom"},
                                         {5, "100101_Shadowed"}, {6, "NoUnderscore"}};
  // area, db1, db2, db3, hardware, firmware major and minor, voice 1..3, unused, voice language
  const std::pair<std::array<std::int8_t, 12>, const char*> cases[] = {
      {{2, 2, 3, 15, 4, 1, 2, 1, 2, 3, 0, 1}, "v 4|v 1.2|1.2|Europe|2|v 100315|100315|10315|v 10203|10203|1"},
      // The firmware number is its text read as a decimal number: 1 and 10 give 1.1.
      {{3, 2, 0, 0, 0, 1, 10}, "v 0|v 1.10|1.1|France|3|v 100000|100000|1000|v 00000|0|0"},
      {{7, 2, 0, 0, 0, 5, 10}, "v 0|v 5.10|5.1|UnitedKingdom|7|v 100000|100000|1000|v 00000|0|0"},
      {{8, 2, 0, 0, 0, 3, -2}, "v 0|v 3.-2|3|NoUnderscore|8|v 100000|100000|1000|v 00000|0|0"},
      // Not in the catalogue: a text of its own, never another field's text.
      {{9, 2, 0, 0, 0, 1, 6}, "v 0|v 1.6|1.6|Area 9|9|v 100000|100000|1000|v 00000|0|0"},
      // A database number below zero fails the test: the device pages are not added.
      {{-3, -9, 3, 15}, "v 0|v 0.0|0|Area -3|-3|v -10315|-9685|-1315|v 00000|0|0"},
      {{2, 2, -3, 1}, "v 0|v 0.0|0|Europe|2|v 10-301|99701|10|v 00000|0|0"}};  // the number stops at "-"
  for (const auto& [reply, expected] : cases)
    EXPECT_EQ(Dump(UnitVersionInfo::FromReply(reply, catalogue)), QString::fromLatin1(expected)) << expected;
  // A reply shorter than the 12 bytes gives nothing.
  EXPECT_EQ(UnitVersionInfo::FromReply(std::array<std::int8_t, 4>{2, 2, 3, 15}, catalogue).strDBVersion, QString());
}
