#include "update/UnzipArchive.h"

#include <zip.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <array>

#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"
#include "update/FolderGuard.h"

namespace {

constexpr qint64 kReadBlockSize = 64 * 1024;

// The text of each result code, in the current language; a stop has its own.
constexpr std::array<ExtraTextId, ZR_ABORT> kResultTexts = {
    ExtraTextId::UNZIP_OK,         ExtraTextId::UNZIP_NO_FILE,      ExtraTextId::UNZIP_NOT_ZIP,
    ExtraTextId::UNZIP_NOT_OPEN,   ExtraTextId::UNZIP_NO_ITEM,      ExtraTextId::UNZIP_ENCRYPTED,
    ExtraTextId::UNZIP_READ_FAILED, ExtraTextId::UNZIP_WRITE_FAILED, ExtraTextId::UNZIP_UNSAFE_NAME,
};

int OpenFailure(int zipError) {
  switch (zipError) {
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
      return ZR_NOFILE;
    default:
      return ZR_NOTZIP;
  }
}

}  // namespace

bool IsSafeItemName(const QString& name) {
  QString path = name;
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (path.isEmpty() || path.startsWith(QLatin1Char('/'))) return false;
  if (path.size() >= 2 && path[1] == QLatin1Char(':')) return false;  // a drive letter
  int depth = 0;
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String("..")) {
      if (--depth < 0) return false;
    } else if (part != QLatin1String(".")) {
      ++depth;
    }
  }
  return true;
}

UnzipArchive::~UnzipArchive() { Close(); }

int UnzipArchive::Open(const QString& fileName, const QByteArray& password) {
  Close();
  int error = ZIP_ER_OK;
  m_archive = zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!m_archive) return OpenFailure(error);
  m_password = password;
  return ZR_OK;
}

int UnzipArchive::GetItem(UnzipEntry& entry) {
  if (!m_archive) return ZR_NOTOPEN;
  const zip_int64_t count = zip_get_num_entries(m_archive, 0);
  if (entry.index == -1) {
    entry.index = count;
    return ZR_OK;
  }
  if (entry.index < 0 || entry.index >= count) return ZR_ARGS;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(m_archive, static_cast<zip_uint64_t>(entry.index), ZIP_FL_ENC_GUESS, &stat) != 0) {
    return ZR_READ;
  }
  entry.name = (stat.valid & ZIP_STAT_NAME) ? QString::fromUtf8(stat.name) : QString();
  entry.compressedSize = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
  entry.uncompressedSize = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
  entry.modified = (stat.valid & ZIP_STAT_MTIME) ? QDateTime::fromSecsSinceEpoch(stat.mtime) : QDateTime();
  return ZR_OK;
}

QString UnzipArchive::OutputFolder() const {
  return m_strOutputFolder.isEmpty() ? WorkingFolder::Current() : m_strOutputFolder;
}

int UnzipArchive::ItemToFile(const QString& name, const UnzipEntry& entry, const std::stop_token& stop) {
  if (!m_archive) return ZR_NOTOPEN;
  if (!IsSafeItemName(name)) return ZR_UNSAFE;
  if (entry.index < 0 || entry.index >= zip_get_num_entries(m_archive, 0)) return ZR_ARGS;

  QString relative = name;
  relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QDir folder(OutputFolder());
  const QString target = QDir::cleanPath(folder.absoluteFilePath(relative));
  const bool isFolder = relative.endsWith(QLatin1Char('/'));
  const QString parent = isFolder ? target : QFileInfo(target).absolutePath();
  // A folder on the way, or the file itself, may be a link to somewhere else.
  if (!StaysInFolder(folder.absolutePath(), parent) || !StaysInFolder(folder.absolutePath(), target))
    return ZR_UNSAFE;
  if (!QDir().mkpath(parent)) return ZR_WRITE;
  if (isFolder) return ZR_OK;

  zip_file_t* item = m_password.isEmpty()
                         ? zip_fopen_index(m_archive, static_cast<zip_uint64_t>(entry.index), 0)
                         : zip_fopen_index_encrypted(m_archive, static_cast<zip_uint64_t>(entry.index), 0,
                                                     m_password.constData());
  if (!item) {
    const int error = zip_error_code_zip(zip_get_error(m_archive));
    return (error == ZIP_ER_NOPASSWD || error == ZIP_ER_WRONGPASSWD || error == ZIP_ER_ENCRNOTSUPP)
               ? ZR_PASSWORD
               : ZR_READ;
  }
  QSaveFile file(target);
  int result = file.open(QIODevice::WriteOnly) ? ZR_OK : ZR_WRITE;
  QByteArray block(kReadBlockSize, Qt::Uninitialized);
  while (result == ZR_OK) {
    if (stop.stop_requested()) {
      result = ZR_ABORT;
      break;
    }
    // libzip checks the item's CRC when its end is read and fails the read on a mismatch.
    const zip_int64_t got = zip_fread(item, block.data(), static_cast<zip_uint64_t>(block.size()));
    if (got < 0) result = ZR_READ;
    if (got <= 0) break;
    if (file.write(block.constData(), got) != got) result = ZR_WRITE;
  }
  zip_fclose(item);
  if (result == ZR_OK && !file.commit()) result = ZR_WRITE;
  return result;  // an uncommitted file is removed with its temporary name
}

int UnzipArchive::Close() {
  if (!m_archive) return ZR_NOTOPEN;
  zip_discard(m_archive);  // opened read-only: nothing to write back
  m_archive = nullptr;
  m_password.clear();
  return ZR_OK;
}

QString UnzipArchive::FormatMessage(int code) {
  if (code == ZR_ABORT) return ExtraText(ExtraTextId::UNZIP_STOPPED);
  if (code < 0 || code >= ZR_RESULT_COUNT) return ExtraText(ExtraTextId::UNZIP_UNKNOWN_ERROR).arg(code);
  return ExtraText(kResultTexts[static_cast<std::size_t>(code)]);
}
