#pragma once

#include "device/UnitExchange.h"

// Every size, period, bound and fixed text of the POI subsystem, in one place.
namespace PoiConstants {

inline constexpr int kRecordSize = 12;
inline constexpr int kSlotCount = 100;  // slots of the record table; nothing is stored past it
inline constexpr int kCountReplySize = 3;

// Commands on the POI pipes.
inline constexpr char kCountCommand[] = "$PC>";
inline constexpr char kReadAllCommand[] = "$P6>";
inline constexpr char kEraseAllCommand[] = "$P0<";
inline constexpr char kWriteOneCommand[] = "$P8<";  // + slot index byte + 12 record bytes

// An exchange gives up at the failure after this many.
inline constexpr int kMaxFailedCalls = UnitExchange::kMaxFailedCalls;
// The write task paces the unit: before each record write attempt, after each success and
// after the erase command.
inline constexpr int kWritePacingMs = UnitExchange::kCommandPauseMs;

// Save stays locked for this many ticks of its timer after every read from the unit.
inline constexpr int kSaveLockPeriodMs = 1000;
inline constexpr int kSaveLockTicks = 16;
// The main page's poll period once a read or save is over.
inline constexpr int kMainPollPeriodMs = 500;

// Scaled whole numbers of the record: 0.00001 degree per unit.
inline constexpr double kDegreeScale = 100000.0;
inline constexpr unsigned kMaxLatitudeMagnitude = 9000000;    // 90 degrees
inline constexpr unsigned kMaxLongitudeMagnitude = 18000000;  // 180 degrees
inline constexpr int kMaxHeading = 511;
inline constexpr int kFirstYear = 2008;
inline constexpr int kLastYear = 2023;

// POI text files, in the working folder, named after the local time they were made.
inline constexpr int kFileYearBase = 2007;
inline constexpr char kExportNameFormat[] = "POI_%02d%02d%02d_%02d%02d%02d.txt";
inline constexpr char kBackupNameFormat[] = "POI_SAVE_%02d%02d%02d_%02d%02d%02d.txt";

// The maker's map page for one POI.
inline constexpr char kMapSiteAddress[] = "http://www.v770.example/";
inline constexpr char kMapPage[] = "poi.asp";

// Fixed texts the user reads.
inline constexpr char kHandleNotOpenMessage[] = "Fail : handle is not open";
inline constexpr char kInitialCountLabel[] = "POI Total Count : ";

// POI files of other tools: an imported POI is a duplicate when it lies within this
// distance of one already kept and its heading is within this angle of that one's.
inline constexpr double kDuplicateDistanceMetres = 25.0;
inline constexpr int kDuplicateHeadingDegrees = 30;
inline constexpr double kEarthRadiusMetres = 6371008.8;  // mean radius
inline constexpr char kGpxNamespace[] = "http://www.topografix.com/GPX/1/1";
inline constexpr char kKmlNamespace[] = "http://www.opengis.net/kml/2.2";
inline constexpr char kCreatorName[] = "V770 PC Software";
// The unit keeps headings up to 511; other formats hold a course below 360. The unit's own
// value travels beside it under this program's names: an extension element of its own
// namespace in GPX, ExtendedData in KML, a column of CSV (whose name holds no "head": a
// converter such as GPSBabel takes any such column for the course).
inline constexpr char kOwnNamespace[] = "http://www.v770.example/xmlschemas/poi/1";
inline constexpr char kOwnPrefix[] = "v770";
inline constexpr char kOwnHeadingElement[] = "heading";
inline constexpr char kOwnHeadingKey[] = "v770:heading";
inline constexpr char kOwnHeadingColumn[] = "v770_direction";
// Map tools keep far more points than the unit; their files are read up to this size (a
// KMZ's KML document too), the program's own file only up to the bound of a POI list.
inline constexpr qint64 kMaxToolFileBytes = 64 * 1024 * 1024;

// The list's column description, filled with the six column titles.
inline constexpr char kColumnSpecFormat[] = "%1, 40; %2, 90; %3, 90; %4, 90; %5, 90; %6, 90;";

}  // namespace PoiConstants
