#pragma once

#include <QString>
#include <optional>

// The POI file formats the program reads and writes: its own text file, and the files of
// map tools (GPX 1.1 waypoints, KML 2.2 placemarks, CSV with a header line).
enum class PoiFormat { Text, Gpx, Kml, Csv };

inline constexpr PoiFormat kAllPoiFormats[] = {PoiFormat::Text, PoiFormat::Gpx, PoiFormat::Kml,
                                               PoiFormat::Csv};

// "txt", "gpx", "kml", "csv": the file suffix and the name a command line takes.
QString PoiFormatName(PoiFormat format);
std::optional<PoiFormat> PoiFormatFromName(const QString& name);

// The format a file name's suffix names, if any.
std::optional<PoiFormat> PoiFormatFromSuffix(const QString& path);

// File dialog filters in the current language: to open, every format together first; to
// save, one filter a format, in the order of kAllPoiFormats.
QString PoiOpenDialogFilter();
QString PoiSaveDialogFilter();

// Where an export goes and in which format: the path's own suffix decides when it names a
// format; otherwise the chosen filter does, and its suffix is added to the path.
struct PoiExportTarget {
  QString path;
  PoiFormat format = PoiFormat::Text;
};
PoiExportTarget PoiExportTargetFor(const QString& chosenPath, const QString& chosenFilter);
