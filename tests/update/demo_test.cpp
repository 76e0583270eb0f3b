// The demo content made by the build: one valid package per catalogue entry on the server
// tree, a manual pack that names and holds its packages, and database and firmware newer
// than the demo unit's, so the demo has something to update.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "unitsim/UnitState.h"
#include "update/UnzipManualPack.h"

namespace {

const QString kBuildData = QStringLiteral(V770_BUILD_DATA_DIR);
const QString kTree = kBuildData + QStringLiteral("/ftp/down/FW/V770");
constexpr int kHeaderSize = 20;
constexpr int kPayloadOffset = 1024;

quint32 Le32(const QByteArray& bytes, int at) {
  quint32 value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | quint8(bytes[at + i]);
  return value;
}

// Checks the header against the payload and returns the kind, area/language and version.
struct Header {
  int kind = 0;
  int areaOrLanguage = 0;
  int version[3] = {};
};

Header CheckPackage(const QString& path) {
  const QByteArray file = TestSupport::ReadFile(path);
  Header header;
  EXPECT_GT(file.size(), kPayloadOffset + 4096) << path.toStdString();
  EXPECT_LE(file.size(), kPayloadOffset + 1024 * 1024) << path.toStdString();
  if (file.size() <= kPayloadOffset) return header;
  EXPECT_EQ(file.left(4), "V7PK") << path.toStdString();
  header.kind = quint8(file[4]);
  header.areaOrLanguage = quint8(file[5]);
  for (int i = 0; i < 3; ++i) header.version[i] = qint8(file[6 + i]);
  EXPECT_EQ(file[9], 0);
  EXPECT_EQ(file[18], 0);
  EXPECT_EQ(file[19], 0);
  const QByteArray payload = file.mid(kPayloadOffset);
  EXPECT_EQ(Le32(file, 10), quint32(payload.size())) << path.toStdString();
  const quint32 crc = quint32(crc32_z(
      crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(payload.constData()), size_t(payload.size())));
  EXPECT_EQ(Le32(file, 14), crc) << path.toStdString();
  // The free area describes the package in plain text.
  const QByteArray text = file.mid(kHeaderSize, kPayloadOffset - kHeaderSize);
  EXPECT_TRUE(text.startsWith("V770 demo package")) << path.toStdString();
  return header;
}

int CatalogueVersion(const QString& text) { return text.section(QLatin1Char('_'), 0, 0).toInt(); }

VersionInfo Catalogue() {
  VersionInfo info;
  EXPECT_TRUE(
      ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), info));
  return info;
}

UnitState DemoUnit() {
  QFile file(TestSupport::ShippedDataPath(QStringLiteral("../unitsim/demo-unit.json")));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QString error;
  auto state = UnitState::FromJson(QJsonDocument::fromJson(file.readAll()).object(), &error);
  EXPECT_TRUE(state.has_value()) << error.toStdString();
  return state.value_or(UnitState());
}

TEST(DemoContent, OnePackagePerCatalogueEntryWithAValidHeader) {
  const VersionInfo catalogue = Catalogue();
  ASSERT_FALSE(catalogue.listDB.isEmpty());
  ASSERT_FALSE(catalogue.listVoice.isEmpty());

  for (const VersionEntry& entry : catalogue.listDB) {
    const Header header = CheckPackage(kTree + "/DB/" + entry.strText + ".hdr");
    EXPECT_EQ(header.kind, 1);
    EXPECT_EQ(header.areaOrLanguage, entry.nIndex + 2) << entry.strText.toStdString();
    EXPECT_EQ((header.version[0] + 8) * 10000 + header.version[1] * 100 + header.version[2],
              CatalogueVersion(entry.strText));
  }
  for (const VersionEntry& entry : catalogue.listVoice) {
    const Header header = CheckPackage(kTree + "/Voice/" + entry.strText + ".hdr");
    EXPECT_EQ(header.kind, 2);
    EXPECT_EQ(header.areaOrLanguage, entry.nIndex);
    EXPECT_EQ(header.version[0] * 10000 + header.version[1] * 100 + header.version[2],
              CatalogueVersion(entry.strText));
  }
  const Header fw = CheckPackage(kTree + "/FW/" + catalogue.strFWFile + ".hdr");
  EXPECT_EQ(fw.kind, 3);
  EXPECT_EQ(fw.areaOrLanguage, 0);
  EXPECT_EQ(QStringLiteral("%1.%2").arg(fw.version[0]).arg(fw.version[1]), catalogue.strFWVersion);
  EXPECT_EQ(fw.version[2], 0);

  // Nothing else on the server.
  EXPECT_EQ(QDir(kTree + "/DB").entryList(QDir::Files).size(), catalogue.listDB.size());
  EXPECT_EQ(QDir(kTree + "/Voice").entryList(QDir::Files).size(), catalogue.listVoice.size());
  EXPECT_EQ(QDir(kTree + "/FW").entryList(QDir::Files).size(), 1);
}

TEST(DemoContent, DatabaseAndFirmwareAreNewerThanTheDemoUnit) {
  const VersionInfo catalogue = Catalogue();
  const UnitState::Reply reply = DemoUnit().VersionReply();
  const int area = qint8(reply[UnitState::kArea]);
  const int unitDB = (qint8(reply[UnitState::kDb1]) + 8) * 10000 + qint8(reply[UnitState::kDb2]) * 100 +
                     qint8(reply[UnitState::kDb3]);
  const VersionEntry* db = nullptr;
  for (const VersionEntry& entry : catalogue.listDB) {
    if (entry.nIndex == area - 2) db = &entry;
  }
  ASSERT_NE(db, nullptr) << "no catalogue entry for the demo unit's area " << area;
  EXPECT_GT(CatalogueVersion(db->strText), unitDB);

  const float unitFW = QStringLiteral("%1.%2")
                           .arg(qint8(reply[UnitState::kFwMajor]))
                           .arg(qint8(reply[UnitState::kFwMinor]))
                           .toFloat();
  EXPECT_GT(catalogue.strFWVersion.toFloat(), unitFW);
}

TEST(DemoContent, ManualPackListsAndHoldsTheServerPackages) {
  QTemporaryDir work;
  std::vector<int> positions;
  QString error;
  ASSERT_EQ(UnpackManualPack(
                kBuildData + "/demo/" + kManualPackFileName, work.path(),
                [&](int pos) { positions.push_back(pos); }, &error),
            1)
      << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 4}));

  const QStringList lines =
      QString::fromLatin1(TestSupport::ReadFile(work.filePath(QStringLiteral("ZipLIST.txt"))))
          .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  const QStringList keys = {QStringLiteral("DB_FNAME"), QStringLiteral("VOICE_FNAME"),
                            QStringLiteral("FW_FNAME")};
  const QStringList folders = {QStringLiteral("DB"), QStringLiteral("Voice"), QStringLiteral("FW")};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(lines[i].startsWith(keys[i] + "=")) << lines[i].toStdString();
    const QString name = lines[i].section(QLatin1Char('='), 1);
    const QByteArray unpacked = TestSupport::ReadFile(work.filePath(name));
    EXPECT_FALSE(unpacked.isEmpty()) << name.toStdString();
    EXPECT_EQ(unpacked, TestSupport::ReadFile(kTree + "/" + folders[i] + "/" + name)) << name.toStdString();
  }
}

TEST(DemoContent, GeneratorIsDeterministic) {
  QTemporaryDir first;
  QTemporaryDir second;
  const QString tool = QStringLiteral(V770_DEMO_GENERATOR);
  const QString description = TestSupport::ShippedDataPath(QStringLiteral("demo/demo-content.json"));
  for (const QTemporaryDir* out : {&first, &second}) {
    ASSERT_EQ(QProcess::execute(tool, {description, out->path()}), 0);
  }
  const QString pack = QStringLiteral("/demo/") + kManualPackFileName;
  EXPECT_EQ(TestSupport::ReadFile(first.path() + pack), TestSupport::ReadFile(second.path() + pack));
  EXPECT_EQ(TestSupport::ReadFile(first.path() + pack), TestSupport::ReadFile(kBuildData + pack));
}

}  // namespace
