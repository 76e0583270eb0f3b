// The UI text file and the extra text file, with the list values and error messages the
// pages take from them.
#include "fuzz/FuzzInput.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString path = FuzzInput::File(data, size);
  UiTextTables tables;
  FUZZ_CHECK(ReadUITextFile(path, tables));
  for (int language = kLanguageEnglish; language <= kLanguageTableCount; ++language) {
    CopyErrorMessages(tables, language);
    for (int list : {LANGUAGE_001, VOICELIST_001, DBAREA_001})
      FUZZ_CHECK(ParseListValue(UiText(tables, language, list)).size() <= kMaxListItems);
  }
  ExtraTextTable extra;
  FUZZ_CHECK(ReadExtraTextFile(path, extra));
  return 0;
}
