#pragma once

#include <QStringView>

#include "poi/PoiFileContent.h"

// CSV of a spreadsheet, of this program, or of GPSBabel's "unicsv": a header line names the
// columns, in any order and any case, comma or semicolon separated (with semicolons a
// decimal comma is read too), any byte-order mark, CR LF or LF:
// - latitude or lat, longitude or lon, long, lng: the place (both are needed);
// - heading, head or course: a course in degrees; v770_direction: the unit's own heading;
// - date and time: local; utc_d and utc_t (or utc_date, utc_time): UTC, taken first. Dates
//   "2009/03/15" or "2009-03-15", times "07:45", "07:45:30" or "07:45:30.25"; a date with
//   an empty time is 00:00 of that day.
// Other columns (a number, a name) are left aside.

// Whether the text's first line is such a header.
bool HasPoiCsvHeader(QStringView text);
// Every row below the header; Foreign when there is no header.
PoiFileContent ReadPoiCsv(QStringView text);
