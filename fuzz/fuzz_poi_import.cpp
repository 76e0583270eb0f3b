// A POI file the user picks to import, and the conversion of its rows at the next save.
// A row the record can keep survives the round trip: the record made from it reads back as
// texts that make the same record.
#include "fuzz/FuzzInput.h"
#include "poi/PoiFile.h"
#include "poi/PoiRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto rows = PoiFile::Read(FuzzInput::File(data, size));
  FUZZ_CHECK(rows.has_value());
  for (const PoiTexts& row : *rows) {
    const PoiTexts trimmed{row.date.trimmed(), row.time.trimmed(), row.latitude.trimmed(), row.longitude.trimmed(),
                           row.heading.trimmed()};
    const PoiRecord record = EncodePoiRecord(trimmed);
    if (CheckPoiTexts(row)) FUZZ_CHECK(EncodePoiRecord(DecodePoiRecord(record)) == record);
  }
  return 0;
}
