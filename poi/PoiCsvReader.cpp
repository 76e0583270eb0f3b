#include "poi/PoiCsvReader.h"

#include <QRegularExpression>
#include <QStringList>
#include <initializer_list>

namespace {

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

enum CsvColumn { kLatitude, kLongitude, kCourse, kUnitHeading, kDate, kTime, kUtcDate, kUtcTime, kCsvColumnCount };

// The names each column goes by, this program's first.
const std::initializer_list<const char16_t*> kColumnNames[kCsvColumnCount] = {
    {u"latitude", u"lat"},  {u"longitude", u"lon", u"long", u"lng"},
    {u"heading", u"head", u"course"}, {u"v770_direction"},
    {u"date"}, {u"time"}, {u"utc_d", u"utc_date"}, {u"utc_t", u"utc_time"}};

struct CsvLayout {
  QChar separator;
  int column[kCsvColumnCount];  // -1: not in the file
};

// The header line's layout, when it names at least latitude and longitude.
std::optional<CsvLayout> CsvHeader(QStringView text) {
  for (QChar separator : {u',', u';'}) {
    qsizetype at = 0;
    const QStringList names = CsvRecord(text, at, separator);
    CsvLayout layout{separator, {}};
    std::fill(std::begin(layout.column), std::end(layout.column), -1);
    for (int c = 0; c < kCsvColumnCount; ++c)
      for (qsizetype i = 0; i < names.size(); ++i)
        for (const char16_t* name : kColumnNames[c])
          if (layout.column[c] < 0 && names[i].trimmed().compare(QStringView(name), Qt::CaseInsensitive) == 0)
            layout.column[c] = static_cast<int>(i);
    if (layout.column[kLatitude] >= 0 && layout.column[kLongitude] >= 0) return layout;
  }
  return std::nullopt;
}

// "2009/03/15" or "2009-03-15"; an invalid date otherwise.
QDate CsvDate(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{4})[/-]([0-9]{1,2})[/-]([0-9]{1,2})$"));
  const auto match = pattern.match(text.trimmed());
  return match.hasMatch() ? QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt())
                          : QDate();
}

// "07:45", "07:45:30" or "07:45:30.25"; 00:00 for an empty text; an invalid time otherwise.
QTime CsvTime(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2})(\\.[0-9]*)?)?$"));
  if (text.trimmed().isEmpty()) return QTime(0, 0);
  const auto match = pattern.match(text.trimmed());
  return match.hasMatch() ? QTime(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt())
                          : QTime();
}

double CsvDegrees(const QByteArray& text) {
  const auto value = ToolNumber(QByteArrayView(text));
  return value ? RoundedDegrees(*value) : ToolPoi().latitude;
}

}  // namespace

bool HasPoiCsvHeader(QStringView text) { return CsvHeader(text).has_value(); }

PoiFileContent ReadPoiCsv(QStringView text) {
  const auto layout = CsvHeader(text);
  if (!layout) return PoiFileContent::Refused(PoiFileContent::Foreign);
  const PoiLocalTime local;
  PoiFileContent content;
  content.format = PoiFormat::Csv;
  const bool decimalComma = layout->separator == u';';
  const bool utc = layout->column[kUtcDate] >= 0;
  qsizetype at = 0;
  CsvRecord(text, at, layout->separator);  // the header
  while (at < text.size()) {
    const QStringList fields = CsvRecord(text, at, layout->separator);
    if (fields.size() == 1 && fields[0].trimmed().isEmpty()) continue;  // a blank line
    const auto cell = [&](CsvColumn c) { return layout->column[c] < 0 ? QString() : fields.value(layout->column[c]); };
    const auto number = [&](CsvColumn c) {
      QString text = cell(c);
      if (decimalComma) text.replace(u',', u'.');
      return text.toLatin1();
    };
    ToolPoi poi{CsvDegrees(number(kLatitude)), CsvDegrees(number(kLongitude))};
    const QDate date = CsvDate(cell(utc ? kUtcDate : kDate));
    const QTime time = CsvTime(cell(utc ? kUtcTime : kTime));
    if (date.isValid() && time.isValid())
      poi.utcSeconds = utc ? QDateTime(date, time, Qt::UTC).toSecsSinceEpoch() : local.ToUtc(date, time);
    auto heading = UnitHeading(QByteArrayView(number(kUnitHeading)));
    if (!heading) heading = CourseHeading(QByteArrayView(number(kCourse)));
    poi.heading = heading.value_or(0);
    content.pois.push_back(poi);
  }
  return content;
}
