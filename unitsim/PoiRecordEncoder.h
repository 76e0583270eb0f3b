#pragma once

#include <optional>
#include <string>

#include "unitsim/UnitState.h"

// One POI as the unit's owner knows it.
struct PoiFields {
  int year = 2008, month = 1, day = 1, hour = 0, minute = 0;
  double latitude = 0, longitude = 0;  // signed degrees, five decimals are kept
  int heading = 0;                     // degrees
};

// Packs a POI into the unit's 12-byte record, for seeding a unit's POI slots:
//   0-2 latitude magnitude (1e-5 degree) | 3-5 longitude magnitude bits 23-0 | 6 heading 7-0 |
//   7 month << 4 | year - 2008 | 8 minute | 9 hour 1-0 << 6 | day | 10 hour 3-2 << 6 | 0x30 |
//   11 hour bit 4 << 7 | west << 3 | south << 2 | longitude bit 24 << 1 | heading bit 8
class PoiRecordEncoder {
 public:
  static constexpr int kFirstYear = 2008, kLastYear = 2023;
  static constexpr int kMaxHeading = 511;

  // Nothing, with the reason, when a value does not fit the record.
  static std::optional<UnitState::PoiRecord> Encode(const PoiFields& poi, std::string* error);
};
