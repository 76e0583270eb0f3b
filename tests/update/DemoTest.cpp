// The demo content made by the build: valid packages, a manual pack, something to update.
#include <QJsonDocument>
#include <QProcess>

#include "UpdateTestSupport.h"
#include "app/VersionFile.h"
#include "unitsim/UnitState.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateCatalogue.h"

using namespace UpdateCatalogue;

namespace {

const QString kBuildData = QStringLiteral(V770_BUILD_DATA_DIR);
const QString kTree = kBuildData + QStringLiteral("/ftp/down/FW/V770");

// The header as the unit reads it, checked against the payload and the free area.
PackageHeader CheckPackage(const QString& path) {
  const QByteArray file = TestSupport::ReadFile(path);
  const std::size_t offset = PackageHeader::kPayloadOffset;
  EXPECT_GT(file.size(), qsizetype(offset)) << path.toStdString();
  if (file.size() <= qsizetype(offset)) return {};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData());
  std::string error;
  const auto header = PackageHeader::Parse(bytes, PackageHeader::kSize, &error);
  EXPECT_TRUE(header.has_value()) << path.toStdString() << ": " << error;
  if (!header) return {};
  const auto rebuilt = header->Bytes();  // the unused bytes are zero
  EXPECT_EQ(file.left(PackageHeader::kSize), QByteArray(reinterpret_cast<const char*>(rebuilt.data()), rebuilt.size()));
  EXPECT_EQ(header->payloadLength, file.size() - offset) << path.toStdString();
  EXPECT_EQ(header->payloadCrc, PackageHeader::Crc(bytes + offset, file.size() - offset)) << path.toStdString();
  EXPECT_TRUE(file.mid(PackageHeader::kSize).startsWith("V770 demo package")) << path.toStdString();
  return *header;
}

VersionInfo Catalogue() {
  VersionInfo info;
  EXPECT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), info));
  return info;
}

TEST(DemoContent, OnePackagePerCatalogueEntryWithAValidHeader) {
  const VersionInfo catalogue = Catalogue();
  ASSERT_FALSE(catalogue.listDB.isEmpty() || catalogue.listVoice.isEmpty());
  for (const auto& [folder, list, kind, codeOffset] :
       {std::tuple("DB", catalogue.listDB, PackageHeader::kDatabase, kDBAreaCodeOffset),
        std::tuple("Voice", catalogue.listVoice, PackageHeader::kVoice, 0)}) {
    for (const VersionEntry& entry : list) {
      const PackageHeader header = CheckPackage(kTree + "/" + folder + "/" + entry.strText + ".hdr");
      EXPECT_EQ(header.kind, kind);
      EXPECT_EQ(header.areaOrLanguage, entry.nIndex + codeOffset) << entry.strText.toStdString();
      EXPECT_EQ(QString::fromStdString(header.VersionText()), entry.strText.section('_', 0, 0));
    }
    EXPECT_EQ(QDir(kTree + "/" + folder).entryList(QDir::Files).size(), list.size());  // nothing else
  }
  const PackageHeader fw = CheckPackage(kTree + "/FW/" + catalogue.strFWFile + ".hdr");
  EXPECT_EQ(std::tuple(fw.kind, fw.areaOrLanguage, fw.version[2]), std::tuple(PackageHeader::kFirmware, 0, 0));
  EXPECT_EQ(QString::fromStdString(fw.VersionText()), catalogue.strFWVersion);
  EXPECT_EQ(QDir(kTree + "/FW").entryList(QDir::Files).size(), 1);
}
// The demo unit is older than the catalogue; the manual pack holds the server's packages; the
// generator makes the same content every time.
TEST(DemoContent, TheDemoHasSomethingToUpdateAutomaticallyAndByHand) {
  QFile file(TestSupport::ShippedDataPath(QStringLiteral("../unitsim/demo-unit.json")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const auto state = UnitState::FromJson(QJsonDocument::fromJson(file.readAll()).object(), nullptr);
  ASSERT_TRUE(state.has_value());
  const auto unit = UnitVersions::FromReply(reinterpret_cast<const std::int8_t*>(state->VersionReply().data()));
  const VersionInfo catalogue = Catalogue();
  const int position = SelectUnitDBArea(catalogue.listDB, unit);
  ASSERT_EQ(catalogue.listDB.value(position).nIndex, unit.nDBArea - kDBAreaCodeOffset) << "no demo area entry";
  EXPECT_GT(EntryVersion(catalogue.listDB[position].strText), unit.nDBVersion);
  EXPECT_TRUE(IsFirmwareNewer(catalogue.strFWVersion, unit));

  QTemporaryDir work;
  std::vector<int> positions;
  QString error;
  const QString pack = QStringLiteral("/demo/") + kManualPackFileName;
  ASSERT_EQ(UnpackManualPack(kBuildData + pack, work.path(), [&](int pos) { positions.push_back(pos); }, &error), 1)
      << error.toStdString();
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 4}));
  const auto list = ReadZipList(work.filePath(kZipListFileName));
  ASSERT_TRUE(list && list->bDB && list->bVoice && list->bFW);
  for (const auto& [name, folder] : {std::pair(list->strDB, "DB"), std::pair(list->strVoice, "Voice"),
                                     std::pair(list->strFW, "FW")}) {
    const QByteArray unpacked = TestSupport::ReadFile(work.filePath(name));
    EXPECT_FALSE(unpacked.isEmpty()) << name.toStdString();
    EXPECT_EQ(unpacked, TestSupport::ReadFile(kTree + "/" + folder + "/" + name)) << name.toStdString();
  }

  QTemporaryDir first, second;
  const QString description = TestSupport::ShippedDataPath(QStringLiteral("demo/demo-content.json"));
  for (const QTemporaryDir* out : {&first, &second})
    ASSERT_EQ(QProcess::execute(QStringLiteral(V770_DEMO_GENERATOR), {description, out->path()}), 0);
  EXPECT_EQ(TestSupport::ReadFile(first.path() + pack), TestSupport::ReadFile(second.path() + pack));
  EXPECT_EQ(TestSupport::ReadFile(first.path() + pack), TestSupport::ReadFile(kBuildData + pack));
}

}  // namespace
