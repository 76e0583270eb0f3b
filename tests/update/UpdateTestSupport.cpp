#include "UpdateTestSupport.h"

#include <QRandomGenerator>

#include "support/TestSupport.h"
#include "update/UpdateCatalogue.h"

namespace UpdateTestSupport {

QByteArray BuildPackage(PackageHeader::Kind kind, std::uint8_t areaOrLanguage,
                        std::array<std::uint8_t, 3> version, std::size_t payloadSize,
                        std::uint32_t seed) {
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

bool PutOnServer(const QString& root, const char* folder, const QString& name,
                 const QByteArray& package) {
  return TestSupport::WriteFile(QStringLiteral("%1%2/%3/%4.hdr")
                                    .arg(root, QString::fromLatin1(UpdateCatalogue::kServerPath),
                                         QString::fromLatin1(folder), name),
                                package);
}

QJsonArray ReceivedPackages(const QJsonObject& status) { return status[QStringLiteral("packages")].toArray(); }

}  // namespace UpdateTestSupport
