#pragma once

#include <QList>
#include <vector>

#include "poi/PoiFormat.h"
#include "poi/PoiTexts.h"
#include "poi/ToolPoi.h"

// What a POI file holds, in whichever format it is written.
struct PoiFileContent {
  enum Status {
    Read,
    Unreadable,  // cannot be opened or read, damaged as an archive, or far too large
    Foreign,     // not a POI file the program reads: blank, binary, another archive, other text
    Malformed,   // GPX or KML that is not well-formed XML; nothing of it is taken
  };
  Status status = Read;
  PoiFormat format = PoiFormat::Text;
  QList<PoiTexts> lines;      // the program's own file: its lines as they stand
  std::vector<ToolPoi> pois;  // GPX, KML (also from a KMZ), CSV: every POI, in file order
  qint64 errorLine = 0;       // Malformed: the line where reading stopped

  static PoiFileContent Refused(Status status, PoiFormat format = PoiFormat::Text, qint64 errorLine = 0) {
    PoiFileContent content;
    content.status = status;
    content.format = format;
    content.errorLine = errorLine;
    return content;
  }

  bool operator==(const PoiFileContent&) const = default;
};
