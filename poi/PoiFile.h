#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include "poi/PoiRecordTable.h"
#include "poi/PoiTexts.h"

// POI text files: one POI a line, "date,time,latitude,longitude,heading," and CR LF.
namespace PoiFile {

// "POI_YYMMDD_hhmmss.txt" and "POI_SAVE_YYMMDD_hhmmss.txt" with the year counted from 2007.
QString ExportFileName(const QDateTime& localTime);
QString BackupFileName(const QDateTime& localTime);

QByteArray FormatLine(const PoiTexts& texts);

// The five fields of one line (its line end already taken off): the text before the first
// comma, then each text up to the next comma; a field without its closing comma is empty and
// what follows the fifth comma is ignored. Nothing is trimmed or checked.
PoiTexts ParseLine(QByteArrayView line);

// A POI list holds at most a hundred short lines; a file this large is no POI list and is
// refused before it is read.
inline constexpr qint64 kMaxFileBytes = 1024 * 1024;

// Every line of a file's bytes: lines end at LF, a CR before it is dropped.
QList<PoiTexts> Parse(QByteArrayView bytes);

}  // namespace PoiFile

// After a read: decodes the non-empty slots 0 to count - 1 in order and writes each to a
// new export file in `folder`; returns the texts of the POIs to show. A file that cannot
// be created is skipped (`fileName`, when given, receives the name written, else nothing);
// the POIs are returned all the same. An export or backup file never replaces another: a
// second one within the same second is named with "_2", "_3" ... before ".txt".
QList<PoiTexts> ExportPoiFile(const QString& folder, const QDateTime& localTime, const PoiRecordTable& table,
                              int count, QString* fileName = nullptr);

struct PoiConversion {
  enum Result { Done, TooManyRows, BadRow } result = Done;
  int badRow = -1;  // the first row the record cannot keep, for BadRow
};

// Before a save: converts the list's rows, in display order, into slots 0 to rows - 1 and
// writes them to a new backup file in `folder`. Refuses more rows than the table has and
// rows the record cannot keep exactly (CheckPoiTexts); a refusal leaves the table and the
// folder as they were.
PoiConversion SavePoiBackup(const QString& folder, const QDateTime& localTime, const QList<PoiTexts>& rows,
                            PoiRecordTable& table);
