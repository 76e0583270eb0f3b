#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <string>

#include "device/UnitLibrary.h"
#include "support/UnitEmulator.h"

// Points the unit library loader at another file for one test and back afterwards.
class LibraryNameScope {
 public:
  explicit LibraryNameScope(const std::string& name) { CUnitLibrary::SetLibraryNameForTesting(name); }
  ~LibraryNameScope() { CUnitLibrary::SetLibraryNameForTesting({}); }
  LibraryNameScope(const LibraryNameScope&) = delete;
  LibraryNameScope& operator=(const LibraryNameScope&) = delete;
};

// What the emulator received on a channel, oldest first.
inline QList<QByteArray> ReceivedOn(UnitEmulator& unit, const QString& channel) {
  QList<QByteArray> received;
  for (const auto& entry : unit.Status()[QStringLiteral("log")].toObject()[channel].toArray()) {
    const QJsonObject item = entry.toObject();
    if (item[QStringLiteral("event")].toString() == QStringLiteral("received"))
      received.append(QByteArray::fromHex(item[QStringLiteral("hex")].toString().toLatin1()));
  }
  return received;
}
