#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <memory>

#include "FakePoiChannel.h"
#include "poi/CBusyGuard.h"
#include "poi/PoiReadTask.h"
#include "poi/PoiWriteTask.h"
#include "support/TestSupport.h"

namespace {

QByteArray Record(int seed) {
  QByteArray bytes(12, '\0');
  for (int i = 0; i < 12; ++i) bytes[i] = static_cast<char>(seed * 13 + i + 1);
  return bytes;
}

QByteArray CountReply(int count) { return QByteArray(1, static_cast<char>(count)) + QByteArray("\x64\x00", 2); }

PoiRecord AsRecord(const QByteArray& bytes) {
  PoiRecord record;
  std::copy_n(bytes.constData(), 12, reinterpret_cast<char*>(record.bytes.data()));
  return record;
}

struct Pipes {
  std::shared_ptr<FakePoiChannel> command = std::make_shared<FakePoiChannel>();
  std::shared_ptr<FakePoiChannel> reply = std::make_shared<FakePoiChannel>();
  PoiChannels Channels() const { return {command, reply}; }

  // A unit holding `count` records: the count reply, then one reply per record.
  void Holding(int count, int announced) {
    reply->replies.append(CountReply(announced));
    for (int k = 0; k < count; ++k) reply->replies.append(Record(k));
  }
};

QList<QByteArray> Bytes(std::initializer_list<const char*> texts) {
  QList<QByteArray> list;
  for (const char* text : texts) list.append(QByteArray(text));
  return list;
}

}  // namespace

// ---- reading ----

TEST(PoiReadTask, ReadsTheCountThenEveryRecord) {
  Pipes pipes;
  pipes.Holding(3, 3);
  PoiRecordTable table;
  const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), true, table);
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_EQ(result.count, 3);
  EXPECT_EQ(pipes.command->written, Bytes({"$PC>", "$P6>"}));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(table.Slot(k), AsRecord(Record(k)));
  EXPECT_TRUE(table.Slot(3).IsEmpty());
}

TEST(PoiReadTask, NegativeOrZeroCountReadsNoRecord) {
  for (int announced : {0, 0x80, 0xFF}) {
    Pipes pipes;
    pipes.Holding(2, announced);
    PoiRecordTable table;
    const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), true, table);
    EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
    EXPECT_EQ(result.count, 0);
    EXPECT_EQ(pipes.reply->replies.size(), 2) << announced;  // no record read
    EXPECT_TRUE(table.Slot(0).IsEmpty());
  }
}

TEST(PoiReadTask, ShortRecordFillsTheFrontOfItsSlot) {
  Pipes pipes;
  pipes.reply->replies = {CountReply(1), QByteArray("\x01\x02\x03", 3)};
  PoiRecordTable table;
  table.Slot(0) = AsRecord(QByteArray(12, '\x55'));
  ASSERT_EQ(PoiReadTask::Run(pipes.Channels(), true, table).count, 1);
  EXPECT_EQ(table.Slot(0), AsRecord(QByteArray("\x01\x02\x03", 3) + QByteArray(9, '\x55')));
}

TEST(PoiReadTask, MoreRecordsThanSlotsAreReadAndTheSurplusDropped) {
  Pipes pipes;
  pipes.Holding(127, 127);
  PoiRecordTable table;
  const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), true, table);
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_EQ(result.count, PoiRecordTable::kSlotCount);
  EXPECT_EQ(result.announced, 127);
  EXPECT_TRUE(pipes.reply->replies.isEmpty());  // nothing left on the pipe for the next exchange
  EXPECT_EQ(table.Slot(99), AsRecord(Record(99)));
}

TEST(PoiReadTask, TenFailuresAreToleratedTheEleventhEndsIt) {
  {
    // Writes and reads before the records share one count: 6 + 4 = 10.
    Pipes pipes;
    pipes.Holding(1, 1);
    pipes.command->fails = [](int call) { return call < 6; };
    pipes.reply->fails = [](int call) { return call < 4; };
    PoiRecordTable table;
    EXPECT_EQ(PoiReadTask::Run(pipes.Channels(), true, table).count, 1);
  }
  {
    Pipes pipes;
    pipes.Holding(1, 1);
    pipes.command->fails = [](int call) { return call >= 1 && call < 7; };  // "$P6>" fails 6 times
    pipes.reply->fails = [](int call) { return call < 5; };
    PoiRecordTable table;
    const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), true, table);
    EXPECT_EQ(result.outcome, PoiTaskOutcome::NoAnswer);
    EXPECT_EQ(result.count, 0);
  }
}

TEST(PoiReadTask, EachRecordGetsTenFailuresOfItsOwn) {
  // Read 0 is the count; then every record read fails ten times before it succeeds.
  const auto tenBeforeEach = [](int call) { return call >= 1 && (call - 1) % 11 < 10; };
  Pipes pipes;
  pipes.Holding(3, 3);
  pipes.reply->fails = tenBeforeEach;
  PoiRecordTable table;
  EXPECT_EQ(PoiReadTask::Run(pipes.Channels(), true, table).count, 3);

  Pipes failing;
  failing.Holding(3, 3);
  failing.reply->fails = [](int call) { return call >= 2; };  // the second record never comes
  EXPECT_EQ(PoiReadTask::Run(failing.Channels(), true, table).outcome, PoiTaskOutcome::NoAnswer);
  EXPECT_EQ(failing.reply->calls, 2 + 11);
}

TEST(PoiReadTask, UnconnectedUnitIsNotAsked) {
  Pipes pipes;
  pipes.Holding(2, 2);
  PoiRecordTable table;
  const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), false, table);
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(pipes.command->calls + pipes.reply->calls, 0);
}

TEST(PoiReadTask, PipesNotOpen) {
  Pipes pipes;
  PoiRecordTable table;
  EXPECT_EQ(PoiReadTask::Run({pipes.command, nullptr}, true, table).outcome, PoiTaskOutcome::HandlesNotOpen);
  pipes.reply->Close();
  EXPECT_EQ(PoiReadTask::Run(pipes.Channels(), true, table).outcome, PoiTaskOutcome::HandlesNotOpen);
  EXPECT_EQ(pipes.command->calls, 0);
}

TEST(PoiReadTask, BusyWhileItTalksToTheUnit) {
  Pipes pipes;
  pipes.Holding(1, 1);
  bool busyDuringCall = false;
  pipes.command->onCall = [&] { busyDuringCall = CBusyGuard::IsBusy(); };
  PoiRecordTable table;
  ASSERT_FALSE(CBusyGuard::IsBusy());
  PoiReadTask::Run(pipes.Channels(), true, table);
  EXPECT_TRUE(busyDuringCall);
  EXPECT_FALSE(CBusyGuard::IsBusy());
}

// ---- writing ----

namespace {

struct Recorder {
  QList<int> sleeps;
  UnitExchange::SleepFn Sleep() {
    return [this](int ms) { sleeps.append(ms); };
  }
};

PoiRecordTable NumberedTable() {
  PoiRecordTable table;
  for (int slot = 0; slot < PoiRecordTable::kSlotCount; ++slot) table.Slot(slot) = AsRecord(Record(slot));
  return table;
}

PoiWriteParams Params(int count, bool erasePending = false) {
  PoiWriteParams params;
  params.unitConnected = true;
  params.erasePending = erasePending;
  params.count = count;
  params.pacingMs = 7;
  return params;
}

}  // namespace

TEST(PoiWriteTask, WritesEachSlotPacedBeforeAndAfter) {
  Pipes pipes;
  Recorder recorder;
  const PoiRecordTable table = NumberedTable();
  const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), Params(3), table, recorder.Sleep());
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_EQ(result.written, 3);
  EXPECT_FALSE(result.eraseSent);
  ASSERT_EQ(pipes.command->written.size(), 3);
  for (int slot = 0; slot < 3; ++slot) {
    const QByteArray& command = pipes.command->written[slot];
    ASSERT_EQ(command.size(), 17);
    EXPECT_EQ(command.left(4), QByteArray("$P8<"));
    EXPECT_EQ(command[4], static_cast<char>(slot));
    EXPECT_EQ(command.mid(5), Record(slot));
  }
  EXPECT_EQ(recorder.sleeps, QList<int>(6, 7));
  EXPECT_EQ(pipes.reply->calls, 0);  // nothing is read back
}

TEST(PoiWriteTask, EveryRetryWaitsFirst) {
  Pipes pipes;
  pipes.command->fails = [](int call) { return call < 2; };
  Recorder recorder;
  ASSERT_EQ(PoiWriteTask::Run(pipes.Channels(), Params(1), NumberedTable(), recorder.Sleep()).written, 1);
  EXPECT_EQ(recorder.sleeps.size(), 3 + 1);
}

TEST(PoiWriteTask, OneFailureCountForTheWholeRun) {
  {
    // Ten failures spread over the records: still done.
    Pipes pipes;
    pipes.command->fails = [](int call) { return call % 3 == 0 && call < 30; };
    const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), Params(20), NumberedTable(), [](int) {});
    EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
    EXPECT_EQ(result.written, 20);
  }
  {
    Pipes pipes;
    // One record more: its write meets the 11th failure.
    pipes.command->fails = [](int call) { return call % 3 == 0 && call < 33; };
    const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), Params(21), NumberedTable(), [](int) {});
    EXPECT_EQ(result.outcome, PoiTaskOutcome::NoAnswer);
    EXPECT_EQ(result.written, 20);
  }
}

TEST(PoiWriteTask, UnitGoneHalfWayEndsTheRun) {
  Pipes pipes;
  pipes.command->fails = [](int call) { return call >= 4; };
  const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), Params(10), NumberedTable(), [](int) {});
  EXPECT_EQ(result.outcome, PoiTaskOutcome::NoAnswer);
  EXPECT_EQ(result.written, 4);
  EXPECT_EQ(pipes.command->calls, 4 + 11);
}

TEST(PoiWriteTask, PendingEraseSendsOnlyTheEraseCommand) {
  Pipes pipes;
  Recorder recorder;
  const PoiWriteResult result =
      PoiWriteTask::Run(pipes.Channels(), Params(5, true), NumberedTable(), recorder.Sleep());
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_TRUE(result.eraseSent);
  EXPECT_EQ(pipes.command->written, Bytes({"$P0<"}));
  EXPECT_EQ(recorder.sleeps, QList<int>{7});

  Pipes failing;
  failing.command->fails = [](int) { return true; };
  const PoiWriteResult gaveUp = PoiWriteTask::Run(failing.Channels(), Params(5, true), NumberedTable(), [](int) {});
  EXPECT_EQ(gaveUp.outcome, PoiTaskOutcome::NoAnswer);
  EXPECT_TRUE(gaveUp.eraseSent);  // the flag is cleared all the same
  EXPECT_EQ(failing.command->calls, 11);
}

TEST(PoiWriteTask, UnconnectedUnitKeepsThePendingErase) {
  Pipes pipes;
  PoiWriteParams params = Params(5, true);
  params.unitConnected = false;
  const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), params, NumberedTable(), [](int) {});
  EXPECT_EQ(result.outcome, PoiTaskOutcome::Done);
  EXPECT_FALSE(result.eraseSent);
  EXPECT_EQ(pipes.command->calls, 0);
}

TEST(PoiWriteTask, NeverWritesPastTheTable) {
  Pipes pipes;
  const PoiWriteResult result = PoiWriteTask::Run(pipes.Channels(), Params(150), NumberedTable(), [](int) {});
  EXPECT_EQ(result.written, PoiRecordTable::kSlotCount);
  EXPECT_EQ(pipes.command->written.last()[4], static_cast<char>(99));
}

TEST(PoiWriteTask, PipesNotOpen) {
  Pipes pipes;
  pipes.command->Close();
  EXPECT_EQ(PoiWriteTask::Run(pipes.Channels(), Params(1), NumberedTable(), [](int) {}).outcome,
            PoiTaskOutcome::HandlesNotOpen);
  EXPECT_EQ(pipes.command->calls, 0);
}

// ---- worker threads ----

TEST(PoiTaskThreads, ReportArrivesOnTheUserInterfaceThread) {
  Pipes pipes;
  pipes.Holding(2, 2);
  PoiRecordTable table;
  QObject receiver;
  bool reported = false;
  QThread* reportThread = nullptr;
  bool workedOffTheUiThread = false;
  pipes.command->onCall = [&] { workedOffTheUiThread = QThread::currentThread() != qApp->thread(); };
  PoiReadTask::Start(pipes.Channels(), true, &table, &receiver, [&](const PoiReadResult& result) {
    reported = result.count == 2;
    reportThread = QThread::currentThread();
  });
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return reported; }, 5000));
  EXPECT_EQ(reportThread, qApp->thread());
  EXPECT_TRUE(workedOffTheUiThread);
}

TEST(PoiTaskThreads, ReportToAReceiverThatIsGoneIsDropped) {
  Pipes pipes;
  PoiRecordTable table;
  bool reported = false;
  auto receiver = std::make_unique<QObject>();
  QPointer<QThread> thread = PoiWriteTask::Start(pipes.Channels(), Params(2), &table, receiver.get(),
                                                 [&](const PoiWriteResult&) { reported = true; });
  receiver.reset();
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return thread.isNull(); }, 5000));  // finished and deleted
  QCoreApplication::processEvents();
  EXPECT_FALSE(reported);
  EXPECT_EQ(pipes.command->written.size(), 2);
}
