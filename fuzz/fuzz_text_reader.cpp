// The text reader on any file, ANSI or UTF-16: the first byte picks the code page the file
// is read in and whether it is opened as text or binary; the rest is the file.
#include "fuzz/FuzzInput.h"
#include "platform/CodePage.h"
#include "text/CUnicodeTextFile.h"

namespace {
constexpr int kCodePages[] = {CodePage::kSystemAnsi, CodePage::kUtf8, 1252, 1251, 437, 932, 936, 949, 950, 28605};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int codePage = kCodePages[data[0] % std::size(kCodePages)];
  const auto type = (data[0] & 0x80) ? CUnicodeTextFile::typeBinary : CUnicodeTextFile::typeText;
  const QString path = FuzzInput::File(data + 1, size - 1);

  CUnicodeTextFile file;
  file.SetCodePage(codePage);
  FUZZ_CHECK(file.Open(path, CUnicodeTextFile::modeRead | type));
  QByteArray line;
  std::size_t lines = 0;
  while (file.ReadString(line)) FUZZ_CHECK(++lines <= size);  // every line takes a byte at least
  file.Close();
  FUZZ_CHECK(file.Open(path, CUnicodeTextFile::modeRead | type));
  QString text;
  while (file.ReadLine(text)) {
  }
  return 0;
}
