// The link's behaviour on demand: held replies, stalls, a slow link, and the control
// command's refusals.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>

#include "UnitSimTestBase.h"
#include "support/TestSupport.h"
#include "unitsim/PackageHeader.h"
#include "unitsim/UnitState.h"

class UnitSimLinkTest : public UnitSimTestBase {};

TEST_F(UnitSimLinkTest, ReplyDelayHoldsRepliesBack) {
  const auto reader = Open("PIPE01Main");
  const auto writer = Open("PIPE00Main");
  ASSERT_TRUE(unit.Client().ReplyDelay(800));
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));
  EXPECT_FALSE(TestUnitLink::Read(reader, kSilenceMs));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs).value_or("").size(), 12);
  EXPECT_GE(timer.elapsed(), 750);

  ASSERT_TRUE(unit.Client().ReplyDelay(0));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs).value_or("").size(), 12);
}

TEST_F(UnitSimLinkTest, StallStopsReadingButNotTheControl) {
  const auto reader = Open("PIPE01Main");
  const auto writer = Open("PIPE00Main");
  const auto update = Open("PIPE00DB");
  // Timed from before the stall begins, so the lower bound below holds however late this
  // thread runs again after the control's answer.
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(unit.Client().Stall(1500));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));

  // The unit's side fills up and the writer's calls time out.
  const QByteArray chunk(2048, 'x');
  int accepted = 0;
  while (accepted < 1000 && TestUnitLink::Write(update, chunk, 50)) ++accepted;
  EXPECT_LT(accepted, 1000);
  // Meanwhile the unit answers its control and is on the bus.
  const qint64 askedAt = timer.elapsed();
  const QJsonObject status = unit.Status();
  if (askedAt < 1000) {
    EXPECT_GT(status["link"][u"stallMs"].toInt(), 0);
  }
  EXPECT_EQ(link.OpenDev(), 1);

  EXPECT_EQ(TestUnitLink::Read(reader, 5000).value_or("").size(), 12);
  EXPECT_GE(timer.elapsed(), 1400);
  EXPECT_TRUE(TestUnitLink::Write(update, chunk, kReplyTimeoutMs));
}

TEST_F(UnitSimLinkTest, RateLimitsHowFastTheUnitTakesData) {
  constexpr long kRate = 100'000;
  const auto file = PackageHeader::BuildFile(PackageHeader::kDatabase, 5, {2, 4, 12},
                                             std::vector<std::uint8_t>(150'000, 0x5A));
  const auto send = [&]() -> qint64 {
    const int before = int(Packages().size());
    QElapsedTimer timer;
    timer.start();
    const auto fd = Open("PIPE00DB");
    EXPECT_TRUE(TestUnitLink::SendPackage(fd, file));
    EXPECT_TRUE(WaitForPackage(before + 1)["installed"].toBool());
    CloseChannel(fd);
    return timer.elapsed();
  };

  ASSERT_TRUE(unit.Client().Rate(kRate));
  EXPECT_EQ(unit.Status()["link"][u"rateBytesPerSecond"].toInt(), kRate);
  const qint64 limited = send();
  EXPECT_GE(limited, 1200);  // 150 000 bytes at 100 000 a second

  ASSERT_TRUE(unit.Client().Rate(0));
  EXPECT_LT(send(), limited);
}

TEST_F(UnitSimLinkTest, ControlRefusesWhatItDoesNotKnow) {
  UnitSimClient& client = unit.Client();
  EXPECT_FALSE(client.Set("nofield", 1));
  EXPECT_NE(client.LastError().find("unknown field"), std::string::npos);
  EXPECT_FALSE(client.Set("area", 256));
  EXPECT_FALSE(client.Set("area", -129));
  EXPECT_TRUE(client.Set("area", -128));
  EXPECT_FALSE(client.Command("stall -5"));
  EXPECT_FALSE(client.Command("rate"));
  EXPECT_FALSE(client.Command("dance"));
  EXPECT_EQ(unit.Status()["version"][u"area"].toInt(), -128);

  QProcess ctl;
  ctl.start(TestSupport::BinPath("v770-unit"), {"ctl", "--socket", unit.SocketPath(), "status"});
  ASSERT_TRUE(ctl.waitForFinished(10000));
  EXPECT_EQ(ctl.exitCode(), 0);
  EXPECT_TRUE(QJsonDocument::fromJson(ctl.readAllStandardOutput()).object().contains("poi"));
  ctl.start(TestSupport::BinPath("v770-unit"), {"ctl", "--socket", unit.SocketPath(), "set", "bogus", "1"});
  ASSERT_TRUE(ctl.waitForFinished(10000));
  EXPECT_EQ(ctl.exitCode(), 1);
  EXPECT_TRUE(ctl.readAllStandardError().contains("unknown field"));

  ctl.start(TestSupport::BinPath("v770-unit"), {"--help"});
  ASSERT_TRUE(ctl.waitForFinished(10000));
  const QByteArray help = ctl.readAllStandardOutput();
  for (const auto& field : UnitState::Fields()) EXPECT_TRUE(help.contains(field.name)) << field.name;
}
