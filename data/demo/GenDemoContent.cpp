// Makes the demo content from its description: one package per catalogue entry, laid out as
// the update server's tree, and the manual pack with its list file.
//
//   v770-gen-demo DESCRIPTION.json OUTPUT_DATA_FOLDER
//
// writes OUTPUT/ftp/down/FW/V770/{DB,Voice,FW}/NAME.hdr and OUTPUT/demo/V770_manualPack.PCK.
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>
#include <vector>

#include "app/VersionFile.h"
#include "unitsim/PackageHeader.h"
#include "update/UnzipManualPack.h"

namespace {

constexpr const char* kServerTree = "ftp/down/FW/V770";
constexpr const char* kDemoFolder = "demo";
constexpr const char* kListFileName = "ZipLIST.txt";
// Database versions carry their first part less this in the unit's reply and the header.
constexpr int kDatabaseFirstPartOffset = 8;
// The area code of a database entry is its catalogue index plus this.
constexpr int kAreaCodeOffset = 2;
// Every item of the manual pack gets this time, so the pack is the same from build to build.
constexpr qint64 kPackItemTime = 1271030400;  // 2010-04-12

struct Package {
  PackageHeader::Kind kind;
  QString folder;  // on the server: DB, Voice or FW
  QString name;    // file name without ".hdr"
  int areaOrLanguage;
  std::array<int, 3> version;
  QString describe;
  std::vector<std::uint8_t> file;
};

[[noreturn]] void Die(const QString& message) {
  std::fprintf(stderr, "v770-gen-demo: %s\n", qPrintable(message));
  std::exit(1);
}

// Deterministic bytes for a package, from its name (splitmix64 seeded by FNV-1a).
std::vector<std::uint8_t> PayloadFor(const QString& name, qint64 size) {
  std::uint64_t state = 1469598103934665603ULL;
  for (char c : name.toUtf8()) state = (state ^ std::uint8_t(c)) * 1099511628211ULL;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 8 == 0) {
      std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      word = z ^ (z >> 31);
    }
    bytes[i] = std::uint8_t(word >> (8 * (i % 8)));
  }
  return bytes;
}

std::array<int, 3> SplitVersion(int number) { return {number / 10000, number / 100 % 100, number % 100}; }

void CheckVersionBytes(const Package& package) {
  for (int part : package.version) {
    if (part < 0 || part > 127)
      Die(QStringLiteral("version of %1 does not fit the header").arg(package.name));
  }
}

void Build(Package& package, qint64 payloadBytes) {
  CheckVersionBytes(package);
  const std::string description = QStringLiteral("V770 demo package\r\n%1\r\nFile: %2.hdr\r\n")
                                      .arg(package.describe, package.name)
                                      .toStdString();
  package.file = PackageHeader::BuildFile(
      package.kind, std::uint8_t(package.areaOrLanguage),
      {std::uint8_t(package.version[0]), std::uint8_t(package.version[1]), std::uint8_t(package.version[2])},
      PayloadFor(package.name, payloadBytes), description);
}

// The catalogue's version number: the text before the first "_".
int VersionOf(const QString& text) { return text.section(QLatin1Char('_'), 0, 0).toInt(); }

// The entry whose text holds "_" and the name after its first character, as the update
// page looks it up.
const Package* FindByName(const std::vector<Package>& packages, PackageHeader::Kind kind,
                          const QString& name) {
  const QString key = QLatin1Char('_') + name;
  for (const Package& package : packages) {
    if (package.kind == kind && package.name.indexOf(key) > 0) return &package;
  }
  return nullptr;
}

void WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size())) {
    Die(QStringLiteral("cannot write %1").arg(path));
  }
}

void WritePack(const QString& path, const std::vector<std::pair<QString, QByteArray>>& items) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile::remove(path);
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &error);
  if (!archive) Die(QStringLiteral("cannot create %1").arg(path));
  for (const auto& [name, bytes] : items) {
    zip_source_t* source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
    const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0 || zip_file_set_mtime(archive, zip_uint64_t(index), time_t(kPackItemTime), 0) != 0) {
      Die(QStringLiteral("cannot add %1 to %2").arg(name, path));
    }
  }
  if (zip_close(archive) != 0) Die(QStringLiteral("cannot write %1").arg(path));
}

QByteArray Bytes(const std::vector<std::uint8_t>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Die(QStringLiteral("usage: v770-gen-demo DESCRIPTION.json OUTPUT_DATA_FOLDER"));
  const QString descriptionPath = QString::fromLocal8Bit(argv[1]);
  const QDir output(QString::fromLocal8Bit(argv[2]));

  QFile descriptionFile(descriptionPath);
  if (!descriptionFile.open(QIODevice::ReadOnly)) Die(QStringLiteral("cannot read %1").arg(descriptionPath));
  const QJsonObject description = QJsonDocument::fromJson(descriptionFile.readAll()).object();
  const QJsonObject sizes = description.value(QStringLiteral("payloadBytes")).toObject();
  const QJsonObject pack = description.value(QStringLiteral("manualPack")).toObject();
  const QString cataloguePath =
      QFileInfo(descriptionPath)
          .dir()
          .filePath(QStringLiteral("../") + description.value(QStringLiteral("catalogue")).toString());

  VersionInfo catalogue;
  if (!ReadVersionFile(cataloguePath, catalogue)) Die(QStringLiteral("cannot read %1").arg(cataloguePath));
  if (catalogue.listDB.isEmpty() || catalogue.listVoice.isEmpty() || catalogue.strFWFile.isEmpty()) {
    Die(QStringLiteral("%1 announces no database, voice or firmware").arg(cataloguePath));
  }

  std::vector<Package> packages;
  for (const VersionEntry& entry : catalogue.listDB) {
    const int version = VersionOf(entry.strText);
    auto parts = SplitVersion(version);
    parts[0] -= kDatabaseFirstPartOffset;
    const int area = entry.nIndex + kAreaCodeOffset;
    packages.push_back({PackageHeader::kDatabase,
                        QStringLiteral("DB"),
                        entry.strText,
                        area,
                        parts,
                        QStringLiteral("Camera database %1, area code %2, version %3")
                            .arg(entry.strText.section(QLatin1Char('_'), -1))
                            .arg(area)
                            .arg(version),
                        {}});
  }
  for (const VersionEntry& entry : catalogue.listVoice) {
    const int version = VersionOf(entry.strText);
    packages.push_back({PackageHeader::kVoice,
                        QStringLiteral("Voice"),
                        entry.strText,
                        entry.nIndex,
                        SplitVersion(version),
                        QStringLiteral("Voice %1, language %2, version %3")
                            .arg(entry.strText.section(QLatin1Char('_'), -1))
                            .arg(entry.nIndex)
                            .arg(version),
                        {}});
  }
  const QStringList fwParts = catalogue.strFWVersion.split(QLatin1Char('.'));
  packages.push_back({PackageHeader::kFirmware,
                      QStringLiteral("FW"),
                      catalogue.strFWFile,
                      0,
                      {fwParts.value(0).toInt(), fwParts.value(1).toInt(), 0},
                      QStringLiteral("Firmware %1").arg(catalogue.strFWVersion),
                      {}});

  const std::map<PackageHeader::Kind, QString> sizeKeys = {
      {PackageHeader::kDatabase, QStringLiteral("database")},
      {PackageHeader::kVoice, QStringLiteral("voice")},
      {PackageHeader::kFirmware, QStringLiteral("firmware")}};
  for (Package& package : packages) {
    const qint64 size = sizes.value(sizeKeys.at(package.kind)).toInteger();
    if (size <= 0) Die(QStringLiteral("no payload size for %1").arg(sizeKeys.at(package.kind)));
    Build(package, size);
  }

  // The server tree holds only what this run made.
  QDir tree(output.filePath(QString::fromLatin1(kServerTree)));
  tree.removeRecursively();
  for (const Package& package : packages) {
    WriteFile(tree.filePath(package.folder + QLatin1Char('/') + package.name + QStringLiteral(".hdr")),
              package.file);
  }

  const Package* db =
      FindByName(packages, PackageHeader::kDatabase, pack.value(QStringLiteral("database")).toString());
  const Package* voice =
      FindByName(packages, PackageHeader::kVoice, pack.value(QStringLiteral("voice")).toString());
  const Package* fw = pack.value(QStringLiteral("firmware")).toBool() ? &packages.back() : nullptr;
  if (!db || !voice) Die(QStringLiteral("the manual pack names an entry the catalogue lacks"));

  QByteArray list;
  std::vector<std::pair<QString, QByteArray>> items;
  const auto add = [&](const char* key, const Package* package) {
    if (!package) return;
    const QString fileName = package->name + QStringLiteral(".hdr");
    list += QByteArray(key) + '=' + fileName.toUtf8() + "\r\n";
    items.emplace_back(fileName, Bytes(package->file));
  };
  add("DB_FNAME", db);
  add("VOICE_FNAME", voice);
  add("FW_FNAME", fw);
  items.insert(items.begin(), {QString::fromLatin1(kListFileName), list});
  WritePack(output.filePath(QString::fromLatin1(kDemoFolder) + QLatin1Char('/') +
                            QString::fromLatin1(kManualPackFileName)),
            items);

  std::printf("v770-gen-demo: %zu packages, manual pack of %zu items\n", packages.size(), items.size());
  return 0;
}
