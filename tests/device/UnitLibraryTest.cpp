#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cstring>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/SpeedUnitCommand.h"
#include "device/VersionQuery.h"
#include "unitsim/UnitProtocol.h"

// The workers' tasks over the unit library: a missing or foreign library, a unit that hands
// out no channels, no emulator (a socket file one left behind), an unplugged and a plugged unit.
TEST(UnitLibrary, WorkersOverEveryKindOfLibraryAndUnit) {
  enum Emulator { kNone, kUnplugged, kPlugged };
  const struct {
    const char* library;
    Emulator emulator;
    bool loaded, present;
    VersionQueryOutcome query;
    SpeedUnitOutcome speed;
  } cases[] = {{"libV770-no-such-library.so", kPlugged, false, false, VersionQueryOutcome::ChannelNotOpen, SpeedUnitOutcome::NotSent},
               {"libz.so.1", kPlugged, false, false, VersionQueryOutcome::ChannelNotOpen, SpeedUnitOutcome::NotSent},
               // open_dev finds a unit, open_file hands out handle 0: not open.
               {"libv770-zero-handle-unit.so", kNone, true, true, VersionQueryOutcome::ChannelNotOpen, SpeedUnitOutcome::NotSent},
               {"", kNone, true, false, VersionQueryOutcome::ChannelNotOpen, SpeedUnitOutcome::NotSent},
               {"", kUnplugged, true, false, VersionQueryOutcome::ChannelNotOpen, SpeedUnitOutcome::NotSent},
               {"", kPlugged, true, true, VersionQueryOutcome::ReplyReady, SpeedUnitOutcome::Sent}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.library) + " emulator " + std::to_string(c.emulator));
    QTemporaryDir nowhere;
    UnitEmulator unit;  // not started, it only keeps the environment as it was
    if (c.emulator == kNone) {
      const QByteArray path = nowhere.filePath("stale.sock").toLocal8Bit();
      sockaddr_un address{AF_UNIX, {}};
      std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
      const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
      ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
      ::close(fd);
      qputenv(UnitProtocol::kSocketEnv, address.sun_path);
    }
    ASSERT_TRUE(c.emulator == kNone || (unit.Start() && (c.emulator == kPlugged || unit.Client().Unplug())));
    LibraryNameScope scope(c.library);
    CUnitLibrary library;
    EXPECT_EQ(library.Load(), c.loaded);
    EXPECT_TRUE(c.loaded || (library.open_dev() == CUnitLibrary::kNoUnit && !IsChannelOpen(library.open_file("PIPE01Main"))));
    library.Free();
    EXPECT_FALSE(library.IsLoaded());
    const UnitProbe probe = ProbeUnit();
    EXPECT_EQ(probe.bLibraryLoaded, c.loaded);
    EXPECT_EQ(probe.bUnitPresent, c.present);

    // A unit the page saw absent is not asked.
    const bool answers = c.query == VersionQueryOutcome::ReplyReady;
    EXPECT_EQ(RunVersionQuery(false).outcome, answers ? VersionQueryOutcome::UnitNotConnected : c.query);
    EXPECT_EQ(RunSpeedUnitCommand(false, BuildSpeedUnitCommand(0), [](int) {}), SpeedUnitOutcome::NotSent);
    const VersionQueryResult result = RunVersionQuery(true);
    EXPECT_EQ(result.outcome, c.query);
    std::vector<int> sleeps;
    EXPECT_EQ(RunSpeedUnitCommand(true, BuildSpeedUnitCommand(1), [&](int ms) { sleeps.push_back(ms); }), c.speed);
    if (c.emulator == kNone) continue;
    EXPECT_EQ(result.reply, answers ? QByteArray::fromHex("0302030f0701050102030000") : QByteArray());
    EXPECT_EQ(ReceivedOn(unit, "PIPE00Main"), answers ? QList<QByteArray>{"$VER>"} : QList<QByteArray>{});
    // The speed unit travels as the selection's low byte and a zero, then the worker pauses.
    const bool sent = c.speed == SpeedUnitOutcome::Sent;
    EXPECT_EQ(ReceivedOn(unit, "PIPE00UNIT"), sent ? QList<QByteArray>{QByteArray("$P1<\x01\x00", 6)} : QList<QByteArray>{});
    EXPECT_EQ(sleeps, sent ? std::vector<int>{100} : std::vector<int>{});
  }
  EXPECT_EQ(BuildSpeedUnitCommand(0x1FE), QByteArray("$P1<\xFE\x00", 6));
}

TEST(VersionQuery, ReplyThatNeverComesEndsAsNoReply) {
  constexpr int kShortChannelTimeoutMs = 100;
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start());
  ASSERT_TRUE(unit.Client().ReplyDelay(60000));
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(RunVersionQuery(true, kShortChannelTimeoutMs).outcome, VersionQueryOutcome::NoReply);
  EXPECT_GE(clock.elapsed(), 11 * kShortChannelTimeoutMs - 50);  // eleven reads were tried
  EXPECT_LT(clock.elapsed(), 8000);

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
