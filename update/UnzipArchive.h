#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <stop_token>

// Result codes of the unzip operations: 0 is success, every other value has a text
// (UnzipArchive::FormatMessage).
enum UnzipResult : int {
  ZR_OK = 0,
  ZR_NOFILE,    // the archive file cannot be opened
  ZR_NOTZIP,    // the file is not a ZIP archive or its directory is damaged
  ZR_NOTOPEN,   // no archive is open
  ZR_ARGS,      // no such item
  ZR_PASSWORD,  // the item is encrypted and cannot be read
  ZR_READ,      // the item's data cannot be read or is damaged
  ZR_WRITE,     // the output file cannot be written
  ZR_UNSAFE,    // the item's name is absolute or leads out of the output folder
  ZR_ABORT,     // a stop was asked before the item was written
  ZR_RESULT_COUNT
};

// What the archive says about one item.
struct UnzipEntry {
  // Input of GetItem: the item wanted (0 .. count - 1), or -1 to ask for the number of
  // items, which GetItem then stores here.
  qint64 index = -1;
  quint64 compressedSize = 0;
  quint64 uncompressedSize = 0;
  QDateTime modified;
  QString name;  // the name stored in the archive
};

struct zip;

// A ZIP archive opened for reading, with the five operations the manual pack needs: open,
// get item, item to file, close and the text of a result code.
class UnzipArchive {
 public:
  UnzipArchive() = default;
  ~UnzipArchive();  // closes the archive if still open
  UnzipArchive(const UnzipArchive&) = delete;
  UnzipArchive& operator=(const UnzipArchive&) = delete;

  int Open(const QString& fileName, const QByteArray& password = QByteArray());
  int GetItem(UnzipEntry& entry);
  // Writes the item into the file `name`, taken relative to the output folder. A name that
  // is absolute or climbs out of the output folder, or leads out of it through a symbolic
  // link (a folder on the way or the file itself), is refused (ZR_UNSAFE) and nothing is
  // written; a name ending in "/" makes a folder. The file appears only when complete: a
  // stop asked through `stop` ends the copy (ZR_ABORT) and leaves no file.
  int ItemToFile(const QString& name, const UnzipEntry& entry, const std::stop_token& stop = {});
  int Close();

  // Where relative names land; the working folder unless set.
  void SetOutputFolder(const QString& folder) { m_strOutputFolder = folder; }

  static QString FormatMessage(int code);

 private:
  QString OutputFolder() const;

  zip* m_archive = nullptr;
  QByteArray m_password;
  QString m_strOutputFolder;
};

// Whether an item name stays inside the folder it is unpacked into: not empty, not
// absolute (no leading separator, no drive letter), and never more ".." than folders before
// it. Both "/" and "\" count as separators.
bool IsSafeItemName(const QString& name);
