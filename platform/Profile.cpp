#include "platform/Profile.h"

#include <QSettings>
#include <QStandardPaths>

namespace Profile {
namespace {
QString& OverridePath() {
  static QString path;
  return path;
}
}  // namespace

QString FilePath() {
  if (!OverridePath().isEmpty()) return OverridePath();
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/V770PCSoft.ini");
}

void SetFilePathForTesting(const QString& path) { OverridePath() = path; }

int GetProfileInt(const char* section, const char* key, int defaultValue) {
  QSettings settings(FilePath(), QSettings::IniFormat);
  bool ok = false;
  const int value =
      settings.value(QStringLiteral("%1/%2").arg(section, key), defaultValue).toInt(&ok);
  return ok ? value : defaultValue;
}

bool WriteProfileInt(const char* section, const char* key, int value) {
  QSettings settings(FilePath(), QSettings::IniFormat);
  settings.setValue(QStringLiteral("%1/%2").arg(section, key), value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

}  // namespace Profile
