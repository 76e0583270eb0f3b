#include "app/OwnVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <array>

namespace {

// The marker is put together at run time, so this reader adds no stamp-like text of its own
// to the program file; the real stamp is also told apart by the four numbers after it.
QByteArray StampMarker() { return QByteArray("V770-FILE") + QByteArray("-VERSION:"); }

constexpr int kVersionParts = 4;
constexpr int kMaxPartDigits = 5;  // a 16-bit number has at most five digits

// Reads "a.b.c.d" at `at`, each number fitting 16 bits and the last not followed by a digit.
bool ParseVersion(QByteArrayView bytes, qsizetype at, std::array<uint16_t, kVersionParts>& parts) {
  for (int part = 0; part < kVersionParts; ++part) {
    if (part > 0) {
      if (at >= bytes.size() || bytes[at] != '.') return false;
      ++at;
    }
    uint32_t value = 0;
    int digits = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') {
      if (++digits > kMaxPartDigits) return false;
      value = value * 10 + uint32_t(bytes[at++] - '0');
    }
    if (digits == 0 || value > 0xFFFF) return false;
    parts[part] = uint16_t(value);
  }
  return true;
}

}  // namespace

bool GetOwnVersion(const QString& fileName, uint16_t* pMajor, uint16_t* pMinor, uint16_t* pBuild,
                   uint16_t* pRevision) {
  QFile file(fileName);
  if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) return false;
  const qint64 size = file.size();
  if (size <= 0) return false;
  // Program files are read through a mapping; a file that cannot be mapped is read whole.
  QByteArray whole;
  QByteArrayView bytes;
  if (uchar* mapped = file.map(0, size)) {
    bytes = QByteArrayView(mapped, size);
  } else {
    whole = file.readAll();
    bytes = whole;
  }

  const QByteArray marker = StampMarker();
  std::array<uint16_t, kVersionParts> parts{};
  for (qsizetype at = bytes.indexOf(marker); at >= 0; at = bytes.indexOf(marker, at + 1)) {
    if (!ParseVersion(bytes, at + marker.size(), parts)) continue;
    if (pMajor) *pMajor = parts[0];
    if (pMinor) *pMinor = parts[1];
    if (pBuild) *pBuild = parts[2];
    if (pRevision) *pRevision = parts[3];
    return true;
  }
  return false;
}

QString FindModuleFile(const QString& moduleName) {
  // Beside the running program first, then the working folder, then the search path.
  QStringList candidates;
  if (QCoreApplication::instance()) candidates << QDir(QCoreApplication::applicationDirPath()).filePath(moduleName);
  candidates << QDir::current().filePath(moduleName);
  for (const QString& candidate : candidates)
    if (QFileInfo(candidate).isFile()) return candidate;
  const QString onPath = QStandardPaths::findExecutable(moduleName);
  return onPath.isEmpty() ? moduleName : onPath;
}
