// A POI file the user picks to import, in any format the page reads (its own text file,
// GPX, KML, KMZ, CSV), the choice of the POIs that join the list, and the conversion of
// rows at the next save: a row the record can keep survives the round trip, the record made
// from it reads back as texts that make the same record.
#include "fuzz/FuzzInput.h"
#include "poi/PoiConstants.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString path = FuzzInput::File(data, size);
  const PoiFileContent content = ReadPoiFile(path);
  FUZZ_CHECK(content.status != PoiFileContent::Read || content.lines.isEmpty() || content.pois.empty());

  // Every POI the file holds is skipped, kept, or left out for lack of room; those kept
  // have texts the unit keeps.
  const int read = int(content.pois.size());
  const PoiImportReport report = SelectImportedPois({}, content.pois, PoiConstants::kSlotCount);
  FUZZ_CHECK(report.read == read && report.unfit + report.duplicates + report.noRoom + report.added.size() == read);
  FUZZ_CHECK(report.added.size() <= PoiConstants::kSlotCount && report.undated <= report.added.size());
  for (const PoiTexts& row : report.added) FUZZ_CHECK(CheckPoiTexts(row));
  // Every POI the list holds already is a duplicate of itself.
  const PoiImportReport again = SelectImportedPois(report.added, content.pois, PoiConstants::kSlotCount);
  FUZZ_CHECK(again.added.isEmpty() && again.unfit == report.unfit);

  for (const PoiTexts& row : content.lines) {
    const PoiTexts trimmed{row.date.trimmed(), row.time.trimmed(), row.latitude.trimmed(), row.longitude.trimmed(),
                           row.heading.trimmed()};
    const PoiRecord record = EncodePoiRecord(trimmed);
    if (CheckPoiTexts(row)) FUZZ_CHECK(EncodePoiRecord(DecodePoiRecord(record)) == record);
  }
  return 0;
}
