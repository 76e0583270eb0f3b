#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>

#include "support/TestSupport.h"
#include "unitsim/PackageHeader.h"

class UnitEmulator;

// Packages, FTP trees and ZIP archives for the update tests, and what they all include.
namespace UpdateTestSupport {

inline constexpr int kRunTimeoutMs = 60000;

// The unit of the tests: Europe (area 2) database 100411, firmware 1.5, English voice 10203.
bool StartUnit(UnitEmulator& unit);

// A package file the emulated unit installs, with `payloadSize` pseudo-random payload bytes.
QByteArray BuildPackage(PackageHeader::Kind kind, std::uint8_t areaOrLanguage,
                        std::array<std::uint8_t, 3> version, std::size_t payloadSize,
                        std::uint32_t seed = 1);
// A database package for Europe (or `area`), version 1.0.4.`last`; a firmware 1.`minor`.
QByteArray Database(std::size_t payload, std::uint8_t area = 2, std::uint8_t last = 12);
QByteArray Firmware(std::uint8_t minor, std::size_t payload);
// The same package with one payload byte flipped: the unit refuses its CRC.
QByteArray CorruptPackage(QByteArray package);
// Writes "<root>/down/FW/V770/<folder>/<name>.hdr".
bool PutOnServer(const QString& root, const char* folder, const QString& name, const QByteArray& package);
// The packages the unit was sent (its status), oldest first.
QJsonArray ReceivedPackages(const QJsonObject& status);
// The same as "kind version" each, with " refused" for one the unit did not install.
QStringList Received(UnitEmulator& unit);
// How often the unit's log shows `event` ("opened", "closed") on a channel.
int LogCount(const QJsonObject& status, const char* channel, const char* event);

// While it lives, no file of this process grows past `bytes`: a write beyond fails as on a
// full disk.
struct FullDisk {
  explicit FullDisk(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit tiny{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &tiny);
  }
  ~FullDisk() { setrlimit(RLIMIT_FSIZE, &saved); }
  rlimit saved{};
};

// A ZIP archive of (name, bytes) items, names unchecked, data deflated or stored.
bool MakeZip(const QString& path, const QList<std::pair<QString, QByteArray>>& items, bool store = false);

}  // namespace UpdateTestSupport
