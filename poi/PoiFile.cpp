#include "poi/PoiFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

#include "platform/WorkingFolder.h"

namespace PoiFile {
namespace {

constexpr int kFieldCount = 5;

QString TimedName(const char* format, const QDateTime& localTime) {
  const QDate date = localTime.date();
  const QTime time = localTime.time();
  return QString::asprintf(format, date.year() - PoiConstants::kFileYearBase, date.month(), date.day(), time.hour(),
                           time.minute(), time.second());
}

}  // namespace

QString ExportFileName(const QDateTime& localTime) { return TimedName(PoiConstants::kExportNameFormat, localTime); }

QString BackupFileName(const QDateTime& localTime) { return TimedName(PoiConstants::kBackupNameFormat, localTime); }

QByteArray FormatLine(const PoiTexts& texts) {
  QByteArray line;
  for (const QString* field : {&texts.date, &texts.time, &texts.latitude, &texts.longitude, &texts.heading}) {
    line += field->toLocal8Bit();
    line += ',';
  }
  line += "\r\n";
  return line;
}

PoiTexts ParseLine(QByteArrayView line) {
  QString fields[kFieldCount];
  qsizetype start = 0;
  for (QString& field : fields) {
    const qsizetype comma = line.indexOf(',', start);
    if (comma < 0) break;
    field = QString::fromLocal8Bit(line.sliced(start, comma - start));
    start = comma + 1;
  }
  return {fields[0], fields[1], fields[2], fields[3], fields[4]};
}

QList<PoiTexts> Parse(QByteArrayView bytes) {
  QList<PoiTexts> rows;
  qsizetype start = 0;
  while (start < bytes.size()) {
    qsizetype end = bytes.indexOf('\n', start);
    const qsizetype next = end < 0 ? bytes.size() : end + 1;
    if (end < 0) end = bytes.size();
    if (end > start && bytes[end - 1] == '\r' && end < bytes.size()) --end;
    rows.append(ParseLine(bytes.sliced(start, end - start)));
    start = next;
  }
  return rows;
}

}  // namespace PoiFile

namespace {

// Writes the lines to a new file in the folder, never over an earlier one (POIs it kept would
// be lost); the name written, or nothing when it cannot.
QString WriteLines(const QString& folder, const QString& name, const QList<PoiTexts>& rows) {
  QString free = name;
  for (int n = 2; QFileInfo::exists(WorkingFolder::FilePath(folder, free)); ++n)
    free = QStringLiteral("%1_%2.%3").arg(QFileInfo(name).completeBaseName()).arg(n).arg(QFileInfo(name).suffix());
  QSaveFile file(WorkingFolder::FilePath(folder, free));
  if (!file.open(QIODevice::WriteOnly)) return {};
  for (const PoiTexts& texts : rows) file.write(PoiFile::FormatLine(texts));
  return file.commit() ? free : QString();
}

PoiTexts Trimmed(const PoiTexts& texts) {
  return {texts.date.trimmed(), texts.time.trimmed(), texts.latitude.trimmed(), texts.longitude.trimmed(),
          texts.heading.trimmed()};
}

}  // namespace

QList<PoiTexts> ExportPoiFile(const QString& folder, const QDateTime& localTime, const PoiRecordTable& table,
                              int count, QString* fileName) {
  QList<PoiTexts> rows;
  for (int slot = 0; slot < std::min(count, PoiRecordTable::kSlotCount); ++slot)
    if (!table.Slot(slot).IsEmpty()) rows.append(DecodePoiRecord(table.Slot(slot)));
  const QString written = WriteLines(folder, PoiFile::ExportFileName(localTime), rows);
  if (fileName) *fileName = written;
  return rows;
}

PoiConversion SavePoiBackup(const QString& folder, const QDateTime& localTime, const QList<PoiTexts>& rows,
                            PoiRecordTable& table) {
  if (rows.size() > PoiRecordTable::kSlotCount) return {PoiConversion::TooManyRows, -1};
  for (qsizetype r = 0; r < rows.size(); ++r)
    if (!CheckPoiTexts(rows[r])) return {PoiConversion::BadRow, static_cast<int>(r)};
  // Blanks around a text mean nothing to the unit; the packing must not see them.
  for (qsizetype r = 0; r < rows.size(); ++r) table.Slot(static_cast<int>(r)) = EncodePoiRecord(Trimmed(rows[r]));
  WriteLines(folder, PoiFile::BackupFileName(localTime), rows);
  return {};
}
