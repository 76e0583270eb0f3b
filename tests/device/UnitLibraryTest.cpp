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
#include "device/UnitVersionInfo.h"
#include "device/VersionQuery.h"
#include "support/UnitEmulator.h"
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

  // Asked to stop, the query is woken from its wait and gives up at once.
  std::stop_source stop;
  const std::jthread stopper([&stop] {
    QThread::msleep(kShortChannelTimeoutMs);
    stop.request_stop();
  });
  clock.restart();
  EXPECT_EQ(RunVersionQuery(true, FdChannel::kDefaultTimeoutMs, stop.get_token()).outcome,
            VersionQueryOutcome::NoReply);
  EXPECT_LT(clock.elapsed(), FdChannel::kDefaultTimeoutMs / 2);
}

namespace {

// Everything the main page shows and hands on, in one line.
QString Dump(const UnitVersionInfo& i) {
  return QStringList{i.strHWVersion, i.strFWVersion, QString::number(i.fUnitFWVersion), i.strDBArea,
                     QString::number(i.nUnitDBArea), i.strDBVersion, QString::number(i.nUnitDBVersion),
                     QString::number(i.nDBTestNumber), i.strVoiceVersion, QString::number(i.nUnitVoiceVersion),
                     QString::number(i.nUnitVoiceLanguage)}
      .join(u'|');
}

}  // namespace

TEST(UnitVersionInfo, WhatTheReplyBytesSay) {
  const QList<VersionEntry> catalogue = {{0, "100412_Europe"}, {1, "100412_France"}, {5, "100405_UnitedKingdom"},
                                         {5, "100101_Shadowed"}, {6, "NoUnderscore"}};
  // area, db1, db2, db3, hardware, firmware major and minor, voice 1..3, unused, voice language
  const std::pair<std::array<std::int8_t, 12>, const char*> cases[] = {
      {{2, 2, 3, 15, 4, 1, 2, 1, 2, 3, 0, 1}, "v 4|v 1.2|1.2|Europe|2|v 100315|100315|10315|v 10203|10203|1"},
      // The firmware number is its text read as a decimal number: 1 and 10 give 1.1.
      {{3, 2, 0, 0, 0, 1, 10}, "v 0|v 1.10|1.1|France|3|v 100000|100000|1000|v 00000|0|0"},
      {{7, 2, 0, 0, 0, 5, 10}, "v 0|v 5.10|5.1|UnitedKingdom|7|v 100000|100000|1000|v 00000|0|0"},  // first match
      {{8, 2, 0, 0, 0, 3, -2}, "v 0|v 3.-2|3|NoUnderscore|8|v 100000|100000|1000|v 00000|0|0"},
      // Not in the catalogue: a text of its own, never another field's text.
      {{9, 2, 0, 0, 0, 1, 6}, "v 0|v 1.6|1.6|Area 9|9|v 100000|100000|1000|v 00000|0|0"},
      // A database number below zero fails the test: the device pages are not added.
      {{-3, -9, 3, 15}, "v 0|v 0.0|0|Area -3|-3|v -10315|-9685|-1315|v 00000|0|0"},
      {{2, -8, 0, 0}, "v 0|v 0.0|0|Europe|2|v 00000|0|0|v 00000|0|0"},
      {{2, 2, -3, 1}, "v 0|v 0.0|0|Europe|2|v 10-301|99701|10|v 00000|0|0"}};  // the number stops at "-"
  for (const auto& [reply, expected] : cases)
    EXPECT_EQ(Dump(UnitVersionInfo::FromReply(reply, catalogue)), QString::fromLatin1(expected)) << expected;
  // A reply shorter than the 12 bytes gives nothing.
  EXPECT_EQ(UnitVersionInfo::FromReply(std::array<std::int8_t, 4>{2, 2, 3, 15}, catalogue).strDBVersion, QString());
}
