#include "UpdateTestSupport.h"

#include <zip.h>

#include <QFile>
#include <QRandomGenerator>

#include "support/UnitEmulator.h"
#include "update/UpdateCatalogue.h"

namespace UpdateTestSupport {

bool StartUnit(UnitEmulator& unit) {
  const QJsonObject version{{"area", 2},    {"db1", 2},    {"db2", 4},    {"db3", 11}, {"fwmajor", 1},
                            {"fwminor", 5}, {"voice1", 1}, {"voice2", 2}, {"voice3", 3}};
  return unit.Start(QJsonObject{{"version", version}});
}

QByteArray Database(std::size_t payload, std::uint8_t area, std::uint8_t last) {
  return BuildPackage(PackageHeader::kDatabase, area, {2, 4, last}, payload);
}

QByteArray Firmware(std::uint8_t minor, std::size_t payload) {
  return BuildPackage(PackageHeader::kFirmware, 0, {1, minor, 0}, payload);
}

QByteArray BuildPackage(PackageHeader::Kind kind, std::uint8_t areaOrLanguage,
                        std::array<std::uint8_t, 3> version, std::size_t payloadSize, std::uint32_t seed) {
  std::vector<std::uint8_t> payload(payloadSize);
  QRandomGenerator generator(seed);
  for (std::uint8_t& byte : payload) byte = static_cast<std::uint8_t>(generator.bounded(256));
  const std::vector<std::uint8_t> file =
      PackageHeader::BuildFile(kind, areaOrLanguage, version, payload, "test package");
  return QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
}

QByteArray CorruptPackage(QByteArray package) {
  const qsizetype at = static_cast<qsizetype>(PackageHeader::kPayloadOffset) + 7;
  if (package.size() > at) package[at] = static_cast<char>(package[at] ^ 0x5A);
  return package;
}

bool PutOnServer(const QString& root, const char* folder, const QString& name, const QByteArray& package) {
  const QString path = root + UpdateCatalogue::kServerPath + '/' + folder + '/' + name + ".hdr";
  return TestSupport::WriteFile(path, package);
}

QJsonArray ReceivedPackages(const QJsonObject& status) { return status[QStringLiteral("packages")].toArray(); }

QStringList Received(UnitEmulator& unit) {
  QStringList packages;
  for (const QJsonValue& p : ReceivedPackages(unit.Status()))
    packages << p["kind"].toString() + ' ' + p["version"].toString()
                + (p["installed"].toBool() ? "" : " refused");
  return packages;
}

int LogCount(const QJsonObject& status, const char* channel, const char* event) {
  int count = 0;
  for (const QJsonValue& entry : status[QStringLiteral("log")][QString::fromLatin1(channel)].toArray())
    count += entry[QStringLiteral("event")].toString() == QLatin1String(event);
  return count;
}

bool MakeZip(const QString& path, const QList<std::pair<QString, QByteArray>>& items, bool store) {
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  for (const auto& [name, bytes] : items) {
    // The archive reads the bytes when it is closed; `items` outlives that.
    zip_source_t* source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
    const QByteArray utf8 = name.toUtf8();
    const zip_int64_t index = source ? zip_file_add(archive, utf8.constData(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      zip_source_free(source);  // none added: still the caller's
      zip_discard(archive);
      return false;
    }
    if (store) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  return zip_close(archive) == 0;
}

}  // namespace UpdateTestSupport
