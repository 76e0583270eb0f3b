// The manual pack: a ZIP archive unpacked into a folder. Whatever its items are called,
// nothing may land outside that folder.
#include <QDirIterator>

#include "fuzz/FuzzInput.h"
#include "update/UnzipManualPack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The output folder lies a few levels down, so an item that climbs out of it still lands
  // in the temporary folder, where the walk below sees it.
  const QString root = FuzzInput::Folder();
  const QString output = root + QStringLiteral("/a/b/c/out");
  QDir(root + QStringLiteral("/a")).removeRecursively();
  FUZZ_CHECK(QDir().mkpath(output));
  const QString pack = FuzzInput::File(data, size, QStringLiteral("pack.PCK"));

  QString error;
  const int unpacked = UnpackManualPack(pack, output, nullptr, &error);
  FUZZ_CHECK(unpacked == 1 || !error.isEmpty());

  QDirIterator walk(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
  while (walk.hasNext()) {
    const QString path = walk.next();
    // The pack, what lies in the output folder, and the folders on the way to it.
    const bool allowed = path == pack || path.startsWith(output + QLatin1Char('/')) ||
                         (output + QLatin1Char('/')).startsWith(path + QLatin1Char('/'));
    if (!allowed) std::fprintf(stderr, "written outside the folder: %s\n", qPrintable(path));
    FUZZ_CHECK(allowed);
  }
  return 0;
}
