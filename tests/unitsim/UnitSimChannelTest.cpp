// The unit's command channels as the program meets them: version reply, speed unit, POI
// slots, which channels exist, unplugging, restarts.
#include <sys/socket.h>
#include <sys/un.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cstring>

#include "UnitSimTestBase.h"
#include "support/TestSupport.h"
#include "unitsim/PackageHeader.h"

namespace {

QByteArray PoiWrite(int slot, const QByteArray& record) { return "$P8<" + QByteArray(1, char(slot)) + record; }

QByteArray Record(char fill) {
  QByteArray record(12, fill);
  record[10] = 0x30;
  return record;
}

// The last message the unit logged as received on a channel.
QJsonObject LastReceived(const QJsonArray& log) {
  for (qsizetype i = log.size() - 1; i >= 0; --i)
    if (log[i][u"event"].toString() == "received") return log[i].toObject();
  return {};
}

QString LastNote(const QJsonArray& log) { return LastReceived(log)["note"].toString(); }

}  // namespace

class UnitSimChannelTest : public UnitSimTestBase {};

TEST_F(UnitSimChannelTest, VersionReplyCarriesTheTwelveStateBytesAndFollowsSet) {
  EXPECT_EQ(link.OpenDev(), 1);
  EXPECT_EQ(VersionReply(), FreshReplyWith());

  ASSERT_TRUE(unit.Client().Set("area", 5));
  ASSERT_TRUE(unit.Client().Set("db3", -3));
  ASSERT_TRUE(unit.Client().Set("voicelang", 1));
  const QByteArray expected = FreshReplyWith({{0, 5}, {3, 0xFD}, {11, 1}});
  EXPECT_EQ(VersionReply(), expected);

  const QJsonObject version = unit.Status()["version"].toObject();
  EXPECT_EQ(version["reply"].toString(), QString::fromLatin1(expected.toHex()));
  EXPECT_EQ(version["db3"].toInt(), -3);
  EXPECT_EQ(version["database"].toString(), "100297");

  EXPECT_EQ(LastReceived(Log("PIPE00Main"))["hex"].toString(), "245645523e");
}

TEST_F(UnitSimChannelTest, ReplyGoesToTheReadChannelOpenedLast) {
  const auto first = Open("PIPE01Main");
  const auto second = Open("PIPE01Main");
  const auto writer = Open("PIPE00Main");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  ASSERT_GT(writer, 0);

  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));
  EXPECT_EQ(TestUnitLink::Read(second, kReplyTimeoutMs).value_or(""), FreshReplyWith());
  EXPECT_FALSE(TestUnitLink::Read(first, kSilenceMs));

  CloseChannel(second);
  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));
  EXPECT_EQ(TestUnitLink::Read(first, kReplyTimeoutMs).value_or(""), FreshReplyWith());
}

TEST_F(UnitSimChannelTest, OnlyExactCommandsOfTheChannelAreAnswered) {
  const auto reader = Open("PIPE01Main");
  const auto writer = Open("PIPE00Main");
  ASSERT_GT(writer, 0);
  for (const QByteArray& wrong : {QByteArray("$VER"), QByteArray("$VER>\0", 6), QByteArray("$PC>")}) {
    ASSERT_TRUE(TestUnitLink::Write(writer, wrong));
    EXPECT_FALSE(TestUnitLink::Read(reader, kSilenceMs)) << wrong.toHex().constData();
  }
  EXPECT_TRUE(LastNote(Log("PIPE00Main")).startsWith("ignored"));
}

TEST_F(UnitSimChannelTest, SpeedUnitCommandSetsTheUnitAndRefusesOthers) {
  const auto writer = Open("PIPE00UNIT");
  ASSERT_GT(writer, 0);
  EXPECT_EQ(Open("PIPE01UNIT"), -1);

  ASSERT_TRUE(TestUnitLink::Write(writer, QByteArray::fromHex("2450313c0100")));
  EXPECT_TRUE(unit.WaitForStatus([](const QJsonObject& s) { return s["speedUnit"].toInt() == 1; }, kReplyTimeoutMs));

  // No selection (0xFF), a missing zero byte, a trailing byte too many: the unit keeps km/h or mph as it was.
  for (const char* hex : {"2450313cff00", "2450313c00", "2450313c000000"}) {
    ASSERT_TRUE(TestUnitLink::Write(writer, QByteArray::fromHex(hex)));
    EXPECT_TRUE(unit.WaitForStatus(
        [&](const QJsonObject& s) {
          return LastReceived(s["log"][u"PIPE00UNIT"].toArray())["hex"].toString() == hex;
        },
        kReplyTimeoutMs));
    EXPECT_TRUE(LastNote(Log("PIPE00UNIT")).startsWith("ignored")) << hex;
  }
  EXPECT_EQ(unit.Status()["speedUnit"].toInt(), 1);

  ASSERT_TRUE(TestUnitLink::Write(writer, QByteArray::fromHex("2450313c0000")));
  EXPECT_TRUE(unit.WaitForStatus([](const QJsonObject& s) { return s["speedUnit"].toInt() == 0; }, kReplyTimeoutMs));
}

TEST_F(UnitSimChannelTest, PoiSlotsAreStoredCountedReadBackAndErased) {
  const auto reader = Open("PIPE01POI");
  const auto writer = Open("PIPE00POI");
  ASSERT_GT(reader, 0);
  ASSERT_GT(writer, 0);
  const QByteArray first = Record(0x11), second = Record(0x22);

  ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(0, first)));
  ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(3, second)));
  ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(100, first)));           // beyond the 100 slots
  ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(5, first.left(11))));    // one byte short
  ASSERT_TRUE(TestUnitLink::Write(writer, "$PC>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 3).value_or(""), QByteArray::fromHex("026400"));

  // One message per stored record, in slot order.
  ASSERT_TRUE(TestUnitLink::Write(writer, "$P6>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 12).value_or(""), first);
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 12).value_or(""), second);
  EXPECT_FALSE(TestUnitLink::Read(reader, kSilenceMs));

  const QJsonObject poi = unit.Status()["poi"].toObject();
  EXPECT_EQ(poi["count"].toInt(), 2);
  const QJsonArray slotList = poi["slots"].toArray();
  ASSERT_EQ(slotList.size(), 100);
  EXPECT_EQ(slotList[0].toString(), QString::fromLatin1(first.toHex()));
  EXPECT_EQ(slotList[3].toString(), QString::fromLatin1(second.toHex()));
  EXPECT_EQ(slotList[5].toString(), QString(24, '0'));

  ASSERT_TRUE(TestUnitLink::Write(writer, "$P0<"));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$PC>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 3).value_or("").left(1), QByteArray(1, '\0'));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$P6>"));
  EXPECT_FALSE(TestUnitLink::Read(reader, kSilenceMs));
}

TEST_F(UnitSimChannelTest, PoiCapacityCanExceedTheProgramsTable) {
  ASSERT_TRUE(unit.Client().Set("poi-capacity", 127));
  EXPECT_FALSE(unit.Client().Set("poi-capacity", 128));
  const auto reader = Open("PIPE01POI");
  const auto writer = Open("PIPE00POI");
  for (int slot = 0; slot < 127; ++slot) ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(slot, Record(char(slot + 1)))));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$PC>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 3).value_or(""), QByteArray::fromHex("7f7f00"));

  // Shrinking drops the slots beyond.
  ASSERT_TRUE(unit.Client().Set("poi-capacity", 10));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$PC>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 3).value_or(""), QByteArray::fromHex("0a0a00"));
}

TEST_F(UnitSimChannelTest, UnknownChannelNamesAreRefused) {
  for (const char* name : {"PIPE01DB", "PIPE01RESET", "PIPE01UINT", "pipe00main", "PIPE00Main ", "", "PIPE00"})
    EXPECT_EQ(link.OpenFile(name), -1) << name;
  EXPECT_EQ(link.OpenFile(nullptr), -1);
  EXPECT_EQ(link.OpenFile(std::string(200, 'P').c_str()), -1);
  EXPECT_TRUE(unit.Status()["openChannels"].toArray().isEmpty());
}

TEST_F(UnitSimChannelTest, UnplugClosesEveryChannelAndHidesTheUnit) {
  std::vector<std::intptr_t> channels;
  for (const char* name : {"PIPE01Main", "PIPE00Main", "PIPE01POI", "PIPE00POI", "PIPE00UNIT", "PIPE00DB", "PIPE00RESET"}) {
    channels.push_back(Open(name));
    ASSERT_GT(channels.back(), 0) << name;
  }
  EXPECT_EQ(unit.Status()["openChannels"].toArray().size(), 7);

  ASSERT_TRUE(unit.Client().Unplug());
  for (std::intptr_t fd : channels) EXPECT_TRUE(TestUnitLink::WaitClosed(fd, kReplyTimeoutMs));
  EXPECT_FALSE(TestUnitLink::Write(channels[1], "$VER>", 200));
  EXPECT_EQ(link.OpenDev(), -1);
  EXPECT_EQ(link.OpenFile("PIPE00Main"), -1);
  const QJsonObject status = unit.Status();
  EXPECT_FALSE(status["plugged"].toBool());
  EXPECT_TRUE(status["openChannels"].toArray().isEmpty());

  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(link.OpenDev(), 1);
  EXPECT_EQ(VersionReply(), FreshReplyWith());
}

TEST_F(UnitSimChannelTest, ChannelOutlivesTheLibrary) {
  const auto reader = Open("PIPE01Main");
  const auto writer = Open("PIPE00Main");
  link.Unload();
  ASSERT_TRUE(TestUnitLink::Write(writer, "$VER>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs).value_or(""), FreshReplyWith());
}

TEST_F(UnitSimChannelTest, StateSurvivesARestart) {
  const auto poi = Open("PIPE00POI");
  const auto speed = Open("PIPE00UNIT");
  ASSERT_TRUE(TestUnitLink::Write(poi, PoiWrite(3, Record(0x33))));
  ASSERT_TRUE(TestUnitLink::Write(speed, QByteArray::fromHex("2450313c0100")));
  ASSERT_TRUE(unit.Client().Set("hwid", 9));
  ASSERT_TRUE(unit.WaitForStatus([](const QJsonObject& s) { return s["speedUnit"].toInt() == 1 && s["poi"][u"count"].toInt() == 1; },
                                 kReplyTimeoutMs));
  CloseChannel(poi);
  CloseChannel(speed);
  ASSERT_TRUE(unit.Client().Unplug());

  unit.Stop();
  // Whatever moment it stopped at, the file on disk is whole.
  QJsonParseError error;
  QJsonDocument::fromJson(TestSupport::ReadFile(unit.StatePath()), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError);
  ASSERT_TRUE(unit.Restart()) << unit.DaemonLog().constData();

  QJsonObject status = unit.Status();
  EXPECT_FALSE(status["plugged"].toBool());
  EXPECT_EQ(status["speedUnit"].toInt(), 1);
  EXPECT_EQ(status["version"][u"hwid"].toInt(), 9);
  EXPECT_EQ(status["poi"][u"slots"][3].toString(), QString::fromLatin1(Record(0x33).toHex()));
  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(static_cast<std::uint8_t>(VersionReply().at(4)), 9);
}

TEST_F(UnitSimChannelTest, AReaderThatStopsReadingHoldsNobodyUp) {
  const auto stalledReader = Open("PIPE01POI");
  const auto writer = Open("PIPE00POI");
  for (int slot = 0; slot < 7; ++slot) ASSERT_TRUE(TestUnitLink::Write(writer, PoiWrite(slot, Record(char(0x40 + slot)))));
  // Far more records than the reader's socket holds.
  constexpr int kRounds = 30;
  for (int round = 0; round < kRounds; ++round) ASSERT_TRUE(TestUnitLink::Write(writer, "$P6>"));

  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(VersionReply(), FreshReplyWith());
  EXPECT_FALSE(unit.Status().isEmpty());
  EXPECT_EQ(link.OpenDev(), 1);
  EXPECT_LT(timer.elapsed(), 2000);

  // Nothing was lost or reordered meanwhile.
  for (int i = 0; i < kRounds * 7; ++i)
    ASSERT_EQ(TestUnitLink::Read(stalledReader, kReplyTimeoutMs, 12).value_or(""), Record(char(0x40 + i % 7))) << i;
}

TEST(UnitSimWithoutEmulator, NoEmulatorMeansNoUnit) {
  QTemporaryDir dir;
  const QByteArray saved = qgetenv("V770_UNIT_SOCKET");
  TestUnitLink link;
  ASSERT_TRUE(link.IsLoaded());
  qputenv("V770_UNIT_SOCKET", dir.filePath("nobody.sock").toLocal8Bit());
  EXPECT_EQ(link.OpenDev(), -1);
  EXPECT_EQ(link.OpenFile("PIPE00Main"), -1);

  // A socket file left behind by an emulator that is gone counts as no emulator too.
  const QByteArray stale = dir.filePath("stale.sock").toLocal8Bit();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, stale.constData(), std::size_t(stale.size()));
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  qputenv("V770_UNIT_SOCKET", stale);
  EXPECT_EQ(link.OpenDev(), -1);
  EXPECT_EQ(link.OpenFile("PIPE00Main"), -1);
  qputenv("V770_UNIT_SOCKET", saved);
}

class UnitSimSeededTest : public UnitSimTestBase {
 protected:
  QJsonObject InitialState() const override {
    const QJsonArray slotList{QString(24, '0'), QString::fromLatin1(Record(0x55).toHex())};
    return {{"plugged", true},
            {"speedUnit", 1},
            {"version", QJsonObject{{"area", 4}, {"fwmajor", 2}, {"fwminor", 10}}},
            {"poi", QJsonObject{{"capacity", 50}, {"slots", slotList}}}};
  }
};

TEST_F(UnitSimSeededTest, InitialStateIsWhatTheUnitReports) {
  const QByteArray reply = VersionReply();
  ASSERT_EQ(reply.size(), 12);
  EXPECT_EQ(reply[0], 4);
  EXPECT_EQ(reply[5], 2);
  EXPECT_EQ(reply[6], 10);
  EXPECT_EQ(reply[7], 1);  // untouched fields keep a fresh unit's values
  const auto reader = Open("PIPE01POI");
  const auto writer = Open("PIPE00POI");
  ASSERT_TRUE(TestUnitLink::Write(writer, "$PC>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 3).value_or(""), QByteArray::fromHex("013200"));
  ASSERT_TRUE(TestUnitLink::Write(writer, "$P6>"));
  EXPECT_EQ(TestUnitLink::Read(reader, kReplyTimeoutMs, 12).value_or(""), Record(0x55));
}

TEST(UnitSimStateFile, ABrokenStateFileIsRefusedAndKept) {
  UnitEmulator unit;
  const QByteArray broken = "{\"version\": {\"area\": 400}}";
  ASSERT_TRUE(TestSupport::WriteFile(unit.StatePath(), broken));
  EXPECT_FALSE(unit.Restart());
  EXPECT_FALSE(unit.IsRunning());
  EXPECT_TRUE(unit.DaemonLog().contains("area"));
  EXPECT_EQ(TestSupport::ReadFile(unit.StatePath()), broken);
}
