#include "poi/PoiRecord.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "poi/LeadingNumber.h"

namespace {

using PoiConstants::kDegreeScale;

constexpr std::uint8_t kByte10Constant = 0x30;
constexpr std::uint8_t kHourBit4 = 0x80;
constexpr std::uint8_t kWestFlag = 0x08;
constexpr std::uint8_t kSouthFlag = 0x04;
constexpr std::uint8_t kLongitudeBit24 = 0x02;
constexpr std::uint8_t kHeadingBit8 = 0x01;

// The packing pads a short field on the left with "0" to two characters, the way the
// unit's own tools format these fields; a longer field stays whole.
QString PadTwo(const QString& text) { return text.size() < 2 ? text.rightJustified(2, u'0') : text; }

// Splits "a<sep>b" at the first separator; without one, everything is the head.
std::pair<QString, QString> SplitAtFirst(const QString& text, QChar separator) {
  const qsizetype at = text.indexOf(separator);
  if (at < 0) return {text, QString()};
  return {text.left(at), text.mid(at + 1)};
}

// Rounded magnitude in 0.00001 degree units, and whether the value is negative.
std::uint32_t Magnitude(const QString& text, bool* negative) {
  const double value = LeadingNumber::ToDouble(text);
  double scaled = std::round(std::fabs(value) * kDegreeScale);
  if (!(scaled >= 0.0)) scaled = 0.0;  // not a number
  scaled = std::min(scaled, 4294967295.0);
  const auto magnitude = static_cast<std::uint32_t>(scaled);
  // A value that rounds to zero carries no sign, so it never reads back as "-0.00000".
  *negative = value < 0.0 && magnitude != 0;
  return magnitude;
}

// The text "%.5f" gives for the signed magnitude times 0.00001, made from the whole number
// itself: exact, and quick for thousands of POIs.
QString Degrees(std::uint32_t magnitude, bool negative) {
  const auto scale = static_cast<std::uint32_t>(kDegreeScale);
  char text[24];
  const int size = std::snprintf(text, sizeof text, "%s%u.%05u", negative ? "-" : "", magnitude / scale,
                                 magnitude % scale);
  return QString::fromLatin1(text, size);
}

}  // namespace

QString PoiDegreesText(double degrees) {
  // Far beyond any coordinate: kept as a number, which the checks then refuse. Below it the
  // scaled magnitude must still fit the 32 bits it is made into.
  constexpr double kBeyondAnyCoordinate = 1e4;
  static_assert(kBeyondAnyCoordinate * kDegreeScale < double(std::numeric_limits<std::uint32_t>::max()));
  if (!std::isfinite(degrees)) return QString();
  if (std::fabs(degrees) > kBeyondAnyCoordinate) return QString::number(degrees, 'f', 0);
  const auto magnitude = static_cast<std::uint32_t>(std::round(std::fabs(degrees) * kDegreeScale));
  return Degrees(magnitude, degrees < 0.0 && magnitude != 0);
}

bool PoiRecord::IsEmpty() const {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

PoiTexts DecodePoiRecord(const PoiRecord& record) {
  const auto& b = record.bytes;
  PoiTexts texts;
  const int year = (b[7] & 0x0F) + PoiConstants::kFirstYear;
  const int month = b[7] >> 4;
  const int day = b[9] & 0x1F;
  texts.date = QString::asprintf("%04d/%02d/%02d", year, month, day);

  const int hour = 16 * (b[11] >> 7) + 4 * (b[10] >> 6) + (b[9] >> 6);
  const int minute = b[8] & 0x3F;
  texts.time = QString::asprintf("%02d:%02d", hour, minute);

  const std::uint32_t latitude = std::uint32_t(b[0]) << 16 | std::uint32_t(b[1]) << 8 | b[2];
  texts.latitude = Degrees(latitude, b[11] & kSouthFlag);
  const std::uint32_t longitude = std::uint32_t((b[11] & kLongitudeBit24) ? 1 : 0) << 24 |
                                  std::uint32_t(b[3]) << 16 | std::uint32_t(b[4]) << 8 | b[5];
  texts.longitude = Degrees(longitude, b[11] & kWestFlag);

  const int heading = (b[11] & kHeadingBit8) << 8 | b[6];
  texts.heading = QString::number(heading);
  return texts;
}

PoiRecord EncodePoiRecord(const PoiTexts& texts) {
  PoiRecord record;
  auto& b = record.bytes;

  // Date, packed through a six-digit number DDMMYY.
  const auto [yearText, monthAndDay] = SplitAtFirst(texts.date, u'/');
  const auto [monthText, dayText] = SplitAtFirst(monthAndDay, u'/');
  const long long year = LeadingNumber::ToInt(yearText);
  const QString packedDate = PadTwo(dayText) + PadTwo(monthText) + QString::asprintf("%02lld", year - 2000);
  const long long dateValue = LeadingNumber::ToInt(packedDate);
  const long long day = dateValue / 10000;
  const long long month = (dateValue - day * 10000) / 100;
  const long long yy = dateValue % 100;
  b[7] = static_cast<std::uint8_t>((month & 0x0F) << 4 | ((yy - 8) & 0x0F));
  b[9] = static_cast<std::uint8_t>(day & 0x1F);

  // Time, packed the same way through HHMM00.
  const auto [hourText, minuteText] = SplitAtFirst(texts.time, u':');
  const long long timeValue = LeadingNumber::ToInt(PadTwo(hourText) + PadTwo(minuteText) + QStringLiteral("00"));
  const long long hour = timeValue / 10000;
  const long long minute = (timeValue - hour * 10000) / 100;
  b[9] |= static_cast<std::uint8_t>((hour & 0x03) << 6);
  b[10] = static_cast<std::uint8_t>(((hour >> 2) & 0x03) << 6);
  if ((hour >> 4) & 1) b[11] |= kHourBit4;
  b[8] = static_cast<std::uint8_t>(minute & 0x3F);

  bool south = false;
  const std::uint32_t latitude = Magnitude(texts.latitude, &south);
  b[0] = static_cast<std::uint8_t>(latitude >> 16);
  b[1] = static_cast<std::uint8_t>(latitude >> 8);
  b[2] = static_cast<std::uint8_t>(latitude);
  if (south) b[11] |= kSouthFlag;

  bool west = false;
  const std::uint32_t longitude = Magnitude(texts.longitude, &west);
  b[3] = static_cast<std::uint8_t>(longitude >> 16);
  b[4] = static_cast<std::uint8_t>(longitude >> 8);
  b[5] = static_cast<std::uint8_t>(longitude);
  if ((longitude >> 24) & 1) b[11] |= kLongitudeBit24;
  if (west) b[11] |= kWestFlag;

  const int heading = LeadingNumber::ToInt(texts.heading);
  b[6] = static_cast<std::uint8_t>(heading % 256);
  if ((heading / 256) & 1) b[11] |= kHeadingBit8;

  b[10] |= kByte10Constant;
  return record;
}

namespace {

const QRegularExpression& DatePattern() {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{4})/([0-9]{1,2})/([0-9]{1,2})$"));
  return pattern;
}
const QRegularExpression& TimePattern() {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
  return pattern;
}
const QRegularExpression& DecimalPattern() {
  static const QRegularExpression pattern(QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
  return pattern;
}
const QRegularExpression& WholePattern() {
  static const QRegularExpression pattern(QStringLiteral("^\\+?[0-9]{1,9}$"));
  return pattern;
}

bool DateFits(const QString& text) {
  const auto match = DatePattern().match(text.trimmed());
  if (!match.hasMatch()) return false;
  const int year = match.captured(1).toInt();
  return year >= PoiConstants::kFirstYear && year <= PoiConstants::kLastYear &&
         QDate(year, match.captured(2).toInt(), match.captured(3).toInt()).isValid();
}

bool TimeFits(const QString& text) {
  const auto match = TimePattern().match(text.trimmed());
  return match.hasMatch() && match.captured(1).toInt() < 24 && match.captured(2).toInt() < 60;
}

bool DegreesFit(const QString& text, std::uint32_t maxMagnitude) {
  const QString trimmed = text.trimmed();
  if (!DecimalPattern().match(trimmed).hasMatch()) return false;
  bool negative = false;
  return Magnitude(trimmed, &negative) <= maxMagnitude;
}

bool HeadingFits(const QString& text) {
  const QString trimmed = text.trimmed();
  return WholePattern().match(trimmed).hasMatch() && LeadingNumber::ToInt(trimmed) <= PoiConstants::kMaxHeading;
}

}  // namespace

bool CheckPoiTexts(const PoiTexts& texts) {
  return DateFits(texts.date) && TimeFits(texts.time) &&
         DegreesFit(texts.latitude, PoiConstants::kMaxLatitudeMagnitude) &&
         DegreesFit(texts.longitude, PoiConstants::kMaxLongitudeMagnitude) && HeadingFits(texts.heading);
}
