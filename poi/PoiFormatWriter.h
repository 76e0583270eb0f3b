#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "poi/PoiFormat.h"
#include "poi/PoiTexts.h"

// Writes POIs in any of the formats the reader takes, so that reading the file gives the
// same texts back, in forms other tools read: GPX 1.1 and KML 2.2 as their schemas have
// them, with UTC times; CSV with the list's local dates and times (with seconds) under the
// header "date,time,latitude,longitude,heading,v770_direction"; the POI text file as ever.
// GPX keeps the heading in an extension element of this program's namespace; KML and CSV
// hold a course below 360 and, for a unit heading of 360 or more, the unit's own value
// beside it (KML ExtendedData, the v770_direction column).
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
