#include "app/OwnWorkingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <filesystem>

#include "app/WorkingFiles.h"
#include "text/ExtraTexts.h"

namespace {

constexpr const char* kShippedFromProgram = "../share/v770";

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// The copy keeps the installed file's time, so a later installation is told by a later
// time; it is put in place by a rename, so a copy cut short never stands as the file.
bool LayFile(const QString& from, const QString& to) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path part = FsPath(to + QStringLiteral(".part"));
  fs::copy_file(FsPath(from), part, fs::copy_options::overwrite_existing, error);
  if (!error) fs::last_write_time(part, fs::last_write_time(FsPath(from), error), error);
  if (!error) fs::rename(part, FsPath(to), error);
  if (error) fs::remove(part, error);
  return !error;
}

bool IsNewer(const QString& installed, const QString& laid) {
  std::error_code error, otherError;
  const auto installedTime = std::filesystem::last_write_time(FsPath(installed), error);
  const auto laidTime = std::filesystem::last_write_time(FsPath(laid), otherError);
  return !error && !otherError && installedTime > laidTime;
}

}  // namespace

OwnWorkingFolder OwnWorkingFolder::ForThisProgram(const QString& startFolder) {
  OwnWorkingFolder folder;
  folder.strStartFolder = startFolder;
  folder.strOwnFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .filePath(QString::fromLatin1(kFolderName));
  folder.strShippedFolder =
      QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kShippedFromProgram)));
  folder.strMarkerFile = QString::fromLatin1(WorkingFiles::kUITextFileName);
  folder.refreshedFiles = {QString::fromLatin1(WorkingFiles::kVersionFileName), QString::fromLatin1(kExtraTextFileName)};
  return folder;
}

QString OwnWorkingFolder::Choose() const {
  if (QFile::exists(QDir(strStartFolder).filePath(strMarkerFile))) return strStartFolder;
  const QDir shipped(strShippedFolder), own(strOwnFolder);
  if (strOwnFolder.isEmpty() || !shipped.exists(strMarkerFile) || !QDir().mkpath(strOwnFolder)) return strStartFolder;
  for (const QString& name : shipped.entryList(QDir::Files)) {
    const QString from = shipped.filePath(name), to = own.filePath(name);
    if (!QFile::exists(to) || (refreshedFiles.contains(name) && IsNewer(from, to))) LayFile(from, to);
  }
  return own.exists(strMarkerFile) ? strOwnFolder : strStartFolder;
}

QString EnterWorkingFolder() {
  const QString folder = OwnWorkingFolder::ForThisProgram(QDir::currentPath()).Choose();
  QDir::setCurrent(folder);
  return QDir::currentPath();
}
