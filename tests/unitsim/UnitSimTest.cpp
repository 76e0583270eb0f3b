// The emulated unit as the program meets it: its command channels, restarts,
// package transfers, and the link's behaviour on demand (stalls, the control's refusals; held
// replies and the slow link are what the version query's, the POI page's and the update run's
// tests stand on), and the POI records it is seeded with, read back by the program's own POI
// record code.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdio>
#include <cstring>
#include <optional>

#include "../update/UpdateTestSupport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "poi/PoiRecord.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "unitsim/PackageHeader.h"
#include "unitsim/PoiRecordEncoder.h"

namespace {

QByteArray PoiWrite(int slot, const QByteArray& record) { return "$P8<" + QByteArray(1, char(slot)) + record; }
QByteArray Record(char fill) { return QByteArray(10, fill) + "\x30" + fill; }

// A fresh unit's "$VER>" reply, with some bytes changed.
QByteArray FreshReplyWith(std::initializer_list<std::pair<int, int>> changes = {}) {
  QByteArray reply = QByteArray::fromHex("0302030f0701050102030000");
  for (const auto& [at, value] : changes) reply[at] = char(value);
  return reply;
}

using UpdateTestSupport::BuildPackage;
using enum PackageHeader::Kind;
QByteArray Database(std::size_t size = 5000) { return BuildPackage(kDatabase, 5, {2, 4, 12}, size); }

PoiRecord ToProgramRecord(const QByteArray& bytes) {
  PoiRecord record;
  std::copy(bytes.begin(), bytes.end(), record.bytes.begin());
  return record;
}

}  // namespace

// A running emulated unit per test, reached through the unit library as the program reaches
// it, with plain reads and writes on the channels it hands out (closed at the end).
class UnitSimTest : public ::testing::Test {
 protected:
  static constexpr int kReplyTimeoutMs = 3000;
  static constexpr int kSilenceMs = 300;  // long enough to be sure nothing is coming

  void SetUp() override {
    ASSERT_TRUE(library.Load());
    ASSERT_TRUE(unit.Start()) << unit.DaemonLog().constData();
  }
  void TearDown() override {
    for (int fd : opened) ::close(fd);
  }
  int Open(const char* name) { return opened.emplace_back(int(library.open_file(name))); }
  void Close(int fd) {
    std::erase(opened, fd);
    ::close(fd);
  }

  // One message; false when the call fails or would block for longer than timeoutMs.
  static bool Write(int fd, const QByteArray& bytes, int timeoutMs = 2000) {
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLOUT) &&
           ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT) == bytes.size();
  }
  // One message of at most maxSize bytes; nothing when none came in time or the unit closed
  // the channel (`closed` tells which).
  static std::optional<QByteArray> Read(int fd, int timeoutMs = kReplyTimeoutMs, std::size_t maxSize = 4096,
                                        bool* closed = nullptr) {
    pollfd entry{fd, POLLIN, 0};
    QByteArray buffer(qsizetype(maxSize), '\0');
    const ssize_t got = ::poll(&entry, 1, timeoutMs) == 1 ? ::recv(fd, buffer.data(), maxSize, MSG_DONTWAIT) : -1;
    if (closed) *closed = got == 0;
    return got > 0 ? std::optional(buffer.left(got)) : std::nullopt;
  }
  // The 12-byte "$VER>" reply, asked on fresh Main channels.
  QByteArray VersionReply() {
    const int reader = Open("PIPE01Main"), writer = Open("PIPE00Main");
    const QByteArray reply = Write(writer, "$VER>") ? Read(reader, kReplyTimeoutMs, 13).value_or("") : "";
    Close(reader);
    Close(writer);
    return reply;
  }
  // What the unit noted about a message it received on a channel.
  QString NoteOf(const char* channel, const QByteArray& bytes) {
    QString note;
    unit.WaitForStatus([&](const QJsonObject& s) {
      for (const QJsonValue& entry : s["log"][QLatin1String(channel)].toArray())
        if (entry[u"event"].toString() == QLatin1String("received") && entry[u"hex"].toString() == bytes.toHex())
          note = entry[u"note"].toString();
      return !note.isEmpty();
    }, kReplyTimeoutMs);
    return note;
  }

  QJsonArray Packages() { return unit.Status()["packages"].toArray(); }
  // Waits until the unit has decided `count` packages; the last one.
  QJsonObject WaitForPackage(int count) {
    unit.WaitForStatus([&](const QJsonObject& s) { return s["packages"].toArray().size() >= count; }, 30000);
    return Packages().size() >= count ? Packages()[count - 1].toObject() : QJsonObject();
  }
  // Sends a package file as the program does (or, shorter than one, a single message) on a
  // fresh channel, closes it, and returns the unit's verdict.
  QJsonObject Transfer(const char* channel, const QByteArray& file) {
    const int before = int(Packages().size());
    const int fd = Open(channel);
    FdChannel program(::dup(fd));
    EXPECT_TRUE(file.size() < 1024 ? Write(fd, file)
                                   : UnitExchange::SendPackageFile(program, file, {}, [](int) {}) ==
                                         UnitExchange::TransferResult::Done);
    program.Close();
    Close(fd);
    return WaitForPackage(before + 1);
  }

  CUnitLibrary library;
  UnitEmulator unit;
  std::vector<int> opened;
};

TEST_F(UnitSimTest, VersionReplyGoesToTheReadChannelOpenedLastAndFollowsSet) {
  EXPECT_EQ(library.open_dev(), 1);
  const int first = Open("PIPE01Main"), second = Open("PIPE01Main"), writer = Open("PIPE00Main");
  ASSERT_TRUE(Write(writer, "$VER>"));
  EXPECT_EQ(Read(second), FreshReplyWith());
  EXPECT_FALSE(Read(first, kSilenceMs));
  Close(second);
  for (const auto& [field, value] : {std::pair{"area", 5}, {"db3", -3}, {"voicelang", 1}})
    ASSERT_TRUE(unit.Client().Set(field, value));
  library.Free();  // the channels outlive the library
  ASSERT_TRUE(Write(writer, "$VER>"));
  EXPECT_EQ(Read(first), FreshReplyWith({{0, 5}, {3, 0xFD}, {11, 1}}));
  EXPECT_EQ(unit.Status()["version"][u"database"].toString(), "100297");
}

// Only the exact commands of a channel are taken; anything else changes nothing and is
// answered by nothing.
TEST_F(UnitSimTest, OnlyExactCommandsOfTheChannelAreTaken) {
  const int mainReader = Open("PIPE01Main"), poiReader = Open("PIPE01POI");
  const std::tuple<const char*, QByteArray, const char*> messages[] = {
      {"PIPE00UNIT", QByteArray("$P1<\x01\x00", 6), "speed unit 1"},
      {"PIPE00UNIT", QByteArray("$P1<\xFF\x00", 6), "ignored"},  // no selection
      {"PIPE00UNIT", QByteArray("$P1<\x00", 5), "ignored"},      // the zero byte missing
      {"PIPE00UNIT", QByteArray("$P1<\x00\x00\x00", 7), "ignored"},
      {"PIPE00Main", "$VER", "ignored"},
      {"PIPE00Main", QByteArray("$VER>\0", 6), "ignored"},
      {"PIPE00Main", "$PC>", "ignored"},
      {"PIPE01Main", "$VER>", "ignored"},  // written on a reply channel
      {"PIPE00POI", PoiWrite(100, Record(0x11)), "ignored"},  // beyond the 100 slots
      {"PIPE00POI", PoiWrite(5, Record(0x11).left(11)), "ignored"}};
  for (const auto& [channel, bytes, note] : messages) {
    ASSERT_TRUE(Write(std::strcmp(channel, "PIPE01Main") ? Open(channel) : mainReader, bytes)) << channel;
    EXPECT_TRUE(NoteOf(channel, bytes).startsWith(QLatin1String(note))) << channel << " " << bytes.toHex().constData();
  }
  EXPECT_FALSE(Read(mainReader, kSilenceMs) || Read(poiReader, kSilenceMs));
  EXPECT_EQ(unit.Status()["speedUnit"].toInt(), 1);
  EXPECT_EQ(unit.Status()["poi"][u"count"].toInt(), 0);
  // Unknown channels are refused and left unopened.
  const qsizetype open = unit.Status()["openChannels"].toArray().size();
  for (const char* name : {"PIPE01DB", "PIPE01RESET", "PIPE01UNIT", "pipe00main", "PIPE00Main ", "", "PIPE00"})
    EXPECT_EQ(library.open_file(name), -1) << name;
  EXPECT_EQ(library.open_file(std::string(200, 'P').c_str()), -1);
  EXPECT_EQ(unit.Status()["openChannels"].toArray().size(), open);
}

// Storing, counting, reading back and erasing are what the POI page relies on and tests; the
// capacity is the emulator's own: it may exceed the program's table, and shrinking it drops the
// slots beyond.
TEST_F(UnitSimTest, PoiCapacityCanExceedTheProgramsTableAndShrink) {
  const int reader = Open("PIPE01POI"), writer = Open("PIPE00POI");
  ASSERT_TRUE(unit.Client().Set("poi-capacity", 127));
  EXPECT_FALSE(unit.Client().Set("poi-capacity", 128));
  for (int slot = 0; slot < 127; ++slot) ASSERT_TRUE(Write(writer, PoiWrite(slot, Record(char(slot + 1)))));
  ASSERT_TRUE(Write(writer, "$PC>"));
  EXPECT_EQ(Read(reader, kReplyTimeoutMs, 3), QByteArray::fromHex("7f7f00"));
  ASSERT_TRUE(unit.Client().Set("poi-capacity", 10));
  ASSERT_TRUE(Write(writer, "$PC>"));
  EXPECT_EQ(Read(reader, kReplyTimeoutMs, 3), QByteArray::fromHex("0a0a00"));
}

TEST_F(UnitSimTest, StateSurvivesARestart) {
  ASSERT_TRUE(Write(Open("PIPE00POI"), PoiWrite(3, Record(0x33))));
  ASSERT_TRUE(Write(Open("PIPE00UNIT"), QByteArray("$P1<\x01\x00", 6)));
  ASSERT_TRUE(unit.Client().Set("hwid", 9) && unit.Client().Set("poi-capacity", 50));
  ASSERT_TRUE(unit.WaitForStatus(
      [](const QJsonObject& s) { return s["speedUnit"].toInt() == 1 && s["poi"][u"count"].toInt() == 1; }, kReplyTimeoutMs));
  ASSERT_TRUE(unit.Client().Unplug());
  unit.Stop();
  // Whatever moment it stopped at, the file on disk is whole.
  QJsonParseError error;
  QJsonDocument::fromJson(TestSupport::ReadFile(unit.StatePath()), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError);
  ASSERT_TRUE(unit.Restart()) << unit.DaemonLog().constData();
  const QJsonObject status = unit.Status();
  EXPECT_FALSE(status["plugged"].toBool());
  EXPECT_EQ(status["speedUnit"].toInt(), 1);
  EXPECT_EQ(status["poi"][u"slots"][3].toString(), QLatin1String(Record(0x33).toHex()));
  EXPECT_EQ(status["poi"][u"slots"].toArray().size(), 50);
  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(VersionReply(), FreshReplyWith({{4, 9}}));

  // A broken state file is refused and kept.
  const QByteArray broken = "{\"version\": {\"area\": 400}}";
  ASSERT_TRUE(TestSupport::WriteFile(unit.StatePath(), broken));
  EXPECT_FALSE(unit.Restart());
  EXPECT_TRUE(unit.DaemonLog().contains("area"));
  EXPECT_EQ(TestSupport::ReadFile(unit.StatePath()), broken);
}

TEST_F(UnitSimTest, AReaderThatStopsReadingHoldsNobodyUp) {
  const int stalledReader = Open("PIPE01POI"), writer = Open("PIPE00POI");
  for (int slot = 0; slot < 7; ++slot) ASSERT_TRUE(Write(writer, PoiWrite(slot, Record(char(0x40 + slot)))));
  constexpr int kRounds = 30;  // far more records than the reader's socket holds
  for (int round = 0; round < kRounds; ++round) ASSERT_TRUE(Write(writer, "$P6>"));
  TestSupport::Clock timer;
  EXPECT_EQ(VersionReply(), FreshReplyWith());
  EXPECT_EQ(library.open_dev(), 1);
  EXPECT_LT(timer.elapsed(), 2000);
  // Nothing was lost or reordered meanwhile.
  for (int i = 0; i < kRounds * 7; ++i) ASSERT_EQ(Read(stalledReader, kReplyTimeoutMs, 12), Record(char(0x40 + i % 7))) << i;
}

TEST_F(UnitSimTest, StallHoldsTheUnitBackButNotItsControl) {
  const int reader = Open("PIPE01Main"), writer = Open("PIPE00Main"), update = Open("PIPE00DB");
  // Timed from before the stall begins, so the lower bound below holds however late this
  // thread runs again after the control's answer.
  TestSupport::Clock timer;
  ASSERT_TRUE(unit.Client().Stall(1500));
  ASSERT_TRUE(Write(writer, "$VER>"));
  // The unit's side fills up and the writer's calls time out.
  const QByteArray chunk(2048, 'x');
  int accepted = 0;
  while (accepted < 1000 && Write(update, chunk, 50)) ++accepted;
  EXPECT_LT(accepted, 1000);
  // Meanwhile the unit answers its control and is on the bus.
  const bool early = timer.elapsed() < 1000;
  EXPECT_TRUE(unit.Status()["link"][u"stallMs"].toInt() > 0 || !early);
  EXPECT_EQ(library.open_dev(), 1);
  EXPECT_EQ(Read(reader, 5000), FreshReplyWith());
  EXPECT_GE(timer.elapsed(), 1400);
  EXPECT_TRUE(Write(update, chunk, kReplyTimeoutMs));
}

TEST_F(UnitSimTest, ControlRefusesWhatItDoesNotKnow) {
  UnitSimClient& client = unit.Client();
  EXPECT_FALSE(client.Set("nofield", 1));
  EXPECT_NE(client.LastError().find("unknown field"), std::string::npos);
  for (long area : {256L, -129L}) EXPECT_FALSE(client.Set("area", area)) << area;
  EXPECT_TRUE(client.Set("area", -128));
  for (const char* command : {"stall -5", "rate", "dance"}) EXPECT_FALSE(client.Command(command)) << command;
  EXPECT_EQ(unit.Status()["version"][u"area"].toInt(), -128);
  // The command line: its exit code and its output.
  const auto ctl = [&](const QStringList& arguments, int exitCode) {
    QProcess process;
    process.start(TestSupport::BinPath("v770-unit"), QStringList{"ctl", "--socket", unit.SocketPath()} + arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), exitCode) << arguments.join(' ').toStdString();
    return process.readAllStandardOutput() + process.readAllStandardError();
  };
  EXPECT_TRUE(QJsonDocument::fromJson(ctl({"status"}, 0)).object().contains("poi"));
  EXPECT_TRUE(ctl({"set", "bogus", "1"}, 1).contains("unknown field"));
}

TEST_F(UnitSimTest, PackagesWhoseLengthAndCrcMatchAreInstalled) {
  const QJsonObject package = Transfer("PIPE00DB", Database());
  EXPECT_TRUE(package["installed"].toBool()) << package["reason"].toString().toStdString();
  EXPECT_EQ(package["version"].toString(), "100412");
  EXPECT_EQ(VersionReply(), FreshReplyWith({{0, 5}, {1, 2}, {2, 4}, {3, 12}}));
  EXPECT_TRUE(Transfer("PIPE00DB", BuildPackage(kVoice, 1, {1, 3, 7}, 2048))["installed"].toBool());
  EXPECT_EQ(VersionReply(), FreshReplyWith({{0, 5}, {1, 2}, {2, 4}, {3, 12}, {7, 1}, {8, 3}, {9, 7}, {11, 1}}));

  // A large one is taken at full speed.
  TestSupport::Clock timer;
  EXPECT_TRUE(Transfer("PIPE00DB", Database(32 * 1024 * 1024))["installed"].toBool());
  std::printf("[ unitsim ] 32 MiB in 2048-byte writes taken in %lld ms\n", timer.elapsed());
  EXPECT_LT(timer.elapsed(), 20000);
}

TEST_F(UnitSimTest, WrongOrIncompletePackagesAreRefused) {
  QByteArray corrupted = Database(), overlong = Database(4096), wrongMagic = Database().left(20);
  corrupted[3000] ^= 0x01;
  overlong[10] = char(3000 & 0xFF);  // the header announces 3000 bytes, 4096 come
  overlong[11] = char(3000 >> 8);
  wrongMagic[3] = 'X';
  QByteArray wrongKind = Database().left(20);
  wrongKind[4] = 9;
  const std::tuple<const char*, QByteArray, const char*> cases[] = {
      {"PIPE00DB", corrupted, "CRC"},
      {"PIPE00DB", overlong, "announces"},
      {"PIPE00DB", Database(20000).left(1024 + 3 * 2048 - 100), "cut short: 6044 of 20000"},
      {"PIPE00DB", Database().left(19), "19 bytes"},
      {"PIPE00DB", wrongMagic, "V7PK"},
      {"PIPE00DB", wrongKind, "kind 9"},
      {"PIPE00DB", Database(0), "empty"},
      {"PIPE00RESET", Database(), "only firmware"}};
  for (const auto& [channel, file, reason] : cases) {
    const QJsonObject package = Transfer(channel, file);
    EXPECT_FALSE(package["installed"].toBool()) << reason;
    EXPECT_TRUE(package["reason"].toString().contains(QLatin1String(reason))) << package["reason"].toString().toStdString();
  }
  // Pulling the unit out half-way cuts it short too.
  ASSERT_TRUE(Write(Open("PIPE00DB"), Database().left(20)));
  ASSERT_TRUE(unit.Client().Unplug());
  EXPECT_TRUE(WaitForPackage(int(std::size(cases)) + 1)["reason"].toString().contains("cut short"));
  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(VersionReply(), FreshReplyWith());
}

TEST_F(UnitSimTest, FirmwareInstallRestartsTheUnit) {
  const int reader = Open("PIPE01Main");
  const QJsonObject package = Transfer("PIPE00RESET", BuildPackage(kFirmware, 0, {1, 6, 0}, 3 * 2048 + 5));
  TestSupport::Clock sinceLastChunk;
  EXPECT_EQ(package["version"].toString(), "1.6");
  // Gone at once: every channel closed, no unit on the bus...
  bool closed = false;
  while (Read(reader, kReplyTimeoutMs, 4096, &closed)) {
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(library.open_dev(), -1);
  EXPECT_EQ(library.open_file("PIPE00Main"), -1);
  EXPECT_TRUE(unit.Status()["restarting"].toBool());
  // ...and back about two seconds later with the new firmware.
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return library.open_dev() == 1; }, 10000));
  EXPECT_GE(sinceLastChunk.elapsed(), 1500);
  EXPECT_EQ(VersionReply(), FreshReplyWith({{5, 1}, {6, 6}}));
}

TEST(PoiRecordEncoder, RecordsAreWhatTheProgramReadsAndWrites) {
  const std::pair<PoiFields, PoiTexts> cases[] = {
      {{2009, 3, 15, 7, 45, 48.85661, 2.35222, 270}, {"2009/03/15", "07:45", "48.85661", "2.35222", "270"}},
      // 180 degrees west needs bit 24 of the longitude; 23:59 spreads the hour over three bytes.
      {{2023, 12, 31, 23, 59, -33.86785, -180.0, 0}, {"2023/12/31", "23:59", "-33.86785", "-180.00000", "0"}},
      {{2008, 1, 1, 16, 0, -90, 179.99999, 511}, {"2008/01/01", "16:00", "-90.00000", "179.99999", "511"}}};
  for (const auto& [fields, texts] : cases) {
    std::string error;
    const auto record = PoiRecordEncoder::Encode(fields, &error);
    ASSERT_TRUE(record) << error;
    const PoiRecord bytes = ToProgramRecord(QByteArray(reinterpret_cast<const char*>(record->data()), 12));
    EXPECT_EQ(DecodePoiRecord(bytes), texts) << texts.date.toStdString();
    EXPECT_EQ(EncodePoiRecord(texts), bytes) << texts.date.toStdString();  // byte for byte
  }
}

TEST(PoiRecordEncoder, RefusesWhatTheRecordCannotHold) {
  std::string error;
  for (const PoiFields& poi : {PoiFields{2024, 1, 1, 0, 0, 0, 0, 0}, PoiFields{2010, 13, 1, 0, 0, 0, 0, 0},
                               PoiFields{2010, 1, 1, 24, 0, 0, 0, 0}, PoiFields{2010, 1, 1, 0, 0, 90.00001, 0, 0},
                               PoiFields{2010, 1, 1, 0, 0, 0, 180.00001, 0}, PoiFields{2010, 1, 1, 0, 0, 0, 0, 512}})
    EXPECT_FALSE(PoiRecordEncoder::Encode(poi, &error)) << poi.year << "/" << poi.month << " " << poi.hour;
}

TEST(DemoUnitState, IsAFrenchUnitWithAHandfulOfPois) {
  const QByteArray text = TestSupport::ReadFile(TestSupport::BinPath("../data/demo-unit-state.json"));
  ASSERT_FALSE(text.isEmpty()) << "the build makes data/demo-unit-state.json";
  const QJsonObject state = QJsonDocument::fromJson(text).object();
  QString error;
  ASSERT_TRUE(UnitState::FromJson(state, &error)) << error.toStdString();
  EXPECT_TRUE(state["plugged"].toBool());
  EXPECT_EQ(state["version"][u"database"].toString(), "100315");
  int pois = 0;
  for (const QJsonValue& slot : state["poi"][u"slots"].toArray()) {
    const PoiRecord record = ToProgramRecord(QByteArray::fromHex(slot.toString().toLatin1()));
    if (record.IsEmpty()) continue;
    ++pois;
    const PoiTexts texts = DecodePoiRecord(record);
    EXPECT_TRUE(CheckPoiTexts(texts)) << texts.date.toStdString();
    // Mainland France.
    EXPECT_TRUE(texts.latitude.toDouble() > 42.3 && texts.latitude.toDouble() < 51.1) << texts.latitude.toStdString();
    EXPECT_TRUE(texts.longitude.toDouble() > -4.8 && texts.longitude.toDouble() < 8.3) << texts.longitude.toStdString();
    EXPECT_LT(texts.heading.toInt(), 360);
  }
  EXPECT_TRUE(pois >= 5 && pois <= 8) << pois;
  EXPECT_EQ(state["poi"][u"count"].toInt(), pois);
}
