// The UI text file and the extra text file, with the list values and error messages the
// pages take from them. A text saved as UTF-16 gives the same tables as saved in the user's
// code page (UTF-8 here), as long as no line is long enough to arrive in pieces.
#include "fuzz/FuzzInput.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

namespace {
constexpr qsizetype kLongestWholeLine = 4000;  // UTF-16 lines arrive in pieces of 4095 units

QByteArray Utf16WithBom(const QString& text) {
  return QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}
}  // namespace

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

  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString text = QString::fromUtf8(bytes);
  const bool wholeLines = std::ranges::all_of(text.split(u'\n'), [](const QString& line) {
    return line.size() < kLongestWholeLine;
  });
  if (text.toUtf8() != bytes || !wholeLines) return 0;
  const QByteArray wide = Utf16WithBom(text);
  UiTextTables wideTables;
  FUZZ_CHECK(ReadUITextFile(FuzzInput::File(reinterpret_cast<const std::uint8_t*>(wide.constData()),
                                            std::size_t(wide.size()), QStringLiteral("wide")),
                            wideTables));
  FUZZ_CHECK(wideTables == tables);
  return 0;
}
