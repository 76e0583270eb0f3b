#include "platform/FileFailure.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#endif

FileFailure LastFileFailure() {
#ifdef Q_OS_WIN
  switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileFailure::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return FileFailure::NoPermission;
    case ERROR_PATH_NOT_FOUND: return FileFailure::NoFolder;
    default: return FileFailure::Other;
  }
#else
  switch (errno) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return FileFailure::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return FileFailure::NoPermission;
    case ENOENT:
    case ENOTDIR: return FileFailure::NoFolder;
    default: return FileFailure::Other;
  }
#endif
}
