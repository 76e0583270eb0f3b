#include <memory>

#include "PoiTestSupport.h"
#include "poi/PoiReadTask.h"
#include "poi/PoiWriteTask.h"
#include "support/ScriptedChannel.h"

namespace {

using Fails = std::function<bool(int call)>;
constexpr int kPacingMs = 7;
constexpr PoiTaskOutcome kDone = PoiTaskOutcome::Done, kNoAnswer = PoiTaskOutcome::NoAnswer,
                         kNotKept = PoiTaskOutcome::NotKept;

QByteArray Record(int seed) {
  QByteArray bytes(12, '\0');
  for (int i = 0; i < 12; ++i) bytes[i] = static_cast<char>(seed * 13 + i + 1);
  return bytes;
}

QByteArray CountReply(int count) { return QByteArray(1, char(count)) + QByteArray("\x64\x00", 2); }

PoiRecord AsRecord(const QByteArray& twelveBytes) {
  PoiRecord record;
  std::copy_n(twelveBytes.constData(), 12, record.bytes.begin());
  return record;
}

// The two POI pipes of a unit holding `held` records that announces `announced`.
struct Pipes {
  explicit Pipes(int held = 0, int announced = 0) {
    reply->replies.append(CountReply(announced));
    for (int k = 0; k < held; ++k) reply->replies.append(Record(k));
  }
  PoiChannels Channels() const { return {command, reply}; }
  std::shared_ptr<ScriptedChannel> command = std::make_shared<ScriptedChannel>();
  std::shared_ptr<ScriptedChannel> reply = std::make_shared<ScriptedChannel>();
};

PoiWriteParams Params(int count, bool erasePending = false, int unitFilled = 0, bool connected = true) {
  return {connected, erasePending, count, unitFilled, kPacingMs};
}

}  // namespace

TEST(PoiReadTask, CountThenRecordsWithTheFailuresEachPartTolerates) {
  const Fails none;
  // The unit holds `held` records and announces `announced`; its pipes fail the calls picked.
  // (An empty unit, no unit connected and pipes not open: the POI page's steps.)
  const std::tuple<const char*, int, int, Fails, Fails, PoiTaskOutcome, int> cases[] = {
      {"three records", 3, 3, none, none, kDone, 3},
      {"negative count 0x80", 2, 0x80, none, none, kDone, 0},
      {"more than the table: all read, surplus dropped", 127, 127, none, none, kDone, 100},
      {"6 + 4 shared failures", 1, 1, [](int c) { return c < 6; }, [](int c) { return c < 4; }, kDone, 1},
      {"the 11th shared failure, at the $P6> write", 1, 1, [](int c) { return c >= 1 && c < 7; },
       [](int c) { return c < 5; }, kNoAnswer, 0},
      {"ten per record", 3, 3, none, [](int c) { return c > 0 && (c - 1) % 11 < 10; }, kDone, 3},
      {"the second record never comes", 3, 3, none, [](int c) { return c >= 2; }, kNoAnswer, 0},
  };
  for (const auto& [name, held, announced, commandFails, replyFails, outcome, count] : cases) {
    SCOPED_TRACE(name);
    Pipes pipes(held, announced);
    pipes.command->fails = commandFails;
    pipes.reply->fails = replyFails;
    PoiRecordTable table;
    const PoiReadResult result = PoiReadTask::Run(pipes.Channels(), true, table);
    EXPECT_EQ(std::pair(result.outcome, result.count), std::pair(outcome, count));
    for (int k = 0; k < count; ++k) EXPECT_EQ(table.Slot(k), AsRecord(Record(k))) << k;
    const int failures = pipes.command->failed + pipes.reply->failed;
    EXPECT_EQ(failures == 11, outcome == kNoAnswer);  // the 11th failed call ends the read
    if (outcome == kDone) {
      EXPECT_EQ(pipes.command->written, (QList<QByteArray>{"$PC>", "$P6>"}));
      // Exactly the announced records were taken: none is left for the next exchange.
      EXPECT_EQ(pipes.reply->replies.size(), held - std::max<int>(static_cast<std::int8_t>(announced), 0));
    }
  }
}

TEST(PoiWriteTask, SlotsPacedWithOneFailureCountForTheRunOrOnlyThePendingEraseThenTheUnitsCount) {
  // The calls of the command pipe that fail; the count the unit answers afterwards (-1: it
  // never does); the records the unit took and what it holds afterwards, as far as known.
  const Fails always = [](int) { return true; };
  const std::tuple<const char*, PoiWriteParams, Fails, int, PoiTaskOutcome, int, int> cases[] = {
      {"ten failures over the run", Params(20), [](int c) { return c % 3 == 0 && c < 30; }, 20, kDone, 20, 20},
      {"the 11th failure ends it", Params(21), [](int c) { return c % 3 == 0 && c < 33; }, 21, kNoAnswer, 20, 20},
      {"unit gone half-way", Params(10), [](int c) { return c >= 4; }, 10, kNoAnswer, 4, 4},
      {"never past the table", Params(150), {}, 100, kDone, 100, 100},
      {"slots the unit held above the rows are emptied", Params(2, false, 5), {}, 2, kDone, 5, 2},
      {"given up while emptying", Params(2, false, 5), [](int c) { return c >= 3; }, 2, kNoAnswer, 3, 5},
      {"unit not connected", Params(3, false, 5, false), {}, 3, kDone, 0, 5},
      {"pending erase, rows or not", Params(5, true, 8), {}, 0, kDone, 0, 0},
      {"erase given up (the flag goes all the same)", Params(5, true, 8), always, 0, kNoAnswer, 0, 8},
      {"erase kept while no unit is connected", Params(5, true, 8, false), {}, 0, kDone, 0, 8},
      // Writes are never answered: only the count after them tells what the unit took.
      {"a unit that kept fewer (pulled out before it read them)", Params(3), {}, 2, kNotKept, 3, 3},
      {"an erase the unit did not take", Params(0, true, 4), {}, 4, kNotKept, 0, 0},
      {"the count never comes", Params(3), {}, -1, kNoAnswer, 3, 3},
  };
  PoiRecordTable table;
  for (int slot = 0; slot < PoiRecordTable::kSlotCount; ++slot) table.Slot(slot) = AsRecord(Record(slot));
  for (const auto& [name, params, fails, unitCount, outcome, written, unitFilled] : cases) {
    SCOPED_TRACE(name);
    Pipes pipes;
    pipes.reply->replies = unitCount < 0 ? QList<QByteArray>{} : QList{CountReply(unitCount)};
    pipes.command->fails = fails;
    QList<int> sleeps;
    const auto result = PoiWriteTask::Run(pipes.Channels(), params, table, [&](int ms) { sleeps << ms; });
    const bool erasing = params.erasePending && params.unitConnected;
    EXPECT_EQ(std::tuple(result.outcome, result.written, result.unitFilled, result.eraseSent),
              std::tuple(outcome, written, unitFilled, erasing));
    EXPECT_EQ(pipes.command->failed + pipes.reply->failed == 11, outcome == kNoAnswer);
    // Everything went out, then the count was asked once and read.
    const bool asked = pipes.reply->calls > 0;
    EXPECT_EQ(asked, params.unitConnected && (outcome != kNoAnswer || unitCount < 0));
    QList<QByteArray> sent = pipes.command->written;
    EXPECT_EQ(asked ? sent.takeLast() : "$PC>", "$PC>");
    if (erasing) {
      // Only "$P0<", retried at once, then one pause: nothing else this run.
      EXPECT_EQ(sent, QList<QByteArray>{"$P0<"}.mid(0, asked));
      EXPECT_EQ(sleeps.size(), asked ? 1 : 0);
      continue;
    }
    ASSERT_EQ(sent.size(), written);
    for (int slot = 0; slot < written; ++slot) {
      const QByteArray record = slot < params.count ? Record(slot) : QByteArray(12, '\0');
      EXPECT_EQ(sent[slot], "$P8<" + QByteArray(1, char(slot)) + record) << slot;
    }
    // A pause before every attempt and after every record the unit took.
    EXPECT_EQ(sleeps.size(), pipes.command->calls - asked + written);
  }
}
