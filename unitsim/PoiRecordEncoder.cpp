#include "unitsim/PoiRecordEncoder.h"

#include <cmath>
#include <cstdint>

namespace {
constexpr double kUnitsPerDegree = 100000.0;
constexpr std::int64_t kMaxLatitude = 90 * 100000;
constexpr std::int64_t kMaxLongitude = 180 * 100000;
constexpr std::uint8_t kByte10Constant = 0x30;

bool InRange(int value, int low, int high) { return value >= low && value <= high; }
}  // namespace

std::optional<UnitState::PoiRecord> PoiRecordEncoder::Encode(const PoiFields& poi, std::string* error) {
  const auto fail = [&](const char* reason) -> std::optional<UnitState::PoiRecord> {
    if (error) *error = reason;
    return std::nullopt;
  };
  if (!InRange(poi.year, kFirstYear, kLastYear)) return fail("year not 2008 to 2023");
  if (!InRange(poi.month, 1, 12) || !InRange(poi.day, 1, 31)) return fail("no such date");
  if (!InRange(poi.hour, 0, 23) || !InRange(poi.minute, 0, 59)) return fail("no such time");
  if (!InRange(poi.heading, 0, kMaxHeading)) return fail("heading not 0 to 511");
  // Rounded, not truncated: 48.85661 is meant, whatever its nearest double is.
  const std::int64_t latitude = std::llround(std::fabs(poi.latitude) * kUnitsPerDegree);
  const std::int64_t longitude = std::llround(std::fabs(poi.longitude) * kUnitsPerDegree);
  if (latitude > kMaxLatitude) return fail("latitude beyond 90 degrees");
  if (longitude > kMaxLongitude) return fail("longitude beyond 180 degrees");

  UnitState::PoiRecord record{};
  record[0] = std::uint8_t(latitude >> 16);
  record[1] = std::uint8_t(latitude >> 8);
  record[2] = std::uint8_t(latitude);
  record[3] = std::uint8_t(longitude >> 16);
  record[4] = std::uint8_t(longitude >> 8);
  record[5] = std::uint8_t(longitude);
  record[6] = std::uint8_t(poi.heading);
  record[7] = std::uint8_t(poi.month << 4 | (poi.year - kFirstYear));
  record[8] = std::uint8_t(poi.minute);
  record[9] = std::uint8_t((poi.hour & 0x03) << 6 | poi.day);
  record[10] = std::uint8_t(((poi.hour >> 2) & 0x03) << 6 | kByte10Constant);
  record[11] = std::uint8_t(((poi.hour >> 4) & 0x01) << 7 | (poi.longitude < 0 ? 0x08 : 0) |
                            (poi.latitude < 0 ? 0x04 : 0) | ((longitude >> 24) & 0x01) << 1 |
                            ((poi.heading >> 8) & 0x01));
  return record;
}
