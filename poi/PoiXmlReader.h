#pragma once

#include <QIODevice>
#include <stop_token>

#include "poi/PoiFileContent.h"

// The POIs of a GPX or KML document, read as a stream (a file of tens of megabytes is never
// held whole):
// - GPX (1.0 or 1.1): every waypoint (`wpt`) with its lat, lon, time, and as its heading
//   this program's own element (in `extensions`, or anywhere in the waypoint), else its
//   `course`; metadata, routes, tracks and other extensions are no POIs;
// - KML: every placemark with a Point, in any folder: its first Point's coordinates, its
//   TimeStamp/when, and as its heading this program's own ExtendedData value, else its icon
//   style's heading, else any heading it holds (a view's).
// The root element decides the format; any other XML is Foreign. `encoding` overrides what
// the document declares (null: as declared). A stop asked meanwhile gives Unreadable.
PoiFileContent ReadPoiXml(QIODevice& device, const char* encoding, const std::stop_token& stop);
