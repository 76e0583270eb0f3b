#include "poi/PoiImportCheck.h"

#include <QDir>
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

Place PlaceAt(double latitudeDegrees, double longitudeDegrees, int heading) {
  constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
  const double latitude = latitudeDegrees * kRadiansPerDegree;
  const double longitude = longitudeDegrees * kRadiansPerDegree;
  const double r = PoiConstants::kEarthRadiusMetres;
  return {r * std::cos(latitude) * std::cos(longitude), r * std::cos(latitude) * std::sin(longitude),
          r * std::sin(latitude), heading};
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

// The texts of each audience.
struct AudienceTexts {
  ExtraTextId notRead, foreign, malformed, report;
};
const AudienceTexts& TextsFor(PoiAudience audience) {
  static const AudienceTexts window{ExtraTextId::POI_FILE_NOT_READ, ExtraTextId::POI_FILE_FOREIGN,
                                    ExtraTextId::POI_FILE_MALFORMED, ExtraTextId::POI_IMPORT_REPORT};
  static const AudienceTexts commandLine{ExtraTextId::CLI_POI_FILE_NOT_READ, ExtraTextId::CLI_POI_FILE_FOREIGN,
                                         ExtraTextId::CLI_POI_FILE_MALFORMED, ExtraTextId::CLI_POI_IMPORT_REPORT};
  return audience == PoiAudience::Window ? window : commandLine;
}

}  // namespace

PoiImportReport SelectImportedPois(const QList<PoiTexts>& listRows, const std::vector<ToolPoi>& filePois,
                                   int freeSlots) {
  KeptPlaces kept;
  for (const PoiTexts& row : listRows)
    if (CheckPoiTexts(row))
      kept.Add(PlaceAt(LeadingNumber::ToDouble(row.latitude), LeadingNumber::ToDouble(row.longitude),
                       LeadingNumber::ToInt(row.heading)));
  const PoiLocalTime local;
  PoiImportReport report;
  report.read = static_cast<int>(filePois.size());
  for (const ToolPoi& poi : filePois) {
    if (!PlaceFits(poi)) {
      ++report.unfit;
      continue;
    }
    const Place place = PlaceAt(poi.latitude, poi.longitude, poi.heading);
    if (kept.HasDuplicateOf(place)) {
      ++report.duplicates;
      continue;
    }
    kept.Add(place);
    if (report.added.size() >= freeSlots) {
      ++report.noRoom;
      continue;
    }
    bool undated = false;
    report.added.append(ListTexts(poi, local, &undated));
    report.undated += undated;
  }
  return report;
}

PoiImport PlanPoiImport(const QList<PoiTexts>& listRows, const PoiFileContent& content) {
  PoiImport import;
  import.status = content.status;
  import.errorLine = content.errorLine;
  if (content.status != PoiFileContent::Read) return import;
  if (content.format == PoiFormat::Text) {
    import.bReplacesList = true;
    import.report.read = static_cast<int>(content.lines.size());
    import.report.added = content.lines;
    return import;
  }
  const int freeSlots = std::max(0, PoiConstants::kSlotCount - static_cast<int>(listRows.size()));
  import.report = SelectImportedPois(listRows, content.pois, freeSlots);
  return import;
}

QString PoiImportReportText(const PoiImportReport& report, PoiAudience audience) {
  QString text = ExtraText(TextsFor(audience).report)
                     .arg(report.read)
                     .arg(report.added.size())
                     .arg(report.unfit)
                     .arg(report.duplicates)
                     .arg(kDuplicateDistanceMetres)
                     .arg(kDuplicateHeadingDegrees);
  if (report.noRoom > 0)
    text += u'\n' + ExtraText(ExtraTextId::POI_IMPORT_NO_ROOM).arg(report.noRoom).arg(PoiConstants::kSlotCount);
  if (report.undated > 0)
    text += u'\n' + ExtraText(ExtraTextId::POI_IMPORT_UNDATED)
                        .arg(report.undated)
                        .arg(QStringLiteral("%1 %2").arg(QLatin1String(kEarliestUnitDate), QLatin1String(kEarliestUnitTime)));
  return text;
}

QString PoiFileErrorText(const PoiImport& import, const QString& path, PoiAudience audience) {
  const QString shown = QDir::toNativeSeparators(path);
  switch (import.status) {
    case PoiFileContent::Unreadable: return ExtraText(TextsFor(audience).notRead).arg(shown);
    case PoiFileContent::Foreign: return ExtraText(TextsFor(audience).foreign).arg(shown);
    case PoiFileContent::Malformed: return ExtraText(TextsFor(audience).malformed).arg(shown).arg(import.errorLine);
    case PoiFileContent::Read: break;
  }
  return QString();
}
