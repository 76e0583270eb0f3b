#include "poi/PoiFormatReader.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "poi/PoiFile.h"
#include "poi/PoiLocalTime.h"
#include "poi/PoiRecord.h"
#include "text/ExtraTexts.h"

namespace {

// Enough of the start of a file to see whether it is XML, and to hold a CSV header line.
constexpr qsizetype kSniffBytes = 256;
constexpr qsizetype kCsvHeaderBytes = 64 * 1024;
// Map tools keep far more points than the unit; their files are read up to this size, the
// program's own file only up to the bound of a POI list.
constexpr qint64 kMaxToolFileBytes = 64 * 1024 * 1024;
// Beyond any heading: kept as read, for the check to refuse.
constexpr double kBeyondAnyHeading = 1e6;

// The list's "%04d/%02d/%02d" and "%02d:%02d", without QString's slower formatting.
QString DateText(const QDate& date) {
  char text[32];
  return QString::fromLatin1(
      text, std::snprintf(text, sizeof text, "%04d/%02d/%02d", date.year(), date.month(), date.day()));
}
QString TimeText(const QTime& time) {
  char text[16];
  return QString::fromLatin1(text, std::snprintf(text, sizeof text, "%02d:%02d", time.hour(), time.minute()));
}

// A number as a C program writes it, whatever the user's locale; the whole text must be it.
std::optional<double> Number(const QString& text, bool decimalComma = false) {
  QByteArray bytes = text.trimmed().toLatin1();
  if (decimalComma) bytes.replace(',', '.');
  const char* begin = bytes.constData();
  const char* end = begin + bytes.size();
  if (begin != end && *begin == '+') ++begin;
  double value = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Coordinates are rounded the way the record keeps them; what is no number stays as it
// was, so the check refuses it.
QString DegreesText(const QString& text, bool decimalComma = false) {
  const auto value = Number(text, decimalComma);
  return value ? PoiDegreesText(*value) : text.trimmed();
}

// Whole degrees; none given is 0.
QString HeadingText(const QString& text) {
  if (text.trimmed().isEmpty()) return QStringLiteral("0");
  const auto value = Number(text);
  if (!value || std::fabs(*value) > kBeyondAnyHeading) return text.trimmed();
  return QString::number(std::lround(*value));
}

// The list's date and time of an XML date-time (UTC unless it names its offset); a bare
// date is that day at 00:00. What cannot be read stays as it was.
std::pair<QString, QString> LocalDateAndTime(const PoiLocalTime& local, const QString& text) {
  const QString trimmed = text.trimmed();
  constexpr qsizetype kBareDateSize = 10;  // "2009-03-15"
  if (trimmed.size() == kBareDateSize) {
    const QDate date = QDate::fromString(trimmed, Qt::ISODate);
    if (date.isValid()) return {DateText(date), TimeText(QTime(0, 0))};
  }
  QDateTime moment = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
  if (!moment.isValid()) return {trimmed, QString()};
  if (moment.timeSpec() == Qt::LocalTime) moment.setTimeSpec(Qt::UTC);
  const QDateTime there = local.ToLocal(moment);
  return {DateText(there.date()), TimeText(there.time())};
}

PoiTexts FromXml(const PoiLocalTime& local, const QString& when, const QString& latitude,
                 const QString& longitude, const QString& heading) {
  const auto [date, time] = LocalDateAndTime(local, when);
  return {date, time, DegreesText(latitude), DegreesText(longitude), HeadingText(heading)};
}

// ---- GPX ----

PoiTexts ReadWaypoint(QXmlStreamReader& xml, const PoiLocalTime& local) {
  const QString latitude = xml.attributes().value(QLatin1String("lat")).toString();
  const QString longitude = xml.attributes().value(QLatin1String("lon")).toString();
  QString time;
  QString course;
  while (xml.readNextStartElement()) {
    if (xml.name() == u"time")
      time = xml.readElementText(QXmlStreamReader::SkipChildElements);
    else if (xml.name() == u"course")
      course = xml.readElementText(QXmlStreamReader::SkipChildElements);
    else
      xml.skipCurrentElement();  // name, extensions, links ...
  }
  return FromXml(local, time, latitude, longitude, course);
}

QList<PoiTexts> ReadGpx(QXmlStreamReader& xml, const PoiLocalTime& local) {
  QList<PoiTexts> pois;
  while (xml.readNextStartElement()) {
    if (xml.name() == u"wpt")
      pois.append(ReadWaypoint(xml, local));
    else
      xml.skipCurrentElement();  // metadata, routes, tracks, extensions
  }
  return pois;
}

// ---- KML ----

// A placemark's POI, read up to its end; nullopt when it has no Point (a path, a shape).
std::optional<PoiTexts> ReadPlacemark(QXmlStreamReader& xml, const PoiLocalTime& local) {
  QString when, coordinates, iconHeading, otherHeading;
  bool hasPoint = false;
  QStringList open{QStringLiteral("Placemark")};
  while (!open.isEmpty() && !xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement()) {
      open.removeLast();
      continue;
    }
    if (!xml.isStartElement()) continue;
    const QStringView name = xml.name();
    const QString& parent = open.last();
    if (name == u"when" && parent == u"TimeStamp") {
      when = xml.readElementText(QXmlStreamReader::SkipChildElements);
    } else if (name == u"coordinates" && parent == u"Point" && coordinates.isEmpty()) {
      coordinates = xml.readElementText(QXmlStreamReader::SkipChildElements);
    } else if (name == u"heading") {
      (parent == u"IconStyle" ? iconHeading : otherHeading) =
          xml.readElementText(QXmlStreamReader::SkipChildElements);
    } else {
      hasPoint |= name == u"Point";
      open.append(name.toString());
    }
  }
  if (!hasPoint) return std::nullopt;
  // "longitude,latitude[,altitude]"; blanks around the commas are forgiven.
  static const QRegularExpression blanksAroundCommas(QStringLiteral("\\s*,\\s*"));
  const QString tuple =
      coordinates.simplified().replace(blanksAroundCommas, QStringLiteral(",")).section(u' ', 0, 0);
  const QStringList parts = tuple.split(u',');
  return FromXml(local, when, parts.value(1), parts.value(0),
                 iconHeading.isEmpty() ? otherHeading : iconHeading);
}

QList<PoiTexts> ReadKml(QXmlStreamReader& xml, const PoiLocalTime& local) {
  QList<PoiTexts> pois;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"Placemark")
      if (auto poi = ReadPlacemark(xml, local)) pois.append(*poi);
  }
  return pois;
}

QString DecodeText(QByteArrayView bytes) {
  const auto encoding = QStringConverter::encodingForData(bytes);
  QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
  QString text = decoder.decode(bytes);
  if (text.startsWith(QChar::ByteOrderMark)) text.remove(0, 1);
  return text;
}

bool LooksLikeXml(QByteArrayView bytes) {
  for (QChar c : DecodeText(bytes.first(std::min(bytes.size(), kSniffBytes)))) {
    if (c.isSpace() || c == QChar::ByteOrderMark) continue;
    return c == u'<';
  }
  return false;
}

PoiFileContent ReadXml(QByteArrayView bytes) {
  QXmlStreamReader xml(bytes.toByteArray());
  const PoiLocalTime local;
  PoiFileContent content;
  if (xml.readNextStartElement()) {
    if (xml.name() == u"gpx") {
      content.format = PoiFormat::Gpx;
      content.pois = ReadGpx(xml, local);
    } else if (xml.name() == u"kml") {
      content.format = PoiFormat::Kml;
      content.pois = ReadKml(xml, local);
    } else {
      content.status = PoiFileContent::Unrecognised;
    }
  }
  while (!xml.atEnd() && !xml.hasError()) xml.readNext();  // what follows must be sound too
  if (xml.hasError()) {
    // Half a file is not taken: the user is told where it breaks.
    content.status = PoiFileContent::Malformed;
    content.errorLine = xml.lineNumber();
    content.pois.clear();
  }
  return content;
}

// ---- CSV ----

// One record from `at` on, moved past it: fields between separators, a quoted field may
// hold separators, line ends and doubled quotes; a record ends at LF, CR LF or CR.
QStringList CsvRecord(QStringView text, qsizetype& at, QChar separator) {
  QStringList fields;
  QString field;
  bool quoted = false;
  while (at < text.size()) {
    const QChar c = text[at++];
    if (quoted) {
      if (c != u'"') {
        field += c;
      } else if (at < text.size() && text[at] == u'"') {
        field += c;
        ++at;
      } else {
        quoted = false;
      }
    } else if (c == u'"') {
      quoted = true;
    } else if (c == separator) {
      fields.append(std::exchange(field, QString()));
    } else if (c == u'\n' || c == u'\r') {
      if (c == u'\r' && at < text.size() && text[at] == u'\n') ++at;
      break;
    } else {
      field += c;
    }
  }
  fields.append(field);
  return fields;
}

enum CsvColumn { kDate, kTime, kLatitude, kLongitude, kHeading, kCsvColumnCount };
constexpr const char16_t* kCsvColumnNames[kCsvColumnCount] = {u"date", u"time", u"latitude", u"longitude",
                                                              u"heading"};

struct CsvLayout {
  QChar separator;
  int column[kCsvColumnCount];  // -1: not in the file
};

// The header line's layout, when it names at least latitude and longitude.
std::optional<CsvLayout> CsvHeader(QStringView text) {
  for (QChar separator : {u',', u';'}) {
    qsizetype at = 0;
    const QStringList names = CsvRecord(text, at, separator);
    CsvLayout layout{separator, {-1, -1, -1, -1, -1}};
    for (int c = 0; c < kCsvColumnCount; ++c)
      for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i].trimmed().compare(QStringView(kCsvColumnNames[c]), Qt::CaseInsensitive) == 0)
          layout.column[c] = static_cast<int>(i);
    if (layout.column[kLatitude] >= 0 && layout.column[kLongitude] >= 0) return layout;
  }
  return std::nullopt;
}

// The list's date of "2009/03/15" or "2009-03-15", its time of "07:45" or "07:45:30".
QString CsvDate(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{4})[/-]([0-9]{1,2})[/-]([0-9]{1,2})$"));
  const auto match = pattern.match(text.trimmed());
  const QDate date = match.hasMatch() ? QDate(match.captured(1).toInt(), match.captured(2).toInt(),
                                              match.captured(3).toInt())
                                      : QDate();
  return date.isValid() ? DateText(date) : text.trimmed();
}

QString CsvTime(const QString& text) {
  static const QRegularExpression pattern(
      QStringLiteral("^([0-9]{1,2}):([0-9]{2})(:[0-9]{2}(\\.[0-9]*)?)?$"));
  const auto match = pattern.match(text.trimmed());
  const QTime time = match.hasMatch() ? QTime(match.captured(1).toInt(), match.captured(2).toInt()) : QTime();
  return time.isValid() ? TimeText(time) : text.trimmed();
}

QList<PoiTexts> ReadCsv(QStringView text, const CsvLayout& layout) {
  QList<PoiTexts> pois;
  const bool decimalComma = layout.separator == u';';
  qsizetype at = 0;
  CsvRecord(text, at, layout.separator);  // the header
  while (at < text.size()) {
    const QStringList fields = CsvRecord(text, at, layout.separator);
    if (fields.size() == 1 && fields[0].trimmed().isEmpty()) continue;  // a blank line
    const auto cell = [&](CsvColumn c) {
      return layout.column[c] < 0 ? QString() : fields.value(layout.column[c]);
    };
    pois.append({CsvDate(cell(kDate)), CsvTime(cell(kTime)), DegreesText(cell(kLatitude), decimalComma),
                 DegreesText(cell(kLongitude), decimalComma), HeadingText(cell(kHeading))});
  }
  return pois;
}

}  // namespace

PoiFileContent ReadPoiContent(QByteArrayView bytes) {
  if (LooksLikeXml(bytes)) return ReadXml(bytes);
  if (const auto layout = CsvHeader(DecodeText(bytes.first(std::min(bytes.size(), kCsvHeaderBytes)))))
    return {PoiFileContent::Read, PoiFormat::Csv, ReadCsv(DecodeText(bytes), *layout), 0};
  if (bytes.size() > PoiFile::kMaxFileBytes) return {PoiFileContent::Unreadable, PoiFormat::Text, {}, 0};
  return {PoiFileContent::Read, PoiFormat::Text, PoiFile::Parse(bytes), 0};
}

PoiFileContent ReadPoiFile(const QString& path) {
  const auto bytes = PoiFile::ReadBytes(path, kMaxToolFileBytes);
  if (!bytes) return {PoiFileContent::Unreadable, PoiFormat::Text, {}, 0};
  return ReadPoiContent(*bytes);
}

QString PoiFileErrorText(const PoiFileContent& content, const QString& path) {
  const QString shown = QDir::toNativeSeparators(path);
  switch (content.status) {
    case PoiFileContent::Unreadable: return ExtraText(ExtraTextId::POI_FILE_NOT_READ).arg(shown);
    case PoiFileContent::Unrecognised: return ExtraText(ExtraTextId::POI_FILE_UNKNOWN).arg(shown);
    case PoiFileContent::Malformed:
      return ExtraText(ExtraTextId::POI_FILE_MALFORMED).arg(shown).arg(content.errorLine);
    case PoiFileContent::Read: break;
  }
  return QString();
}
