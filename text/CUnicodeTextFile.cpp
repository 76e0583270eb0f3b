#include "text/CUnicodeTextFile.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace {

constexpr const char* kWideCharset = "UTF-16LE";
constexpr char16_t kWideReplacement = 0xFFFD;    // what a bad multibyte sequence becomes
constexpr const char* kUtf8Replacement = "\xEF\xBF\xBD";  // a lone surrogate written as UTF-8

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char16_t WideUnitAt(const char* littleEndian) {
  return static_cast<char16_t>(static_cast<unsigned char>(littleEndian[0]) |
                               static_cast<unsigned char>(littleEndian[1]) << 8);
}

// How many input bytes a character that cannot be converted takes up.
using SkipFn = size_t (*)(const char* at, size_t left);

size_t SkipOneByte(const char*, size_t) { return 1; }

size_t SkipWideChar(const char* at, size_t left) {
  if (left >= 4 && IsHighSurrogate(WideUnitAt(at)) && IsLowSurrogate(WideUnitAt(at + 2))) return 4;
  return left >= 2 ? 2 : left;
}

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opening a converter costs more than converting a line, so each thread keeps the ones it
// opened, reset to their initial state before each use.
iconv_t Converter(const char* toCharset, const char* fromCharset) {
  struct Cached {
    std::string to, from;
    iconv_t cd = kNoConverter;
    ~Cached() {
      if (cd != kNoConverter) iconv_close(cd);
    }
  };
  thread_local std::vector<std::unique_ptr<Cached>> cache;
  for (const auto& entry : cache) {
    if (entry->to == toCharset && entry->from == fromCharset) {
      if (entry->cd != kNoConverter) iconv(entry->cd, nullptr, nullptr, nullptr, nullptr);
      return entry->cd;
    }
  }
  auto entry = std::make_unique<Cached>();
  entry->to = toCharset;
  entry->from = fromCharset;
  entry->cd = iconv_open(toCharset, fromCharset);
  cache.push_back(std::move(entry));
  return cache.back()->cd;
}

// Converts the whole input with iconv. A character that cannot be converted is written as
// `replacement` and skipped; `usedReplacement` reports that it happened. FALSE when iconv
// does not know one of the charsets.
bool Convert(const char* toCharset, const char* fromCharset, const char* input, size_t inputBytes,
             const std::string& replacement, SkipFn skip, std::string& output, bool* usedReplacement) {
  if (!toCharset || !fromCharset) return false;
  iconv_t cd = Converter(toCharset, fromCharset);
  if (cd == kNoConverter) return false;

  output.assign(inputBytes * 2 + 16, '\0');
  size_t written = 0;
  char* in = const_cast<char*>(input);
  size_t inLeft = inputBytes;
  bool ok = true;
  while (inLeft > 0) {
    char* out = output.data() + written;
    size_t outLeft = output.size() - written;
    const size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    written = output.size() - outLeft;
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      output.resize(output.size() * 2);
    } else if (errno == EILSEQ || errno == EINVAL) {
      // EINVAL: an incomplete sequence at the end; it is replaced like a bad one.
      if (output.size() - written < replacement.size()) output.resize(output.size() * 2 + replacement.size());
      output.replace(written, replacement.size(), replacement);
      written += replacement.size();
      const size_t skipped = skip(in, inLeft);
      in += skipped;
      inLeft -= skipped;
      if (usedReplacement) *usedReplacement = true;
    } else {
      ok = false;
      break;
    }
  }
  output.resize(written);
  return ok;
}

// The UTF-16 source through its terminator, as little-endian bytes.
std::string WideSourceBytes(const char16_t* source) {
  std::string bytes;
  for (const char16_t* p = source;; ++p) {
    bytes += static_cast<char>(*p & 0xFF);
    bytes += static_cast<char>(*p >> 8);
    if (*p == 0) break;
  }
  return bytes;
}

// The multibyte text of a UTF-16 source, terminator included; FALSE on failure.
bool WideToMultiByteText(const char16_t* source, int nCodePage, std::string& output,
                         bool* usedReplacement) {
  const std::string bytes = WideSourceBytes(source);
  const std::string replacement = nCodePage == CodePage::kUtf8
                                      ? std::string(kUtf8Replacement)
                                      : std::string(1, CUnicodeTextFile::kReplacementChar);
  return Convert(CodePage::CharsetName(nCodePage), kWideCharset, bytes.data(), bytes.size(),
                 replacement, SkipWideChar, output, usedReplacement);
}

void TraceControlledFailure(const char* where) {
#ifndef NDEBUG
  qDebug("Controlled exception in %s!", where);
#else
  Q_UNUSED(where);
#endif
}

// Removes the line break a line may still carry: CR LF, or a single CR or LF.
void TrimLineEnd(QByteArray& line) {
  if (line.size() > 1 && line.endsWith("\r\n"))
    line.chop(2);
  else if (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n'))
    line.chop(1);
}

}  // namespace

bool CUnicodeTextFile::Open(const QString& fileName, uint32_t nOpenFlags) {
  Close();
  m_bIsUnicodeText = false;
  // This reader only reads; a request to write or create is refused.
  if (nOpenFlags & (modeWrite | modeReadWrite | modeCreate)) return false;
  if (nOpenFlags & typeText) {
    m_bIsUnicodeText = IsFileUnicode(fileName);
    // No line-end translation may happen on the wide stream.
    if (m_bIsUnicodeText) nOpenFlags = (nOpenFlags & ~uint32_t(typeText)) | typeBinary;
  }
  m_nOpenFlags = nOpenFlags;
  m_nLocaleCodePage = GetCurrentLocaleCodePage();
  m_file.setFileName(fileName);
  return m_file.open(QIODevice::ReadOnly);
}

void CUnicodeTextFile::Close() {
  if (m_file.isOpen()) m_file.close();
}

bool CUnicodeTextFile::IsFileUnicode(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  char bytes[2];
  return file.read(bytes, 2) == 2 && WideUnitAt(bytes) == kByteOrderMark;
}

int CUnicodeTextFile::GetCurrentLocaleCodePage() { return CodePage::CurrentLocaleCodePage(); }

bool CUnicodeTextFile::ReadString(QByteArray& line) {
  if (!m_file.isOpen()) return false;
  const bool read = m_bIsUnicodeText ? ReadWideLine(line) : ReadMultiByteLine(line);
  if (read) TrimLineEnd(line);
  return read;
}

bool CUnicodeTextFile::ReadWideLine(QByteArray& line) {
  if (m_file.pos() == 0) {
    char bom[2];
    if (m_file.read(bom, 2) != 2) return false;
  }
  std::vector<char16_t> wide(kWideLineUnits, 0);
  int units = 0;
  char pair[2];
  while (units < kWideLineUnits - 1 && m_file.read(pair, 2) == 2) {
    wide[units++] = WideUnitAt(pair);
    if (wide[units - 1] == u'\n') break;
  }
  if (units == 0) return false;
  // A piece cut at the buffer's end keeps a surrogate pair whole for the next piece.
  if (units == kWideLineUnits - 1 && units > 1 && IsHighSurrogate(wide[units - 1])) {
    wide[--units] = 0;
    m_file.seek(m_file.pos() - 2);
  }

  // A line that cannot be converted reads as empty, never as the previous line again.
  line.clear();
  const int needed = RequiredMultiByteLength(wide.data(), m_nFileCodePage);
  if (needed > 0) {
    QByteArray converted(needed, '\0');
    const int bytes = WideToMultiByte(wide.data(), converted.data(), needed, m_nFileCodePage);
    if (bytes > 0) line = converted.left(bytes);
  }
  return true;
}

bool CUnicodeTextFile::ReadMultiByteLine(QByteArray& line) {
  QByteArray raw = m_file.readLine();
  if (raw.isEmpty()) return false;
  if (raw.endsWith('\n')) {
    raw.chop(1);
    // Text mode reads CR LF as a line feed.
    if ((m_nOpenFlags & typeText) && raw.endsWith('\r')) raw.chop(1);
  }
  line = raw;

  const int localeCodePage = m_nLocaleCodePage;
  if (localeCodePage <= 0 || localeCodePage == m_nFileCodePage) return true;
  // Re-encode from the file's code page into the user's; on failure the line stays as read.
  std::vector<char16_t> wide(raw.size() + 1, 0);
  if (MultiByteToWide(raw.constData(), wide.data(), int(wide.size()), m_nFileCodePage) < 1) return true;
  const int needed = RequiredMultiByteLength(wide.data(), localeCodePage);
  if (needed <= 0) return true;
  QByteArray converted(needed, '\0');
  const int bytes = WideToMultiByte(wide.data(), converted.data(), needed, localeCodePage);
  if (bytes > 0) line = converted.left(bytes);
  return true;
}

int CUnicodeTextFile::MultiByteToWide(const char* source, char16_t* destination, int destinationUnits,
                                      int nCodePage) {
  if (destination && destinationUnits > 0)
    std::memset(destination, 0, sizeof(char16_t) * size_t(destinationUnits));
  if (!source || !destination || destinationUnits <= 0) return 0;
  try {
    std::string wideBytes;
    const std::string replacement{char(kWideReplacement & 0xFF), char(kWideReplacement >> 8)};
    if (!Convert(kWideCharset, CodePage::CharsetName(nCodePage), source, std::strlen(source) + 1,
                 replacement, SkipOneByte, wideBytes, nullptr))
      return 0;
    const size_t units = wideBytes.size() / 2;
    if (units == 0 || units > size_t(destinationUnits)) return 0;
    for (size_t i = 0; i < units; ++i) destination[i] = WideUnitAt(wideBytes.data() + 2 * i);
    return int(units) - 1;
  } catch (...) {
    TraceControlledFailure("MultiByteToWideChar");
    return 0;
  }
}

int CUnicodeTextFile::WideToMultiByte(const char16_t* source, char* destination, int destinationBytes,
                                      int nCodePage, bool* pUsedDefaultChar) {
  if (destination && destinationBytes > 0) std::memset(destination, 0, size_t(destinationBytes));
  if (!source || !destination || destinationBytes <= 0) return 0;
  try {
    std::string text;
    bool usedDefault = false;
    if (!WideToMultiByteText(source, nCodePage, text, &usedDefault)) return 0;
    if (text.empty() || text.size() > size_t(destinationBytes)) return 0;
    std::memcpy(destination, text.data(), text.size());
    if (pUsedDefaultChar && nCodePage != CodePage::kUtf8) *pUsedDefaultChar = usedDefault;
    return int(text.size()) - 1;
  } catch (...) {
    TraceControlledFailure("WideCharToMultiByte");
    return 0;
  }
}

int CUnicodeTextFile::RequiredMultiByteLength(const char16_t* source, int nCodePage) {
  if (!source) return 0;
  try {
    std::string text;
    return WideToMultiByteText(source, nCodePage, text, nullptr) ? int(text.size()) : 0;
  } catch (...) {
    TraceControlledFailure("WideCharToMultiByte");
    return 0;
  }
}

QString CUnicodeTextFile::MultiByteToQString(const QByteArray& text, int nCodePage) {
  if (text.isEmpty()) return QString();
  std::vector<char16_t> wide(size_t(text.size()) + 1, 0);
  const int units = MultiByteToWide(text.constData(), wide.data(), int(wide.size()), nCodePage);
  return QString::fromUtf16(wide.data(), units);
}

bool CUnicodeTextFile::ReadLine(QString& line) {
  QByteArray bytes;
  if (!ReadString(bytes)) return false;
  line = MultiByteToQString(bytes, LineCodePage());
  return true;
}

int CUnicodeTextFile::LineCodePage() const {
  if (m_bIsUnicodeText) return m_nFileCodePage;
  return m_nLocaleCodePage > 0 ? m_nLocaleCodePage : m_nFileCodePage;
}
