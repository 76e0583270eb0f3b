#include "poi/PoiImportCheck.h"

#include <cmath>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "poi/LeadingNumber.h"
#include "poi/PoiConstants.h"
#include "poi/PoiRecord.h"
#include "text/ExtraTexts.h"

namespace {

using PoiConstants::kDuplicateDistanceMetres;
using PoiConstants::kDuplicateHeadingDegrees;

constexpr int kFullCircle = 360;

// A POI as a point in space (metres from the earth's centre) with its heading: at the
// duplicate distance the straight line and the way round the earth differ by far less than
// a millimetre.
struct Place {
  double x, y, z;
  int heading;
};

Place PlaceOf(const PoiTexts& poi) {
  constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
  const double latitude = LeadingNumber::ToDouble(poi.latitude) * kRadiansPerDegree;
  const double longitude = LeadingNumber::ToDouble(poi.longitude) * kRadiansPerDegree;
  const double r = PoiConstants::kEarthRadiusMetres;
  return {r * std::cos(latitude) * std::cos(longitude), r * std::cos(latitude) * std::sin(longitude),
          r * std::sin(latitude), LeadingNumber::ToInt(poi.heading)};
}

bool HeadingsClose(int a, int b) {
  const int apart = std::abs(a - b) % kFullCircle;
  return std::min(apart, kFullCircle - apart) <= kDuplicateHeadingDegrees;
}

// The places kept so far, in cubes twice as wide as the duplicate distance: a place near
// enough to a new one lies in the new one's cube or, along each axis, in the neighbour on
// the side the new one is nearer to; eight cubes are looked at.
class KeptPlaces {
 public:
  bool HasDuplicateOf(const Place& place) const {
    const Cell cell = CellOf(place);
    const Cell side = {Side(place.x, cell.x), Side(place.y, cell.y), Side(place.z, cell.z)};
    for (std::int64_t dx : {std::int64_t{0}, side.x})
      for (std::int64_t dy : {std::int64_t{0}, side.y})
        for (std::int64_t dz : {std::int64_t{0}, side.z}) {
          const auto found = m_cells.find(Key({cell.x + dx, cell.y + dy, cell.z + dz}));
          if (found == m_cells.end()) continue;
          for (const Place& kept : found->second)
            if (Near(place, kept) && HeadingsClose(place.heading, kept.heading)) return true;
        }
    return false;
  }

  void Add(const Place& place) { m_cells[Key(CellOf(place))].push_back(place); }

 private:
  struct Cell {
    std::int64_t x, y, z;
  };
  static constexpr double kCubeMetres = 2 * kDuplicateDistanceMetres;
  // Cube coordinates stay within +-2^17 (the earth's radius over 50 m), 21 bits each.
  static constexpr int kKeyBits = 21;
  static constexpr std::int64_t kKeyOffset = std::int64_t{1} << (kKeyBits - 1);

  static std::int64_t Cube(double v) { return static_cast<std::int64_t>(std::floor(v / kCubeMetres)); }
  static Cell CellOf(const Place& p) { return {Cube(p.x), Cube(p.y), Cube(p.z)}; }
  // -1 when the coordinate lies in the lower half of its cube, else +1.
  static std::int64_t Side(double v, std::int64_t cube) {
    return v - static_cast<double>(cube) * kCubeMetres < kDuplicateDistanceMetres ? -1 : 1;
  }
  static std::int64_t Key(const Cell& c) {
    return (c.x + kKeyOffset) << (2 * kKeyBits) | (c.y + kKeyOffset) << kKeyBits | (c.z + kKeyOffset);
  }
  static bool Near(const Place& a, const Place& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz <= kDuplicateDistanceMetres * kDuplicateDistanceMetres;
  }

  std::unordered_map<std::int64_t, std::vector<Place>> m_cells;
};

}  // namespace

PoiImportReport SelectImportedPois(const QList<PoiTexts>& listRows, const QList<PoiTexts>& filePois) {
  KeptPlaces kept;
  for (const PoiTexts& row : listRows)
    if (CheckPoiTexts(row)) kept.Add(PlaceOf(row));
  PoiImportReport report;
  report.read = static_cast<int>(filePois.size());
  for (const PoiTexts& poi : filePois) {
    if (!CheckPoiTexts(poi)) {
      ++report.unfit;
      continue;
    }
    const Place place = PlaceOf(poi);
    if (kept.HasDuplicateOf(place)) {
      ++report.duplicates;
      continue;
    }
    kept.Add(place);
    report.added.append(poi);
  }
  return report;
}

PoiImport PlanPoiImport(const QList<PoiTexts>& listRows, const PoiFileContent& content) {
  if (content.format != PoiFormat::Text) return {false, SelectImportedPois(listRows, content.pois)};
  PoiImport import{true, {}};
  import.report.read = static_cast<int>(content.pois.size());
  import.report.added = content.pois;
  return import;
}

QString PoiImportReportText(const PoiImportReport& report) {
  return ExtraText(ExtraTextId::POI_IMPORT_REPORT)
      .arg(report.read)
      .arg(report.added.size())
      .arg(report.unfit)
      .arg(report.duplicates)
      .arg(kDuplicateDistanceMetres)
      .arg(kDuplicateHeadingDegrees);
}
