#include "update/UnzipManualPack.h"

#include "update/UnzipArchive.h"

int UnpackManualPack(const QString& packFile, const QString& folder, const std::function<void(int)>& setPos,
                     QString* errorText, const std::stop_token& stop) {
  UnzipArchive archive;
  archive.SetOutputFolder(folder);
  auto fail = [&](int code, const QString& itemName) {
    archive.Close();
    if (errorText) {
      *errorText = UnzipArchive::FormatMessage(code);
      if (!itemName.isEmpty()) *errorText += QStringLiteral(": ") + itemName;
    }
    return 0;
  };

  int code = archive.Open(packFile);
  if (code != ZR_OK) return fail(code, packFile);
  UnzipEntry entry;
  entry.index = -1;
  code = archive.GetItem(entry);
  if (code != ZR_OK) return fail(code, QString());
  const qint64 count = entry.index;
  for (qint64 i = 0; i < count; ++i) {
    if (stop.stop_requested()) return fail(ZR_ABORT, QString());
    if (setPos) setPos(static_cast<int>(i + 1));
    entry.index = i;
    code = archive.GetItem(entry);
    if (code != ZR_OK) return fail(code, QString());
    code = archive.ItemToFile(entry.name, entry, stop);
    if (code != ZR_OK) return fail(code, entry.name);
  }
  archive.Close();
  if (setPos) setPos(kUnpackProgressUpper);
  return 1;
}
