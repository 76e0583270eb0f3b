#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "poi/PoiFormat.h"
#include "poi/PoiTexts.h"

// Writes POIs in any of the formats the reader takes, so that reading the file gives the
// same texts back. GPX and KML hold UTC times; CSV and the POI text file hold the list's
// local texts.
struct PoiWriteOutcome {
  enum Result { Written, BadRow, CannotWrite };
  Result result = Written;
  int badRow = -1;  // BadRow: the first row that cannot be written
};

// The file's bytes. For every format but Text the rows must pass CheckPoiTexts; the POI text
// file takes the rows as they stand, as the export and backup files do.
QByteArray FormatPois(PoiFormat format, const QList<PoiTexts>& rows);

// The check above alone: Written, or the first row the format cannot take.
PoiWriteOutcome CheckPoisFor(PoiFormat format, const QList<PoiTexts>& rows);

// Checks the rows as above, then writes the file whole: an old file of that name is only
// replaced once the new one is complete. A refusal writes nothing.
PoiWriteOutcome WritePoiFile(const QString& path, PoiFormat format, const QList<PoiTexts>& rows);

// The message for a refusal, in the current language (row numbers counted from 1).
QString PoiWriteErrorText(const PoiWriteOutcome& outcome, const QString& path);
