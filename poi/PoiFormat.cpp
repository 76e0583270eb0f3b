#include "poi/PoiFormat.h"

#include <QFileInfo>
#include <QStringList>

#include "text/ExtraTexts.h"

namespace {

ExtraTextId FilterTextOf(PoiFormat format) {
  switch (format) {
    case PoiFormat::Gpx:
      return ExtraTextId::POI_FILTER_GPX;
    case PoiFormat::Kml:
      return ExtraTextId::POI_FILTER_KML;
    case PoiFormat::Csv:
      return ExtraTextId::POI_FILTER_CSV;
    case PoiFormat::Text:
      break;
  }
  return ExtraTextId::POI_FILTER_TEXT;
}

// The file patterns of a format; KML is also read from the archives map sites hand out.
QString Pattern(PoiFormat format, bool reading = false) {
  const QString pattern = QStringLiteral("*.") + PoiFormatName(format);
  return reading && format == PoiFormat::Kml ? pattern + QStringLiteral(" *.kmz") : pattern;
}

QString FilterOf(PoiFormat format, bool reading = false) {
  return QStringLiteral("%1 (%2)").arg(ExtraText(FilterTextOf(format)), Pattern(format, reading));
}

}  // namespace

QString PoiFormatName(PoiFormat format) {
  switch (format) {
    case PoiFormat::Gpx:
      return QStringLiteral("gpx");
    case PoiFormat::Kml:
      return QStringLiteral("kml");
    case PoiFormat::Csv:
      return QStringLiteral("csv");
    case PoiFormat::Text:
      break;
  }
  return QStringLiteral("txt");
}

std::optional<PoiFormat> PoiFormatFromName(const QString& name) {
  for (PoiFormat format : kAllPoiFormats)
    if (name.compare(PoiFormatName(format), Qt::CaseInsensitive) == 0) return format;
  return std::nullopt;
}

std::optional<PoiFormat> PoiFormatFromSuffix(const QString& path) {
  return PoiFormatFromName(QFileInfo(path).suffix());
}

QString PoiOpenDialogFilter() {
  QStringList patterns;
  for (PoiFormat format : kAllPoiFormats) patterns.append(Pattern(format, true));
  QStringList filters{
      QStringLiteral("%1 (%2)").arg(ExtraText(ExtraTextId::POI_FILTER_ALL), patterns.join(u' '))};
  for (PoiFormat format : kAllPoiFormats) filters.append(FilterOf(format, true));
  filters.append(QStringLiteral("%1 (*)").arg(ExtraText(ExtraTextId::POI_FILTER_ANY)));
  return filters.join(QStringLiteral(";;"));
}

QString PoiSaveDialogFilter() {
  QStringList filters;
  for (PoiFormat format : kAllPoiFormats) filters.append(FilterOf(format));
  return filters.join(QStringLiteral(";;"));
}

PoiExportTarget PoiExportTargetFor(const QString& chosenPath, const QString& chosenFilter) {
  if (const auto format = PoiFormatFromSuffix(chosenPath)) return {chosenPath, *format};
  PoiFormat chosen = PoiFormat::Text;
  for (PoiFormat format : kAllPoiFormats)
    if (chosenFilter == FilterOf(format)) chosen = format;
  return {chosenPath + u'.' + PoiFormatName(chosen), chosen};
}
