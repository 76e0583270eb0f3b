#pragma once

#include <QString>

// The five texts of one POI as the list columns 1 to 5 and the POI files hold them.
struct PoiTexts {
  QString date;       // year/month/day, "2009/03/15"
  QString time;       // hours:minutes, "07:45"
  QString latitude;   // signed degrees with five decimals
  QString longitude;  // signed degrees with five decimals
  QString heading;    // whole degrees

  bool operator==(const PoiTexts&) const = default;
};
