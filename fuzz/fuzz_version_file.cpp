// The version file: firmware values and the DB and VOICE catalogues.
#include "app/VersionFile.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  VersionInfo info;
  FUZZ_CHECK(ReadVersionFile(FuzzInput::File(data, size), info));
  // Each entry stands on a line of its own.
  FUZZ_CHECK(std::size_t(info.listDB.size() + info.listVoice.size()) <= size);
  return 0;
}
