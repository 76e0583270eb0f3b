#include "poi/ToolPoi.h"

#include <QDateTime>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "poi/PoiConstants.h"
#include "poi/PoiRecord.h"

namespace {

constexpr int kFullCircle = 360;
constexpr qsizetype kBareDateSize = 10;  // "2019-03-31"

QByteArrayView Trimmed(QByteArrayView text) {
  while (!text.isEmpty() && std::isspace(static_cast<unsigned char>(text.front()))) text = text.sliced(1);
  while (!text.isEmpty() && std::isspace(static_cast<unsigned char>(text.back()))) text.chop(1);
  return text;
}

QString Formatted(const char* format, int a, int b, int c = 0) {
  char text[32];
  return QString::fromLatin1(text, std::snprintf(text, sizeof text, format, a, b, c));
}

}  // namespace

std::optional<double> ToolNumber(QByteArrayView text) {
  text = Trimmed(text);
  if (!text.isEmpty() && text.front() == '+') text = text.sliced(1);
  double value = 0.0;
  const auto [stop, error] = std::from_chars(text.begin(), text.end(), value);
  if (text.isEmpty() || error != std::errc() || stop != text.end() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<double> ToolNumber(const QString& text) { return ToolNumber(QByteArrayView(text.toLatin1())); }

double RoundedDegrees(double degrees) {
  return std::round(degrees * PoiConstants::kDegreeScale) / PoiConstants::kDegreeScale;
}

bool PlaceFits(const ToolPoi& poi) {
  const auto within = [](double degrees, unsigned maxMagnitude) {
    return std::fabs(std::round(degrees * PoiConstants::kDegreeScale)) <= maxMagnitude;  // false for NaN
  };
  return within(poi.latitude, PoiConstants::kMaxLatitudeMagnitude) &&
         within(poi.longitude, PoiConstants::kMaxLongitudeMagnitude);
}

std::optional<int> CourseHeading(QByteArrayView text) {
  const auto degrees = ToolNumber(text);
  if (!degrees) return std::nullopt;
  const double whole = std::fmod(std::round(*degrees), kFullCircle);
  return static_cast<int>(whole < 0 ? whole + kFullCircle : whole);
}

std::optional<int> UnitHeading(QByteArrayView text) {
  const auto value = ToolNumber(text);
  if (!value || *value != std::floor(*value) || *value < 0 || *value > PoiConstants::kMaxHeading) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<qint64> XmlMoment(QByteArrayView text) {
  const QString trimmed = QString::fromUtf8(Trimmed(text));
  if (trimmed.size() == kBareDateSize) {
    const QDate date = QDate::fromString(trimmed, Qt::ISODate);
    if (date.isValid()) return QDateTime(date, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
  }
  QDateTime moment = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
  if (!moment.isValid()) return std::nullopt;
  if (moment.timeSpec() == Qt::LocalTime) moment.setTimeSpec(Qt::UTC);
  return moment.toSecsSinceEpoch();
}

PoiTexts ListTexts(const ToolPoi& poi, const PoiLocalTime& local, bool* undated) {
  PoiTexts texts{QString::fromLatin1(kEarliestUnitDate), QString::fromLatin1(kEarliestUnitTime),
                 PoiDegreesText(poi.latitude), PoiDegreesText(poi.longitude), QString::number(poi.heading)};
  const QDateTime there = poi.utcSeconds == ToolPoi::kNoTime ? QDateTime() : local.ToLocal(poi.utcSeconds);
  const int year = there.date().year();
  const bool kept = there.isValid() && year >= PoiConstants::kFirstYear && year <= PoiConstants::kLastYear;
  if (kept) {
    texts.date = Formatted("%04d/%02d/%02d", year, there.date().month(), there.date().day());
    texts.time = Formatted("%02d:%02d", there.time().hour(), there.time().minute());
  }
  if (undated) *undated = !kept;
  return texts;
}
