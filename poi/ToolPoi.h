#pragma once

#include <QByteArrayView>
#include <QString>
#include <limits>
#include <optional>

#include "poi/PoiLocalTime.h"
#include "poi/PoiTexts.h"

// One POI of a map tool's file (GPX, KML, CSV) as plain values. Such files hold hundreds of
// thousands of points, so each stays a few bytes until it is chosen for the list.
struct ToolPoi {
  static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

  double latitude = std::numeric_limits<double>::quiet_NaN();   // degrees; NaN: none given
  double longitude = std::numeric_limits<double>::quiet_NaN();  // or not a number
  qint64 utcSeconds = kNoTime;  // the POI's moment, seconds since 1970 UTC
  int heading = 0;              // the unit's heading, 0 to 511; none given is 0

  bool operator==(const ToolPoi&) const = default;
};

// A number as a C program writes it, whatever the user's locale; blanks around it are
// forgiven, anything else makes it no number.
std::optional<double> ToolNumber(QByteArrayView text);
std::optional<double> ToolNumber(const QString& text);

// A coordinate rounded to what the record keeps (0.00001 degree).
double RoundedDegrees(double degrees);

// Whether the unit can keep the place: both numbers, latitude within 90 and longitude
// within 180 degrees once rounded.
bool PlaceFits(const ToolPoi& poi);

// A course in degrees as the unit's heading: rounded to the nearest degree, round the
// circle (359.6 is 0, -10 is 350); nullopt for no number.
std::optional<int> CourseHeading(QByteArrayView text);
// The unit's own heading as this program writes it into other formats: a whole number
// 0 to 511; nullopt otherwise.
std::optional<int> UnitHeading(QByteArrayView text);

// The moment of an XML date and time: an offset of its own, else UTC; a bare date is 00:00
// UTC of that day. nullopt when it is neither.
std::optional<qint64> XmlMoment(QByteArrayView text);

// The earliest date and time the unit keeps, given to a POI whose own it cannot keep.
inline constexpr char kEarliestUnitDate[] = "2008/01/01";
inline constexpr char kEarliestUnitTime[] = "00:00";

// The list's texts of a POI whose place fits: its local date and time, or the earliest the
// unit keeps when it has none or one outside the unit's years (`undated` is then set).
PoiTexts ListTexts(const ToolPoi& poi, const PoiLocalTime& local, bool* undated = nullptr);
