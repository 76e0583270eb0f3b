#include "update/FolderGuard.h"

#include <QDir>
#include <QFileInfo>

namespace {
// As many links in a row as the system itself follows before it gives up.
constexpr int kMaxLinkHops = 40;
}  // namespace

bool StaysInFolder(const QString& folder, const QString& path) {
  const QString realFolder = QFileInfo(folder).canonicalFilePath();
  if (realFolder.isEmpty()) return false;
  QString probe = QDir(folder).absoluteFilePath(path);
  // A link is judged by where it points; one that points nowhere yet would still be
  // followed by a write.
  for (int hops = 0; QFileInfo(probe).isSymLink() && hops < kMaxLinkHops; ++hops)
    probe = QFileInfo(probe).symLinkTarget();
  if (QFileInfo(probe).isSymLink()) return false;
  // What does not exist yet is judged by the deepest folder of it that does.
  while (!QFileInfo::exists(probe) && probe != QFileInfo(probe).path()) probe = QFileInfo(probe).path();
  const QString realPath = QFileInfo(probe).canonicalFilePath();
  return !realPath.isEmpty() &&
         (realPath == realFolder || realPath.startsWith(realFolder + QLatin1Char('/')));
}
