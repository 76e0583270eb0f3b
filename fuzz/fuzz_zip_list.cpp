// The manual pack's list file. A name it accepts stays inside the working folder: the run
// reads and later deletes the files it names.
#include "fuzz/FuzzInput.h"
#include "update/UpdateCatalogue.h"

namespace {
void CheckInside(const QString& name) {
  const QString folder = QStringLiteral("/work/folder");
  const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
  FUZZ_CHECK(path.startsWith(folder + QLatin1Char('/')));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto list = UpdateCatalogue::ReadZipList(FuzzInput::File(data, size));
  FUZZ_CHECK(list.has_value());
  if (list->bDB) CheckInside(list->strDB);
  if (list->bVoice) CheckInside(list->strVoice);
  if (list->bFW) CheckInside(list->strFW);
  return 0;
}
