#pragma once

#include <QByteArray>
#include <stop_token>

// A KMZ, as map sites hand out KML: a ZIP archive whose first ".kml" item is the document.
struct KmzEntry {
  enum Result {
    Taken,
    NotAnArchive,  // not a ZIP archive, or its directory is damaged
    NoKml,         // an archive, but no KMZ
    Refused,       // the item's name climbs out of a folder, it is too large, or damaged
  };
  Result result = NotAnArchive;
  QByteArray kml;  // Taken: the document
};

// Whether the bytes begin like a ZIP archive.
bool LooksLikeZip(QByteArrayView head);

// The first ".kml" item of the archive, at most `maxBytes` once unpacked. Its name passes
// the manual pack's check of item names; libzip checks the archive's consistency and the
// item's CRC. A stop asked meanwhile refuses the item.
KmzEntry FirstKmlEntry(const QByteArray& archive, qint64 maxBytes, const std::stop_token& stop);
