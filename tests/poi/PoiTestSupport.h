#pragma once

// The POI tests' shared data, and what they all include.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <ostream>
#include <tuple>

#include "poi/PoiFile.h"
#include "poi/PoiFileContent.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiRecord.h"
#include "poi/ToolPoi.h"
#include "support/TestSupport.h"

inline void PrintTo(const PoiTexts& p, std::ostream* os) {
  *os << (QStringList{p.date, p.time, p.latitude, p.longitude, p.heading}.join(u',')).toStdString();
}

namespace PoiTest {

inline PoiTexts P(const char* date, const char* time, const char* latitude, const char* longitude,
                  const char* heading) {
  return {QString::fromUtf8(date), QString::fromUtf8(time), QString::fromUtf8(latitude),
          QString::fromUtf8(longitude), QString::fromUtf8(heading)};
}

// A record's twelve bytes, as hex.
inline QString Hex(const PoiRecord& record) {
  return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(record.bytes.data()), 12).toHex());
}

// POIs the unit keeps: the extremes, then every year, both hemispheres, headings 0 to 511;
// no time falls in the hour that summer time skips or repeats.
inline QList<PoiTexts> ValidPois(int count) {
  QList<PoiTexts> pois{P("2008/01/01", "00:00", "-90.00000", "-180.00000", "0"),
                       P("2023/12/31", "23:59", "90.00000", "180.00000", "511"),
                       P("2012/02/29", "12:00", "-0.00001", "0.00001", "360")};
  for (int i = static_cast<int>(pois.size()); i < count; ++i)
    pois.append({QString::asprintf("%04d/%02d/%02d", 2008 + i % 16, 1 + i % 12, 1 + i * 5 % 28),
                 QString::asprintf("%02d:%02d", i * 7 % 23 + (i * 7 % 23 >= 2), i * 13 % 60),
                 PoiDegreesText(i * 7919 % 18000001 / 1e5 - 90), PoiDegreesText(i * 104729 % 36000001 / 1e5 - 180),
                 QString::number(i * 37 % 512)});
  return pois;
}

// The rows a file gives the list: its own lines, or each POI's texts.
inline QList<PoiTexts> Rows(const PoiFileContent& content) {
  if (content.format == PoiFormat::Text) return content.lines;
  const PoiLocalTime local;
  QList<PoiTexts> rows;
  for (const ToolPoi& poi : content.pois) rows.append(ListTexts(poi, local));
  return rows;
}

}  // namespace PoiTest
