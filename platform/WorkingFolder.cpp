#include "platform/WorkingFolder.h"

#include <QDir>

namespace WorkingFolder {

QString Current() { return QDir::currentPath(); }

QString FilePath(const QString& folder, const QString& fileName) {
  if (folder.isEmpty()) return fileName;
  return folder.endsWith(QLatin1Char('/')) ? folder + fileName : folder + QLatin1Char('/') + fileName;
}

}  // namespace WorkingFolder
