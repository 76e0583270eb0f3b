// The 12-byte POI record as the unit sends it. Its texts pack back into the same record,
// but for the bits the record ignores and the sign of a zero coordinate.
#include "fuzz/FuzzInput.h"
#include "poi/PoiRecord.h"

namespace {

PoiRecord Normalized(PoiRecord record) {
  auto& b = record.bytes;
  b[8] &= 0x3F;
  b[9] &= 0xDF;
  b[10] = (b[10] & 0xC0) | 0x30;
  b[11] &= 0x8F;
  if ((b[0] | b[1] | b[2]) == 0) b[11] &= ~0x04;                   // south
  if ((b[3] | b[4] | b[5] | (b[11] & 0x02)) == 0) b[11] &= ~0x08;  // west
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size != PoiConstants::kRecordSize) return 0;
  PoiRecord record;
  std::copy_n(data, size, record.bytes.begin());
  const PoiTexts texts = DecodePoiRecord(record);
  FUZZ_CHECK(EncodePoiRecord(texts) == Normalized(record));
  CheckPoiTexts(texts);
  return 0;
}
