// The demo content made by the build: valid packages on the server and in the manual pack.
#include "UpdateTestSupport.h"
#include "app/VersionFile.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateCatalogue.h"

using namespace UpdateCatalogue;
using TestSupport::ReadFile;

namespace {

const QString kBuildData = QStringLiteral(V770_BUILD_DATA_DIR);
const QString kTree = kBuildData + QStringLiteral("/ftp/down/FW/V770");

// The header as the unit reads it; the unit installs only a payload of its length and CRC.
PackageHeader CheckPackage(const QString& path) {
  const QByteArray file = ReadFile(path), payload = file.mid(PackageHeader::kPayloadOffset);
  const auto bytes = [](const QByteArray& b) { return reinterpret_cast<const std::uint8_t*>(b.constData()); };
  std::string error;
  const std::size_t headerSize = std::min<std::size_t>(file.size(), PackageHeader::kSize);
  const auto header = PackageHeader::Parse(bytes(file), headerSize, &error);
  EXPECT_TRUE(header && !payload.isEmpty() && header->payloadLength == payload.size() &&
              header->payloadCrc == PackageHeader::Crc(bytes(payload), payload.size()))
      << path.toStdString() << ": " << error;
  return header.value_or(PackageHeader{});
}

// A package with a valid header for each catalogue entry; the manual pack holds the server's
// packages. (That the demo unit is older than the catalogue: the close test's download.)
TEST(DemoContent, ValidPackagesOnTheServerAndInTheManualPack) {
  VersionInfo catalogue;
  ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath("V770_VersionInfo_v12.txt"), catalogue));
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
  }
  const PackageHeader fw = CheckPackage(kTree + "/FW/" + catalogue.strFWFile + ".hdr");
  EXPECT_EQ(std::tuple(fw.kind, fw.areaOrLanguage, fw.version[2]), std::tuple(PackageHeader::kFirmware, 0, 0));
  EXPECT_EQ(QString::fromStdString(fw.VersionText()), catalogue.strFWVersion);

  QTemporaryDir work;
  QString error;
  const QString pack = QStringLiteral("/demo/") + kManualPackFileName;
  ASSERT_EQ(UnpackManualPack(kBuildData + pack, work.path(), [](int) {}, &error), 1) << error.toStdString();
  const auto list = ReadZipList(work.filePath(kZipListFileName));
  ASSERT_TRUE(list && list->bDB && list->bVoice && list->bFW);
  for (const auto& [name, folder] :
       {std::pair(list->strDB, "DB"), std::pair(list->strVoice, "Voice"), std::pair(list->strFW, "FW")})
    EXPECT_EQ(ReadFile(work.filePath(name)), ReadFile(kTree + "/" + folder + "/" + name))
        << name.toStdString();
}

}  // namespace
