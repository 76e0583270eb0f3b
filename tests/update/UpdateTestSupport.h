#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <array>
#include <cstdint>

#include "unitsim/PackageHeader.h"

// Packages and FTP trees for the update tests.
namespace UpdateTestSupport {

// A whole package file the emulated unit installs: header with length and CRC of a payload
// of `payloadSize` pseudo-random bytes.
QByteArray BuildPackage(PackageHeader::Kind kind, std::uint8_t areaOrLanguage,
                        std::array<std::uint8_t, 3> version, std::size_t payloadSize,
                        std::uint32_t seed = 1);

// The same package with one payload byte flipped: the unit refuses its CRC.
QByteArray CorruptPackage(QByteArray package);

// Writes "<root>/down/FW/V770/<folder>/<name>.hdr".
bool PutOnServer(const QString& root, const char* folder, const QString& name,
                 const QByteArray& package);

// The packages the unit was sent (its status), oldest first.
QJsonArray ReceivedPackages(const QJsonObject& status);

}  // namespace UpdateTestSupport
