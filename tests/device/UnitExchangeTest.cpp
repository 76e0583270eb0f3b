#include <gtest/gtest.h>

#include <vector>

#include "ScriptedChannel.h"
#include "device/UnitExchange.h"

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
      channel, file, [&](unsigned value) { run.progress.push_back(value); },
      [&](int ms) { run.sleeps.push_back(ms); });
  return run;
}

}  // namespace

TEST(RequestWithReply, TenFailedCallsInAllStillComplete) {
  ScriptedChannel write, read;
  write.failWrites = 4;
  read.failReads = 6;
  read.reply = QByteArray("ABCDEFGHIJKL");
  const auto reply = RequestWithReply(write, read, "$VER>", 12);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, QByteArray("ABCDEFGHIJKL"));
  ASSERT_EQ(write.written.size(), 1);
  EXPECT_EQ(write.written[0], QByteArray("$VER>"));  // no terminator
  EXPECT_EQ(read.lastReadSize, 12u);
  EXPECT_EQ(write.writeCalls + read.readCalls, 12);  // 10 failures + write + read
}

TEST(RequestWithReply, EleventhFailureEndsTheExchange) {
  // Writes and reads share the count: 5 + 6 failures are 11.
  ScriptedChannel write, read;
  write.failWrites = 5;
  read.failReads = 6;
  read.reply = QByteArray(12, 'x');
  EXPECT_FALSE(RequestWithReply(write, read, "$VER>", 12).has_value());
  EXPECT_EQ(read.readCalls, 6);

  // Eleven failed writes: nothing is ever read.
  ScriptedChannel write2, read2;
  write2.failWrites = 100;
  EXPECT_FALSE(RequestWithReply(write2, read2, "$VER>", 12).has_value());
  EXPECT_EQ(write2.writeCalls, 11);
  EXPECT_EQ(read2.readCalls, 0);

  // Ten failed writes, then a read that never succeeds: the first failed read ends it.
  ScriptedChannel write3, read3;
  write3.failWrites = 10;
  read3.failReads = 100;
  EXPECT_FALSE(RequestWithReply(write3, read3, "$VER>", 12).has_value());
  EXPECT_EQ(read3.readCalls, 1);
}

TEST(RequestWithReply, ShortReplyIsAcceptedUnchanged) {
  ScriptedChannel write, read;
  read.reply = QByteArray("\x05\x01\xff", 3);
  const auto reply = RequestWithReply(write, read, "$PC>", 12);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, QByteArray("\x05\x01\xff", 3));
  EXPECT_EQ(read.readCalls, 1);  // a short read is not repeated
}

TEST(SendCommand, PausesOnlyAfterTheSuccessfulWrite) {
  ScriptedChannel channel;
  channel.failWrites = 10;
  std::vector<int> sleeps;
  EXPECT_TRUE(SendCommand(channel, QByteArray("$P1<\x01\x00", 6), [&](int ms) { sleeps.push_back(ms); }));
  EXPECT_EQ(channel.writeCalls, 11);
  ASSERT_EQ(channel.written.size(), 1);
  EXPECT_EQ(channel.written[0], QByteArray("$P1<\x01\x00", 6));
  EXPECT_EQ(sleeps, std::vector<int>{kCommandPauseMs});

  ScriptedChannel failing;
  failing.failWrites = 11;
  sleeps.clear();
  EXPECT_FALSE(SendCommand(failing, "$P0<", [&](int ms) { sleeps.push_back(ms); }));
  EXPECT_EQ(failing.writeCalls, 11);
  EXPECT_TRUE(sleeps.empty());
}

TEST(TransferStep, HundredthOfThePayloadAtLeastOne) {
  EXPECT_EQ(TransferStep(1024), 1u);
  EXPECT_EQ(TransferStep(1124), 1u);
  EXPECT_EQ(TransferStep(1274), 2u);
  EXPECT_EQ(TransferStep(1024 + 10000), 100u);
  EXPECT_EQ(TransferStep(1024 + 10099), 100u);
  EXPECT_EQ(TransferStep(100), 1u);  // no payload at all: no division by zero either
}

TEST(SendPackageFile, SmallPackageGoesAsHeaderAndOneChunk) {
  const QByteArray file = PackageOfSize(1124);
  ScriptedChannel channel;
  const TransferRun run = Send(channel, file);
  EXPECT_EQ(run.result, TransferResult::Done);
  ASSERT_EQ(channel.written.size(), 2);
  EXPECT_EQ(channel.written[0], file.left(20));
  EXPECT_EQ(channel.written[1], file.mid(1024));  // bytes 20..1023 never go out
  EXPECT_EQ(run.progress, std::vector<unsigned>{100});
  EXPECT_TRUE(run.sleeps.empty());
}

TEST(SendPackageFile, PayloadIsCutInChunksOf2048) {
  ScriptedChannel exact;
  const QByteArray exactFile = PackageOfSize(1024 + 2048);
  EXPECT_EQ(Send(exact, exactFile).result, TransferResult::Done);
  ASSERT_EQ(exact.written.size(), 2);
  EXPECT_EQ(exact.written[1], exactFile.mid(1024));

  ScriptedChannel oneOver;
  const QByteArray overFile = PackageOfSize(1024 + 2049);
  const TransferRun run = Send(oneOver, overFile);
  EXPECT_EQ(run.result, TransferResult::Done);
  ASSERT_EQ(oneOver.written.size(), 3);
  EXPECT_EQ(oneOver.written[1], overFile.mid(1024, 2048));
  EXPECT_EQ(oneOver.written[2], overFile.mid(1024 + 2048));
  EXPECT_EQ(run.progress, (std::vector<unsigned>{102, 102}));  // step 20
}

TEST(SendPackageFile, ProgressEndsAt100FromTenThousandBytesAndAboveBelow) {
  ScriptedChannel big;
  const TransferRun bigRun = Send(big, PackageOfSize(1024 + 10000));
  EXPECT_EQ(bigRun.progress, (std::vector<unsigned>{20, 40, 61, 81, 100}));

  ScriptedChannel small;
  EXPECT_EQ(Send(small, PackageOfSize(1274)).progress, std::vector<unsigned>{125});
}

TEST(SendPackageFile, EmptyPayloadIsOneEmptyWrite) {
  ScriptedChannel channel;
  const TransferRun run = Send(channel, PackageOfSize(1024));
  EXPECT_EQ(run.result, TransferResult::Done);
  ASSERT_EQ(channel.written.size(), 2);
  EXPECT_TRUE(channel.written[1].isEmpty());
  EXPECT_EQ(run.progress, std::vector<unsigned>{0});
}

TEST(SendPackageFile, HeaderIsRetriedFiveMillisecondsApart) {
  ScriptedChannel patient;
  patient.failWrites = kTransferAttempts - 1;
  const TransferRun ok = Send(patient, PackageOfSize(1124));
  EXPECT_EQ(ok.result, TransferResult::Done);
  EXPECT_EQ(ok.sleeps, std::vector<int>(kTransferAttempts - 1, kHeaderRetryPauseMs));

  ScriptedChannel refusing;
  refusing.failWrites = kTransferAttempts;
  const TransferRun failed = Send(refusing, PackageOfSize(1124));
  EXPECT_EQ(failed.result, TransferResult::HeaderFailed);
  EXPECT_EQ(refusing.writeCalls, kTransferAttempts);
  EXPECT_TRUE(refusing.written.isEmpty());
  EXPECT_TRUE(failed.progress.empty());
}

TEST(SendPackageFile, ChunkIsRetriedOneMillisecondApartThenGivenUp) {
  // The header goes; chunk 1 at once, chunk 2 after three retries, chunk 3 never.
  ScriptedChannel channel;
  int chunkCalls = 0;
  channel.refuseWrite = [&](std::size_t size) {
    if (size == kHeaderSize) return false;
    ++chunkCalls;
    return (chunkCalls >= 2 && chunkCalls <= 4) || chunkCalls >= 6;
  };
  const TransferRun run = Send(channel, PackageOfSize(1024 + 3 * 2048));
  EXPECT_EQ(run.result, TransferResult::ChunkFailed);
  EXPECT_EQ(channel.written.size(), 3);  // header, chunks 1 and 2
  EXPECT_EQ(chunkCalls, 5 + kTransferAttempts);
  EXPECT_EQ(run.progress, (std::vector<unsigned>{33, 67}));  // step 61
  EXPECT_EQ(run.sleeps.size(), 3u + (kTransferAttempts - 1));
  for (int ms : run.sleeps) EXPECT_EQ(ms, kChunkRetryPauseMs);
}

TEST(SendPackageFile, FileShorterThanThePayloadOffsetIsRefused) {
  for (int size : {0, 19, 20, 1023}) {
    ScriptedChannel channel;
    const TransferRun run = Send(channel, PackageOfSize(size));
    EXPECT_EQ(run.result, TransferResult::FileTooShort) << size;
    EXPECT_EQ(channel.writeCalls, 0) << size;
    EXPECT_TRUE(run.progress.empty()) << size;
  }
}
