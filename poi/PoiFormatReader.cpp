#include "poi/PoiFormatReader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "poi/KmzEntry.h"
#include "poi/PoiConstants.h"
#include "poi/PoiCsvReader.h"
#include "poi/PoiFile.h"
#include "poi/PoiXmlReader.h"

namespace {

using PoiConstants::kMaxToolFileBytes;

// Enough of the start of a file to tell its kind, and to hold a CSV header line.
constexpr qsizetype kSniffBytes = 64 * 1024;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr int kPoiLineCommas = 4;  // date,time,latitude,longitude,heading

// The rest of the device, when it holds at most maxBytes.
std::optional<QByteArray> ReadAtMost(QIODevice& device, qint64 maxBytes) {
  // Block by block: asking for the whole bound at once would reserve all of it for every
  // file, however small. The size is checked as the bytes come, for a file that grows.
  constexpr qint64 kBlockBytes = 64 * 1024;
  QByteArray bytes;
  while (bytes.size() <= maxBytes) {
    const QByteArray block = device.read(std::min(kBlockBytes, maxBytes + 1 - bytes.size()));
    if (block.isEmpty()) break;
    bytes += block;
  }
  if (bytes.size() > maxBytes) return std::nullopt;
  return bytes;
}

// The text encoding of a file from its start: a byte-order mark names it; without one,
// text without NUL bytes is UTF-8, and UTF-16 shows as a NUL byte in every other place
// (characters below U+0100, as POI files hold). nullopt: binary.
std::optional<QStringConverter::Encoding> TextEncodingOf(QByteArrayView head) {
  if (const auto marked = QStringConverter::encodingForData(head)) return marked;
  if (!head.contains('\0')) return QStringConverter::Utf8;
  qsizetype evenNuls = 0, oddNuls = 0;
  const qsizetype pairs = head.size() / 2;
  for (qsizetype i = 0; i < pairs; ++i) {
    evenNuls += head[2 * i] == '\0';
    oddNuls += head[2 * i + 1] == '\0';
  }
  if (oddNuls == 0 && 2 * evenNuls >= pairs) return QStringConverter::Utf16BE;
  if (evenNuls == 0 && 2 * oddNuls >= pairs) return QStringConverter::Utf16LE;
  return std::nullopt;
}

QByteArrayView WithoutBom(QByteArrayView bytes) {
  return bytes.startsWith(kUtf8Bom) ? bytes.sliced(sizeof kUtf8Bom - 1) : bytes;
}

// The first byte that is not blank, or 0 for none.
char FirstMark(QByteArrayView bytes) {
  for (const char c : WithoutBom(bytes))
    if (!std::isspace(static_cast<unsigned char>(c))) return c;
  return '\0';
}

// A line of the program's own file: four commas at least, numbers for the place.
bool IsPoiLine(QByteArrayView line) {
  qsizetype commas[kPoiLineCommas];
  qsizetype at = -1;
  for (qsizetype& comma : commas)
    if ((comma = at = line.indexOf(',', at + 1)) < 0) return false;
  const auto field = [&](int n) { return line.sliced(commas[n - 1] + 1, commas[n] - commas[n - 1] - 1); };
  return ToolNumber(field(2)) && ToolNumber(field(3));
}

bool HasPoiLine(QByteArrayView bytes) {
  for (qsizetype start = 0; start < bytes.size();) {
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0) end = bytes.size();
    if (IsPoiLine(bytes.sliced(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// Text that is not XML: CSV, the program's own file, or foreign.
PoiFileContent ReadPlainText(QIODevice& device) {
  const auto bytes = ReadAtMost(device, kMaxToolFileBytes);
  if (!bytes) return PoiFileContent::Refused(PoiFileContent::Unreadable);
  const QByteArrayView text = WithoutBom(*bytes);
  if (HasPoiCsvHeader(QString::fromUtf8(text.first(std::min(text.size(), kSniffBytes)))))
    return ReadPoiCsv(QString::fromUtf8(text));
  if (!HasPoiLine(*bytes)) return PoiFileContent::Refused(PoiFileContent::Foreign);
  // A POI list holds at most a hundred short lines.
  if (bytes->size() > PoiFile::kMaxFileBytes) return PoiFileContent::Refused(PoiFileContent::Unreadable);
  PoiFileContent content;
  content.lines = PoiFile::Parse(*bytes);
  return content;
}

// UTF-8 text (or UTF-16 made UTF-8, with `encoding` then saying so to the XML reader).
PoiFileContent ReadText(QIODevice& device, const char* encoding, const std::stop_token& stop) {
  char mark = FirstMark(device.peek(kSniffBytes));
  QBuffer whole;
  if (mark == '\0') {  // blank as far as the start goes: the whole decides
    const auto bytes = ReadAtMost(device, kMaxToolFileBytes);
    if (!bytes) return PoiFileContent::Refused(PoiFileContent::Unreadable);
    if ((mark = FirstMark(*bytes)) == '\0') return PoiFileContent::Refused(PoiFileContent::Foreign);
    whole.setData(*bytes);
    whole.open(QIODevice::ReadOnly);
  }
  QIODevice& source = whole.isOpen() ? static_cast<QIODevice&>(whole) : device;
  return mark == '<' ? ReadPoiXml(source, encoding, stop) : ReadPlainText(source);
}

PoiFileContent ReadKmz(QIODevice& device, const std::stop_token& stop) {
  const auto archive = ReadAtMost(device, kMaxToolFileBytes);
  if (!archive) return PoiFileContent::Refused(PoiFileContent::Unreadable);
  KmzEntry entry = FirstKmlEntry(*archive, kMaxToolFileBytes, stop);
  switch (entry.result) {
    case KmzEntry::Taken: break;
    case KmzEntry::NoKml: return PoiFileContent::Refused(PoiFileContent::Foreign);
    case KmzEntry::NotAnArchive:
    case KmzEntry::Refused: return PoiFileContent::Refused(PoiFileContent::Unreadable);
  }
  QBuffer kml(&entry.kml);
  kml.open(QIODevice::ReadOnly);
  return ReadPoiXml(kml, nullptr, stop);
}

PoiFileContent ReadDevice(QIODevice& device, const std::stop_token& stop) {
  const QByteArray head = device.peek(kSniffBytes);
  if (LooksLikeZip(head)) return ReadKmz(device, stop);
  const auto encoding = TextEncodingOf(head);
  if (!encoding) return PoiFileContent::Refused(PoiFileContent::Foreign);
  if (*encoding == QStringConverter::Utf8) return ReadText(device, nullptr, stop);
  // Other encodings are made UTF-8 first; POI files hold few characters beyond ASCII.
  const auto bytes = ReadAtMost(device, kMaxToolFileBytes);
  if (!bytes) return PoiFileContent::Refused(PoiFileContent::Unreadable);
  QStringDecoder decoder(*encoding);
  QString text = decoder.decode(*bytes);
  if (text.startsWith(QChar::ByteOrderMark)) text.remove(0, 1);
  QBuffer utf8;
  utf8.setData(text.toUtf8());
  utf8.open(QIODevice::ReadOnly);
  return ReadText(utf8, "UTF-8", stop);
}

}  // namespace

PoiFileContent ReadPoiContent(QByteArrayView bytes, const std::stop_token& stop) {
  QBuffer buffer;
  buffer.setData(bytes.toByteArray());
  buffer.open(QIODevice::ReadOnly);
  return ReadDevice(buffer, stop);
}

PoiFileContent ReadPoiFile(const QString& path, const std::stop_token& stop) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxToolFileBytes)
    return PoiFileContent::Refused(PoiFileContent::Unreadable);
  PoiFileContent content = ReadDevice(file, stop);
  if (file.error() != QFileDevice::NoError) return PoiFileContent::Refused(PoiFileContent::Unreadable);
  return content;
}
