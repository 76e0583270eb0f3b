#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QThread>
#include <functional>

#include "support/ProgramProcess.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"

using TestSupport::WaitUntil;

namespace {
constexpr int kCloseLimitMs = 3000;
// Start, the short splash of a computer without network, one poll and the 1.5 s wait.
constexpr int kOperationStartTimeoutMs = 20000;
constexpr int kAnswerSettleMs = 1500;

// One state of the running program: how the unit is set up before the start, and when the
// program is in that state.
struct CloseCase {
  const char* name;
  std::function<void(UnitEmulator&)> prepare;
  std::function<bool(UnitEmulator&)> reached;
};

const CloseCase kCloseCases[] = {
    {"IdleWithUnit", [](UnitEmulator&) {},
     [](UnitEmulator& unit) {
       if (ReceivedOn(unit, "PIPE00Main").isEmpty()) return false;
       QThread::msleep(kAnswerSettleMs);
       return true;
     }},
    {"WhileTheUnitIsAsked", [](UnitEmulator& unit) { unit.Client().ReplyDelay(60000); },
     [](UnitEmulator& unit) { return !ReceivedOn(unit, "PIPE00Main").isEmpty(); }},
};

class CloseTest : public ::testing::TestWithParam<CloseCase> {};

// The desktop ending the program is the close box: in every state the program stops its
// workers and ends with status 0 within 3 s.
TEST_P(CloseTest, EndsWithStatusZeroWithinThreeSeconds) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(QJsonObject{{"plugged", true}}));
  GetParam().prepare(unit);
  qputenv("V770_INTERNET", "0");
  qputenv("V770_MESSAGE_ANSWER", "yes");
  ProgramProcess programs;
  ASSERT_TRUE(programs.IsValid());
  QProcess& program = programs.Start();
  qunsetenv("V770_INTERNET");
  qunsetenv("V770_MESSAGE_ANSWER");
  ASSERT_TRUE(WaitUntil([&] { return GetParam().reached(unit); }, kOperationStartTimeoutMs));

  QElapsedTimer clock;
  clock.start();
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(kCloseLimitMs)) << "still running after " << clock.elapsed() << " ms";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(States, CloseTest, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace
