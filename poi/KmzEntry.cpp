#include "poi/KmzEntry.h"

#include <zip.h>

#include <QString>
#include <memory>

#include "update/UnzipArchive.h"

namespace {

constexpr qint64 kReadBlockBytes = 64 * 1024;
constexpr char kKmlSuffix[] = ".kml";

// Reads the item whole, or nothing: too large, damaged (a wrong CRC fails the last read).
KmzEntry ReadItem(zip_t* archive, zip_uint64_t index, qint64 maxBytes, const std::stop_token& stop) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 ||
      ((stat.valid & ZIP_STAT_SIZE) && stat.size > static_cast<zip_uint64_t>(maxBytes)))
    return {KmzEntry::Refused, {}};
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> item(zip_fopen_index(archive, index, 0), zip_fclose);
  if (!item) return {KmzEntry::Refused, {}};  // encrypted, or a method libzip lacks
  KmzEntry entry{KmzEntry::Taken, {}};
  QByteArray block(kReadBlockBytes, Qt::Uninitialized);
  for (;;) {
    if (stop.stop_requested()) return {KmzEntry::Refused, {}};
    const zip_int64_t got = zip_fread(item.get(), block.data(), static_cast<zip_uint64_t>(block.size()));
    if (got < 0 || entry.kml.size() + got > maxBytes) return {KmzEntry::Refused, {}};
    if (got == 0) return entry;
    entry.kml.append(block.constData(), got);
  }
}

}  // namespace

bool LooksLikeZip(QByteArrayView head) {
  // A local file header, or the end of the directory of an empty archive.
  return head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06");
}

KmzEntry FirstKmlEntry(const QByteArray& archive, qint64 maxBytes, const std::stop_token& stop) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(archive.constData(), archive.size(), 0, &error);
  zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
  zip_error_fini(&error);
  if (!zip) {
    zip_source_free(source);  // the archive owns it only once opened
    return {KmzEntry::NotAnArchive, {}};
  }
  std::unique_ptr<zip_t, void (*)(zip_t*)> opened(zip, zip_discard);
  const zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
    const QString itemName = name ? QString::fromUtf8(name) : QString();
    if (!itemName.endsWith(QLatin1String(kKmlSuffix), Qt::CaseInsensitive)) continue;
    if (!IsSafeItemName(itemName)) return {KmzEntry::Refused, {}};
    return ReadItem(zip, static_cast<zip_uint64_t>(i), maxBytes, stop);
  }
  return {KmzEntry::NoKml, {}};
}
