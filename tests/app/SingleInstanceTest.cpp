#include <gtest/gtest.h>

#include <QJsonObject>
#include <QThread>

#include "support/ProgramProcess.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"

using TestSupport::WaitUntil;

namespace {
// Start, the short splash of a computer without network, one poll, the 1.5 s wait and the
// answer, on a loaded machine.
constexpr int kIdentifiedTimeoutMs = 20000;
// Long enough for a program that did start to have asked the unit.
constexpr int kWouldHaveAskedMs = 4000;

qsizetype VersionQueries(UnitEmulator& unit) { return ReceivedOn(unit, QStringLiteral("PIPE00Main")).size(); }
}  // namespace

// A program that crashed leaves its lock behind; the next start takes it over, and a start
// while that one runs hands over and ends without talking to the unit.
TEST(OneProgram, CrashedProgramDoesNotBlockAndSecondStartHandsOver) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(QJsonObject{{"plugged", true}}));
  qputenv("V770_INTERNET", "0");
  ProgramProcess programs;
  ASSERT_TRUE(programs.IsValid());

  QProcess& crashed = programs.Start();
  ASSERT_TRUE(WaitUntil([&] { return VersionQueries(unit) == 1; }, kIdentifiedTimeoutMs));
  crashed.kill();
  ASSERT_TRUE(crashed.waitForFinished());

  QProcess& running = programs.Start();
  ASSERT_TRUE(WaitUntil([&] { return VersionQueries(unit) == 2; }, kIdentifiedTimeoutMs))
      << "the lock of the crashed program blocked the next start";

  QProcess& second = programs.Start();
  ASSERT_TRUE(second.waitForFinished(kIdentifiedTimeoutMs));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0) << "the running program did not answer";
  QThread::msleep(kWouldHaveAskedMs);
  EXPECT_EQ(VersionQueries(unit), 2) << "two programs talked to the unit";
  EXPECT_EQ(running.state(), QProcess::Running);
  qunsetenv("V770_INTERNET");
}
