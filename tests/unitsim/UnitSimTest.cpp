// The emulated unit as the program meets it: command channels, restarts, package transfers,
// and its POI records read back by the program's code. (The version reply and its fields, held
// replies, stalls, the slow link and the TCP side are left to the tests that stand on them.)
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>
#include <optional>

#include "../update/UpdateTestSupport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "poi/PoiRecord.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "unitsim/ChannelStreamSplitter.h"
#include "unitsim/PackageHeader.h"
#include "unitsim/PoiRecordEncoder.h"

namespace {

using Messages = std::vector<std::string>;
using namespace std::string_literals;

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

  // One message; false when the call fails or would block for longer than timeoutMs.
  static bool Write(int fd, const QByteArray& bytes, int timeoutMs = 2000) {
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLOUT) &&
           ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT) == bytes.size();
  }
  // One message of at most maxSize bytes; nothing when none came in time or the unit closed
  // the channel.
  static std::optional<QByteArray> Read(int fd, int timeoutMs = kReplyTimeoutMs, std::size_t maxSize = 4096) {
    pollfd entry{fd, POLLIN, 0};
    QByteArray buffer(qsizetype(maxSize), '\0');
    const ssize_t got =
        ::poll(&entry, 1, timeoutMs) == 1 ? ::recv(fd, buffer.data(), maxSize, MSG_DONTWAIT) : -1;
    return got > 0 ? std::optional(buffer.left(got)) : std::nullopt;
  }
  // The 12-byte "$VER>" reply, asked on fresh Main channels (the reply goes to the newest).
  QByteArray VersionReply() {
    const int reader = Open("PIPE01Main"), writer = Open("PIPE00Main");
    return Write(writer, "$VER>") ? Read(reader, kReplyTimeoutMs, 13).value_or("") : "";
  }
  QJsonArray Packages() { return unit.Status()["packages"].toArray(); }
  // Waits until the unit has decided `count` packages; the last one.
  QJsonObject WaitForPackage(int count) {
    unit.WaitForStatus([&](const QJsonObject& s) { return s["packages"].toArray().size() >= count; }, 30000);
    return Packages().size() >= count ? Packages()[count - 1].toObject() : QJsonObject();
  }
  // Sends a package file as the program does on a fresh channel, closes it, and returns the
  // unit's verdict.
  QJsonObject Transfer(const char* channel, const QByteArray& file) {
    const int before = int(Packages().size());
    FdChannel program(library.open_file(channel));
    EXPECT_EQ(UnitExchange::SendPackageFile(program, file, {}, [](int) {}),
              UnitExchange::TransferResult::Done);
    program.Close();
    return WaitForPackage(before + 1);
  }

  CUnitLibrary library;
  UnitEmulator unit;
  std::vector<int> opened;
};

// Only the exact commands of a channel are taken; anything else changes nothing and is
// answered by nothing.
TEST_F(UnitSimTest, OnlyExactCommandsOfTheChannelAreTaken) {
  const int mainReader = Open("PIPE01Main"), poiReader = Open("PIPE01POI");
  // The one command taken comes first: a later one taken would change the speed unit again.
  const std::pair<const char*, QByteArray> messages[] = {
      {"PIPE00UNIT", QByteArray("$P1<\x01\x00", 6)},
      {"PIPE00UNIT", QByteArray("$P1<\xFF\x00", 6)},  // no selection
      {"PIPE00UNIT", QByteArray("$P1<\x00", 5)},      // the zero byte missing
      {"PIPE00Main", "$VER"},
      {"PIPE00Main", QByteArray("$VER>\0", 6)},
      {"PIPE00Main", "$PC>"},
      {"PIPE01Main", "$VER>"},                     // written on a reply channel
      {"PIPE00POI", PoiWrite(100, Record(0x11))},  // beyond the 100 slots
      {"PIPE00POI", PoiWrite(5, Record(0x11).left(11))}};
  for (const auto& [channel, bytes] : messages)
    ASSERT_TRUE(Write(std::strcmp(channel, "PIPE01Main") ? Open(channel) : mainReader, bytes)) << channel;
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

// Storing, counting, reading back and erasing, and a capacity beyond the program's table, are
// what the POI page relies on and tests; shrinking the capacity drops the slots beyond. The
// whole state survives a restart.
TEST_F(UnitSimTest, PoiCapacityShrinksAndStateSurvivesARestart) {
  const int reader = Open("PIPE01POI"), writer = Open("PIPE00POI");
  for (int slot = 0; slot < 12; ++slot) ASSERT_TRUE(Write(writer, PoiWrite(slot, Record(char(slot + 1)))));
  ASSERT_TRUE(unit.Client().Set("poi-capacity", 10));
  ASSERT_TRUE(Write(writer, "$PC>"));
  EXPECT_EQ(Read(reader, kReplyTimeoutMs, 3), QByteArray::fromHex("0a0a00"));
  ASSERT_TRUE(Write(Open("PIPE00UNIT"), QByteArray("$P1<\x01\x00", 6)));
  ASSERT_TRUE(unit.Client().Set("hwid", 9));
  ASSERT_TRUE(
      unit.WaitForStatus([](const QJsonObject& s) { return s["speedUnit"].toInt() == 1; }, kReplyTimeoutMs));
  ASSERT_TRUE(unit.Client().Unplug());
  unit.Stop();
  ASSERT_TRUE(unit.Restart()) << unit.DaemonLog().constData();
  const QJsonObject status = unit.Status();
  const QJsonArray kept = status["poi"][u"slots"].toArray();
  EXPECT_EQ(
      std::tuple(status["plugged"].toBool(), status["speedUnit"].toInt(), kept.size(), kept[3].toString()),
      std::tuple(false, 1, 10, QString(Record(4).toHex())));
  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(VersionReply(), FreshReplyWith({{4, 9}}));

  // A broken state file is refused and kept.
  const QByteArray broken = "{\"version\": {\"area\": 400}}";
  ASSERT_TRUE(TestSupport::WriteFile(unit.StatePath(), broken));
  EXPECT_FALSE(unit.Restart());
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
  for (int i = 0; i < kRounds * 7; ++i)
    ASSERT_EQ(Read(stalledReader, kReplyTimeoutMs, 12), Record(char(0x40 + i % 7))) << i;
}

// The command line: its exit code and its output. It serves on loopback only.
TEST_F(UnitSimTest, CommandLineServesOnLoopbackOnly) {
  const auto run = [&](const QStringList& arguments, int exitCode) {
    QProcess process;
    process.start(TestSupport::BinPath("v770-unit"), arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), exitCode) << arguments.join(' ').toStdString();
    return process.readAllStandardOutput() + process.readAllStandardError();
  };
  const QStringList ctl{"ctl", "--socket", unit.SocketPath()};
  EXPECT_TRUE(QJsonDocument::fromJson(run(ctl + QStringList{"status"}, 0)).object().contains("poi"));
  const QString socket = QFileInfo(unit.SocketPath()).dir().filePath("other.sock");
  EXPECT_TRUE(run({"serve", "--socket", socket, "--tcp", "0.0.0.0:0"}, 1).contains("not a loopback address"));
}

// A package whose length and CRC match is installed and shows in the version reply; any
// other is refused with its reason. (A wrong CRC and a cut cable: the update page's tests,
// which stand on those refusals.)
TEST_F(UnitSimTest, OnlyPackagesWhoseLengthAndCrcMatchAreInstalled) {
  const auto changed = [](QByteArray file, int at, char value) { return file.replace(at, 1, &value, 1); };
  const QByteArray database = Database();
  const std::tuple<const char*, QByteArray, const char*> cases[] = {
      {"PIPE00DB", database, ""},
      {"PIPE00DB", BuildPackage(kVoice, 1, {1, 3, 7}, 2048), ""},
      // The header announces 3000 bytes, 4096 come.
      {"PIPE00DB", changed(changed(Database(4096), 10, char(3000 & 0xFF)), 11, char(3000 >> 8)), "announces"},
      {"PIPE00DB", Database(20000).left(1024 + 3 * 2048 - 100), "cut short: 6044 of 20000"},
      {"PIPE00DB", Database(0), "empty"},
      {"PIPE00RESET", database, "only firmware"}};
  for (const auto& [channel, file, reason] : cases) {
    const QJsonObject package = Transfer(channel, file);
    EXPECT_EQ(package["installed"].toBool(), !*reason) << reason;
    EXPECT_TRUE(package["reason"].toString().contains(QLatin1String(reason)))
        << package["reason"].toString().toStdString();
  }
  EXPECT_EQ(VersionReply(),
            FreshReplyWith({{0, 5}, {1, 2}, {2, 4}, {3, 12}, {7, 1}, {8, 3}, {9, 7}, {11, 1}}));
}

// Pieces as they may arrive, and the messages they make, for each kind of channel.
TEST(ChannelStreamSplitter, CutsTheStreamIntoTheUnitsMessages) {
  using enum UnitChannelInfo::Role;
  const std::string poiWrite = "$P8<\x05" + std::string(12, 'r');
  const std::string hdr(20, 'h');
  const std::tuple<const char*, UnitChannelInfo::Role, Messages, Messages> cases[] = {
      // A command in two pieces and two in one, as TCP may deliver them.
      {"a command's data, zero bytes included", kCommand, {"$P1<\x01", "\0$P0<"s}, {"$P1<\x01\0"s, "$P0<"}},
      {"a record written whole", kCommand, {poiWrite + "$PC>"}, {poiWrite, "$PC>"}},
      {"record bytes like commands", kCommand, {"$P8<\x01$VER>$PC>$P", "0"}, {"$P8<\x01$VER>$PC>$P0"}},
      {"stray bytes before a command", kCommand, {"xy$VER>"}, {"xy", "$VER>"}},
      {"no command end in time", kCommand, {"$VERSION", "$VER>"}, {"$VERSION", "$VER>"}},
      {"an unfinished command waits", kCommand, {"$VER"}, {}},
      {"header, payload", kTransfer, {hdr.substr(0, 7), hdr.substr(7) + "pay", "load"}, {hdr, "pay", "load"}},
      {"a write on a reply channel", kReply, {"$VER>$VER>"}, {"$VER>$VER>"}},
  };
  for (const auto& [what, role, pieces, expected] : cases) {
    ChannelStreamSplitter splitter(role);
    Messages got;
    for (const std::string& piece : pieces)
      for (std::string& message : splitter.Feed(piece)) got.push_back(std::move(message));
    EXPECT_EQ(got, expected) << what;
  }
}

// The records the emulator encodes, from fields and in the demo unit's state, are what the
// program reads and writes.
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
  const QByteArray text = TestSupport::ReadFile(TestSupport::BinPath("../data/demo-unit-state.json"));
  const QJsonObject state = QJsonDocument::fromJson(text).object();
  QString error;
  ASSERT_TRUE(UnitState::FromJson(state, &error)) << error.toStdString();
  int pois = 0;
  for (const QJsonValue& slot : state["poi"][u"slots"].toArray()) {
    const PoiRecord record = ToProgramRecord(QByteArray::fromHex(slot.toString().toLatin1()));
    pois += !record.IsEmpty();
    EXPECT_TRUE(record.IsEmpty() || CheckPoiTexts(DecodePoiRecord(record))) << slot.toString().toStdString();
  }
  EXPECT_EQ(std::pair(state["poi"][u"count"].toInt(), pois > 0), std::pair(pois, true));
}
