#include "app/VersionFile.h"
bool ReadVersionFile(const QString&, VersionInfo&) { return false; }
