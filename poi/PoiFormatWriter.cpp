#include "poi/PoiFormatWriter.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include "poi/LeadingNumber.h"
#include "poi/PoiConstants.h"
#include "poi/PoiFile.h"
#include "poi/PoiLocalTime.h"
#include "poi/PoiRecord.h"
#include "text/ExtraTexts.h"

namespace {

constexpr int kFullCircle = 360;

// A row's values, read from texts that passed the check.
struct PoiValues {
  QDate date;
  QTime time;
  QString latitude;
  QString longitude;
  int heading = 0;  // the unit's, 0 to 511

  // Other tools take a course below a full circle; the unit's own value travels beside it.
  QString Course() const { return QString::number(heading % kFullCircle); }
  bool CourseIsNotTheHeading() const { return heading >= kFullCircle; }
};

PoiValues ValuesOf(const PoiTexts& texts) {
  const QStringList date = texts.date.trimmed().split(u'/');
  const QStringList time = texts.time.trimmed().split(u':');
  return {QDate(date.value(0).toInt(), date.value(1).toInt(), date.value(2).toInt()),
          QTime(time.value(0).toInt(), time.value(1).toInt()),
          PoiDegreesText(LeadingNumber::ToDouble(texts.latitude)),
          PoiDegreesText(LeadingNumber::ToDouble(texts.longitude)), LeadingNumber::ToInt(texts.heading)};
}

const QString kOwnNamespace = QString::fromLatin1(PoiConstants::kOwnNamespace);

// GPX 1.1 has no course of a waypoint: the heading goes into an extension of our own. Its
// longitudes stop short of 180 degrees: that meridian is written as -180.
void WriteWaypoint(QXmlStreamWriter& xml, const PoiValues& poi, const QString& utc) {
  constexpr double kAntimeridian = 180.0;
  xml.writeStartElement(QStringLiteral("wpt"));
  xml.writeAttribute(QStringLiteral("lat"), poi.latitude);
  xml.writeAttribute(QStringLiteral("lon"), poi.longitude == PoiDegreesText(kAntimeridian) ? PoiDegreesText(-kAntimeridian)
                                                                                            : poi.longitude);
  xml.writeTextElement(QStringLiteral("time"), utc);
  xml.writeStartElement(QStringLiteral("extensions"));
  xml.writeTextElement(kOwnNamespace, QString::fromLatin1(PoiConstants::kOwnHeadingElement),
                       QString::number(poi.heading));
  xml.writeEndElement();
  xml.writeEndElement();
}

// Elements in the order the KML schema sets for a placemark.
void WritePlacemark(QXmlStreamWriter& xml, const PoiValues& poi, const QString& utc) {
  xml.writeStartElement(QStringLiteral("Placemark"));
  xml.writeStartElement(QStringLiteral("TimeStamp"));
  xml.writeTextElement(QStringLiteral("when"), utc);
  xml.writeEndElement();
  // The icon turns to the heading, so a map shows which way the POI faces.
  xml.writeStartElement(QStringLiteral("Style"));
  xml.writeStartElement(QStringLiteral("IconStyle"));
  xml.writeTextElement(QStringLiteral("heading"), poi.Course());
  xml.writeEndElement();
  xml.writeEndElement();
  if (poi.CourseIsNotTheHeading()) {
    xml.writeStartElement(QStringLiteral("ExtendedData"));
    xml.writeStartElement(QStringLiteral("Data"));
    xml.writeAttribute(QStringLiteral("name"), QString::fromLatin1(PoiConstants::kOwnHeadingKey));
    xml.writeTextElement(QStringLiteral("value"), QString::number(poi.heading));
    xml.writeEndElement();
    xml.writeEndElement();
  }
  xml.writeStartElement(QStringLiteral("Point"));
  xml.writeTextElement(QStringLiteral("coordinates"), poi.longitude + u',' + poi.latitude);
  xml.writeEndElement();
  xml.writeEndElement();
}

// GPX waypoints or KML placemarks, one a row.
QByteArray Xml(PoiFormat format, const QList<PoiTexts>& rows) {
  const bool gpx = format == PoiFormat::Gpx;
  const PoiLocalTime local;
  QByteArray bytes;
  QXmlStreamWriter xml(&bytes);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeDefaultNamespace(QString::fromLatin1(gpx ? PoiConstants::kGpxNamespace : PoiConstants::kKmlNamespace));
  if (gpx) {
    xml.writeNamespace(kOwnNamespace, QString::fromLatin1(PoiConstants::kOwnPrefix));
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QString::fromLatin1(PoiConstants::kCreatorName));
  } else {
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeStartElement(QStringLiteral("Document"));
  }
  for (const PoiTexts& row : rows) {
    const PoiValues poi = ValuesOf(row);
    // The list's times are local; GPX and KML hold UTC.
    const qint64 moment = local.ToUtc(poi.date, poi.time);
    const QString utc = QDateTime::fromSecsSinceEpoch(moment, Qt::UTC).toString(Qt::ISODate);
    (gpx ? WriteWaypoint : WritePlacemark)(xml, poi, utc);
  }
  xml.writeEndDocument();
  return bytes;
}

// The list's texts, with seconds, which other tools insist on.
QByteArray Csv(const QList<PoiTexts>& rows) {
  QByteArray bytes = QByteArray("date,time,latitude,longitude,heading,") + PoiConstants::kOwnHeadingColumn + "\r\n";
  for (const PoiTexts& row : rows) {
    const PoiValues poi = ValuesOf(row);
    bytes += QString::asprintf("%04d/%02d/%02d,%02d:%02d:00,", poi.date.year(), poi.date.month(), poi.date.day(),
                               poi.time.hour(), poi.time.minute())
                 .toUtf8();
    const QString unitHeading = poi.CourseIsNotTheHeading() ? QString::number(poi.heading) : QString();
    bytes += QStringLiteral("%1,%2,%3,%4\r\n").arg(poi.latitude, poi.longitude, poi.Course(), unitHeading).toUtf8();
  }
  return bytes;
}

}  // namespace

QByteArray FormatPois(PoiFormat format, const QList<PoiTexts>& rows) {
  switch (format) {
    case PoiFormat::Gpx:
    case PoiFormat::Kml:
      return Xml(format, rows);
    case PoiFormat::Csv:
      return Csv(rows);
    case PoiFormat::Text:
      break;
  }
  QByteArray bytes;
  for (const PoiTexts& row : rows) bytes += PoiFile::FormatLine(row);
  return bytes;
}

PoiWriteOutcome CheckPoisFor(PoiFormat format, const QList<PoiTexts>& rows) {
  if (format != PoiFormat::Text)
    for (qsizetype r = 0; r < rows.size(); ++r)
      if (!CheckPoiTexts(rows[r])) return {PoiWriteOutcome::BadRow, static_cast<int>(r)};
  return {};
}

PoiWriteOutcome WritePoiFile(const QString& path, PoiFormat format, const QList<PoiTexts>& rows) {
  if (const PoiWriteOutcome check = CheckPoisFor(format, rows); check.result != PoiWriteOutcome::Written) return check;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(FormatPois(format, rows)) < 0 || !file.commit())
    return {PoiWriteOutcome::CannotWrite};
  return {};
}

QString PoiWriteErrorText(const PoiWriteOutcome& outcome, const QString& path) {
  switch (outcome.result) {
    case PoiWriteOutcome::BadRow:
      return ExtraText(ExtraTextId::POI_EXPORT_BAD_ROW).arg(outcome.badRow + 1);
    case PoiWriteOutcome::CannotWrite:
      return ExtraText(ExtraTextId::POI_EXPORT_FAILED).arg(QDir::toNativeSeparators(path));
    case PoiWriteOutcome::Written:
      break;
  }
  return QString();
}
