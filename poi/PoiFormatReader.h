#pragma once

#include <QByteArrayView>
#include <QString>
#include <stop_token>

#include "poi/PoiFileContent.h"

// Reads a POI file in any format the program takes; the format is recognised from the
// content, never from the name:
// - a KMZ (a ZIP archive): its first KML document;
// - text in UTF-8, in UTF-16 or UTF-32 with a byte-order mark, or in UTF-16 without one;
// - XML: GPX or KML (PoiXmlReader); a CSV header line: CSV (PoiCsvReader);
// - text with a line shaped like the program's own ("date,time,latitude,longitude,heading,"
//   with numbers for the place): the program's own POI text file, read line by line as
//   ever (PoiFile::Parse), up to 1 MB;
// - anything else (blank, binary, another archive, other text) is Foreign.
// Files of map tools are read up to 64 MB. A stop asked meanwhile gives Unreadable.
PoiFileContent ReadPoiContent(QByteArrayView bytes, const std::stop_token& stop = {});
PoiFileContent ReadPoiFile(const QString& path, const std::stop_token& stop = {});
