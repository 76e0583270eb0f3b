#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include "poi/PoiFormat.h"
#include "poi/PoiTexts.h"

// What a POI file holds, in whichever format it is written; the format is recognised from
// the content, never from the name:
// - GPX: every waypoint (`wpt`) with its lat, lon, time and course (0 when it has none);
//   metadata, routes, tracks and extensions are no POIs;
// - KML: every placemark with a Point, in any folder, its time from TimeStamp/when and its
//   heading from its icon style's heading, else any heading it holds, else 0;
// - CSV: a header line naming the columns date, time, latitude, longitude and heading in any
//   order (heading may be missing: 0), comma or semicolon separated; with semicolons a
//   decimal comma is read too; any byte-order mark, CR LF or LF;
// - anything else is the program's own POI text file, read line by line as ever.
// Times of GPX and KML are UTC unless they say otherwise; all come out as the local date
// and time the list shows. Coordinates come out rounded to five decimals. Texts that make
// no POI (no time, a year the unit cannot hold, a latitude beyond 90 degrees) are passed on
// as they are, for the import's check to count.
struct PoiFileContent {
  enum Status {
    Read,
    Unreadable,    // cannot be opened or read, or far too large (the program's own file: a POI list)
    Unrecognised,  // XML, but neither GPX nor KML
    Malformed,     // GPX or KML that is not well-formed XML; nothing of it is taken
  };
  Status status = Read;
  PoiFormat format = PoiFormat::Text;
  QList<PoiTexts> pois;  // in file order
  qint64 errorLine = 0;  // Malformed: the line where reading stopped

  bool operator==(const PoiFileContent&) const = default;
};

PoiFileContent ReadPoiContent(QByteArrayView bytes);
PoiFileContent ReadPoiFile(const QString& path);

// The message for a file that could not be taken, in the current language; empty for one
// that was read.
QString PoiFileErrorText(const PoiFileContent& content, const QString& path);
