// Package transfers into the unit: what it installs, what it refuses, and the firmware
// restart.
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>

#include "UnitSimTestBase.h"
#include "support/TestSupport.h"
#include "unitsim/PackageHeader.h"

namespace {

constexpr std::size_t kChunk = 2048;

std::vector<std::uint8_t> Payload(std::size_t size, std::uint32_t seed = 7) {
  std::vector<std::uint8_t> payload(size);
  QRandomGenerator random(seed);
  for (auto& byte : payload) byte = std::uint8_t(random.generate());
  return payload;
}

std::vector<std::uint8_t> DatabaseFile(std::size_t size = 5000) {
  return PackageHeader::BuildFile(PackageHeader::kDatabase, 5, {2, 4, 12}, Payload(size), "Database France 100412");
}

}  // namespace

class UnitSimPackageTest : public UnitSimTestBase {
 protected:
  // Sends the file on a fresh channel, closes it, and returns the unit's verdict.
  QJsonObject Transfer(const char* channel, const std::vector<std::uint8_t>& file, std::size_t payloadLimit = SIZE_MAX) {
    const int before = int(Packages().size());
    const auto fd = Open(channel);
    EXPECT_GT(fd, 0);
    EXPECT_TRUE(TestUnitLink::SendPackage(fd, file, payloadLimit));
    CloseChannel(fd);
    return WaitForPackage(before + 1);
  }
};

TEST_F(UnitSimPackageTest, DatabaseWhoseLengthAndCrcMatchIsInstalled) {
  const auto file = DatabaseFile();
  const QJsonObject package = Transfer("PIPE00DB", file);
  EXPECT_TRUE(package["installed"].toBool()) << package["reason"].toString().toStdString();
  EXPECT_EQ(package["kind"].toString(), "database");
  EXPECT_EQ(package["version"].toString(), "100412");
  EXPECT_EQ(package["size"].toInt(), 5000);
  EXPECT_EQ(package["received"].toInt(), 5000);
  EXPECT_EQ(package["crc"].toString(), QString::asprintf("%08x", PackageHeader::Crc(file.data() + 1024, 5000)));

  EXPECT_EQ(VersionReply(), FreshReplyWith({{0, 5}, {1, 2}, {2, 4}, {3, 12}}));
}

TEST_F(UnitSimPackageTest, VoiceSetsItsVersionAndLanguage) {
  const auto file = PackageHeader::BuildFile(PackageHeader::kVoice, 1, {1, 3, 7}, Payload(kChunk));
  EXPECT_TRUE(Transfer("PIPE00DB", file)["installed"].toBool());
  EXPECT_EQ(VersionReply(), FreshReplyWith({{7, 1}, {8, 3}, {9, 7}, {11, 1}}));
}

TEST_F(UnitSimPackageTest, CorruptedOrOverlongPayloadIsRefused) {
  auto corrupted = DatabaseFile();
  corrupted[3000] ^= 0x01;
  QJsonObject package = Transfer("PIPE00DB", corrupted);
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_TRUE(package["reason"].toString().contains("CRC")) << package["reason"].toString().toStdString();

  // The header announces 3000 bytes, 4096 come.
  auto overlong = DatabaseFile(4096);
  PackageHeader header = *PackageHeader::Parse(overlong.data(), PackageHeader::kSize, nullptr);
  header.payloadLength = 3000;
  const auto bytes = header.Bytes();
  std::copy(bytes.begin(), bytes.end(), overlong.begin());
  package = Transfer("PIPE00DB", overlong);
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_TRUE(package["reason"].toString().contains("announces")) << package["reason"].toString().toStdString();

  EXPECT_EQ(VersionReply(), FreshReplyWith());
}

TEST_F(UnitSimPackageTest, TransferCutShortInstallsNothing) {
  QJsonObject package = Transfer("PIPE00DB", DatabaseFile(20000), 3 * kChunk - 100);
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_EQ(package["received"].toInt(), int(3 * kChunk - 100));
  EXPECT_TRUE(package["reason"].toString().contains("cut short"));

  // Pulling the unit out half-way cuts it short too.
  const auto fd = Open("PIPE00DB");
  ASSERT_TRUE(TestUnitLink::SendPackage(fd, DatabaseFile(), kChunk));
  ASSERT_TRUE(unit.Client().Unplug());
  package = WaitForPackage(2);
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_TRUE(package["reason"].toString().contains("cut short"));

  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_EQ(VersionReply(), FreshReplyWith());
}

TEST_F(UnitSimPackageTest, WrongHeadersAreRefused) {
  const auto good = DatabaseFile();
  const auto sendHeader = [&](const QByteArray& header) {
    const int before = int(Packages().size());
    const auto fd = Open("PIPE00DB");
    EXPECT_TRUE(TestUnitLink::Write(fd, header));
    CloseChannel(fd);
    return WaitForPackage(before + 1);
  };
  const QByteArray header(reinterpret_cast<const char*>(good.data()), 20);
  QJsonObject package = sendHeader(header.left(19));
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_TRUE(package["reason"].toString().contains("19 bytes"));

  QByteArray wrongMagic = header;
  wrongMagic[3] = 'X';
  EXPECT_TRUE(sendHeader(wrongMagic)["reason"].toString().contains("V7PK"));

  QByteArray wrongKind = header;
  wrongKind[4] = 9;
  EXPECT_TRUE(sendHeader(wrongKind)["reason"].toString().contains("kind 9"));

  const auto empty = PackageHeader::BuildFile(PackageHeader::kDatabase, 5, {2, 4, 12}, {});
  EXPECT_TRUE(sendHeader(QByteArray(reinterpret_cast<const char*>(empty.data()), 20))["reason"].toString().contains("empty"));
  EXPECT_EQ(VersionReply(), FreshReplyWith());
}

TEST_F(UnitSimPackageTest, RecoveryChannelTakesOnlyFirmware) {
  const QJsonObject package = Transfer("PIPE00RESET", DatabaseFile());
  EXPECT_FALSE(package["installed"].toBool());
  EXPECT_TRUE(package["reason"].toString().contains("only firmware"));
}

TEST_F(UnitSimPackageTest, FirmwareInstallRestartsTheUnit) {
  const auto reader = Open("PIPE01Main");
  const auto file = PackageHeader::BuildFile(PackageHeader::kFirmware, 0, {1, 6, 0}, Payload(3 * kChunk + 5));
  const auto fd = Open("PIPE00RESET");
  ASSERT_TRUE(TestUnitLink::SendPackage(fd, file));
  QElapsedTimer sinceLastChunk;
  sinceLastChunk.start();

  // Gone at once: every channel closed, no unit on the bus...
  EXPECT_TRUE(TestUnitLink::WaitClosed(reader, kReplyTimeoutMs));
  EXPECT_EQ(link.OpenDev(), -1);
  EXPECT_EQ(link.OpenFile("PIPE00Main"), -1);
  EXPECT_TRUE(unit.Status()["restarting"].toBool());
  // ...and back about two seconds later with the new firmware.
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return link.OpenDev() == 1; }, 10000));
  EXPECT_GE(sinceLastChunk.elapsed(), 1500);
  const QByteArray reply = VersionReply();
  ASSERT_EQ(reply.size(), 12);
  EXPECT_EQ(reply[5], 1);
  EXPECT_EQ(reply[6], 6);
  const QJsonObject package = Packages().last().toObject();
  EXPECT_TRUE(package["installed"].toBool());
  EXPECT_EQ(package["version"].toString(), "1.6");
  EXPECT_TRUE(unit.Status()["plugged"].toBool());
}

TEST_F(UnitSimPackageTest, LargeTransferIsTakenAtFullSpeed) {
  constexpr std::size_t kSize = 32 * 1024 * 1024;
  const auto file = PackageHeader::BuildFile(PackageHeader::kDatabase, 5, {2, 4, 12}, Payload(kSize));
  const auto fd = Open("PIPE00DB");
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(TestUnitLink::SendPackage(fd, file));
  const qint64 writeMs = timer.elapsed();
  CloseChannel(fd);
  const QJsonObject package = WaitForPackage(1, 30000);
  EXPECT_TRUE(package["installed"].toBool());
  std::printf("[ unitsim ] 32 MiB in 2048-byte writes taken in %lld ms (%.0f MiB/s)\n", writeMs,
              32.0 * 1000.0 / double(std::max<qint64>(writeMs, 1)));
  EXPECT_LT(writeMs, 20000);
}
