#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <thread>

#include "device/SpeedUnitCommand.h"
#include "device/UnitLibrary.h"
#include "device/VersionQuery.h"
#include "support/UnitEmulator.h"
#include "unitsim/UnitProtocol.h"

// The workers' tasks over the real unit library and a private emulated unit.

namespace {

constexpr int kShortChannelTimeoutMs = 100;
// Eleven timed-out reads of 100 ms, with room for a loaded machine.
constexpr qint64 kNoReplyCeilingMs = 8000;

QJsonObject Unit(bool plugged) {
  return {{"plugged", plugged},
          {"version", QJsonObject{{"area", 3}, {"db1", 2}, {"db2", 3}, {"db3", 15}, {"hwid", 7}, {"fwmajor", 1},
                                  {"fwminor", 10}, {"voice1", 1}, {"voice2", 2}, {"voice3", 3}, {"voicelang", 1}}}};
}

int ReceivedCount(UnitEmulator& unit, const char* channel) {
  int count = 0;
  for (const auto& entry : unit.Status()["log"].toObject()[channel].toArray())
    if (entry.toObject()["event"].toString() == "received") ++count;
  return count;
}

}  // namespace

TEST(VersionQuery, PluggedUnitAnswersWithItsTwelveBytes) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(Unit(true)));
  const VersionQueryResult result = RunVersionQuery(true);
  ASSERT_EQ(result.outcome, VersionQueryOutcome::ReplyReady) << unit.DaemonLog().constData();
  EXPECT_EQ(result.reply, QByteArray("\x03\x02\x03\x0f\x07\x01\x0a\x01\x02\x03\x00\x01", 12));
  EXPECT_EQ(ReceivedCount(unit, "PIPE00Main"), 1);
}

TEST(VersionQuery, ReplyThatNeverComesEndsAsNoReply) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(Unit(true)));
  ASSERT_TRUE(unit.Client().ReplyDelay(60000));
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(RunVersionQuery(true, kShortChannelTimeoutMs).outcome, VersionQueryOutcome::NoReply);
  EXPECT_GE(clock.elapsed(), 11 * kShortChannelTimeoutMs - 50);  // eleven reads were tried
  EXPECT_LT(clock.elapsed(), kNoReplyCeilingMs);

  // Asked to stop, the query gives up at its next call instead of after eleven full waits.
  std::stop_source stop;
  const std::jthread stopper([&stop] {
    QThread::msleep(kShortChannelTimeoutMs);
    stop.request_stop();
  });
  clock.restart();
  EXPECT_EQ(RunVersionQuery(true, FdChannel::kDefaultTimeoutMs, stop.get_token()).outcome,
            VersionQueryOutcome::NoReply);
  EXPECT_LT(clock.elapsed(), 2 * FdChannel::kDefaultTimeoutMs);
}

TEST(VersionQuery, UnitSeenAbsentIsNotAsked) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(Unit(true)));
  EXPECT_EQ(RunVersionQuery(false).outcome, VersionQueryOutcome::UnitNotConnected);
  EXPECT_EQ(ReceivedCount(unit, "PIPE00Main"), 0);
}

TEST(VersionQuery, UnpluggedUnitRefusesTheChannels) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(Unit(false)));
  const UnitProbe probe = ProbeUnit();
  EXPECT_TRUE(probe.bLibraryLoaded);
  EXPECT_FALSE(probe.bUnitPresent);
  EXPECT_EQ(RunVersionQuery(true).outcome, VersionQueryOutcome::ChannelNotOpen);
  EXPECT_EQ(RunSpeedUnitCommand(true, BuildSpeedUnitCommand(1), [](int) {}), SpeedUnitOutcome::NotSent);

  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_TRUE(ProbeUnit().bUnitPresent);
}

TEST(VersionQuery, NoEmulatorMeansNoUnit) {
  QTemporaryDir nowhere;
  UnitEmulator unit;  // not started: only keeps the environment as it was
  qputenv(UnitProtocol::kSocketEnv, nowhere.filePath("absent.sock").toLocal8Bit());
  const UnitProbe probe = ProbeUnit();
  EXPECT_TRUE(probe.bLibraryLoaded);
  EXPECT_FALSE(probe.bUnitPresent);
  EXPECT_EQ(RunVersionQuery(true).outcome, VersionQueryOutcome::ChannelNotOpen);
}

TEST(SpeedUnitCommandTask, CommandReachesTheUnitThenPauses) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(Unit(true)));
  std::vector<int> sleeps;
  EXPECT_EQ(RunSpeedUnitCommand(true, BuildSpeedUnitCommand(1), [&](int ms) { sleeps.push_back(ms); }),
            SpeedUnitOutcome::Sent);
  EXPECT_EQ(sleeps, std::vector<int>{100});
  EXPECT_TRUE(unit.WaitForStatus([](const QJsonObject& status) { return status["speedUnit"].toInt() == 1; }, 3000));

  EXPECT_EQ(RunSpeedUnitCommand(false, BuildSpeedUnitCommand(0), [](int) {}), SpeedUnitOutcome::NotSent);
  EXPECT_EQ(ReceivedCount(unit, "PIPE00UNIT"), 1);
}
