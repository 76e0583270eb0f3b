#pragma once

#include <array>
#include <cstdint>

#include "poi/PoiConstants.h"
#include "poi/PoiTexts.h"

// One POI as the unit keeps it: 12 bytes in the order they travel on the pipe.
//   0-2   latitude magnitude bits 23-0 (0.00001 degree units), most significant first
//   3-5   longitude magnitude bits 23-0
//   6     heading bits 7-0
//   7     month << 4 | (year - 2008)
//   8     minute (bits 5-0)
//   9     hour bits 1-0 (bits 7-6), day of month (bits 4-0)
//   10    hour bits 3-2 (bits 7-6), always 0x30 in bits 5-0
//   11    hour bit 4 (bit 7), west (bit 3), south (bit 2), longitude bit 24 (bit 1),
//         heading bit 8 (bit 0)
struct PoiRecord {
  std::array<std::uint8_t, PoiConstants::kRecordSize> bytes{};

  // A record of 12 zero bytes is an empty slot.
  bool IsEmpty() const;
  bool operator==(const PoiRecord&) const = default;
};

PoiTexts DecodePoiRecord(const PoiRecord& record);

// Packs the texts the way the unit expects them; never fails: malformed texts give whatever
// numbers the packing yields. Latitude and longitude are rounded to the nearest 0.00001
// degree, so five decimals survive a round trip exactly.
PoiRecord EncodePoiRecord(const PoiTexts& texts);

// Whether the record can keep the texts exactly (blanks around a text aside): a date
// year/month/day of 2008 to 2023 that exists, a time hours:minutes within a day, latitude
// and longitude numbers within +-90 and +-180 degrees, a heading 0 to 511.
bool CheckPoiTexts(const PoiTexts& texts);

// Signed degrees as the list shows them: rounded to the nearest 0.00001 degree, five
// decimals, no sign on zero. A value that is no finite number gives an empty text.
QString PoiDegreesText(double degrees);
