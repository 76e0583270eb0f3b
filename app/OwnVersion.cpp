#include "app/OwnVersion.h"
#include <QCoreApplication>
bool GetOwnVersion(const QString&, uint16_t*, uint16_t*, uint16_t*, uint16_t*) { return false; }
QString FindModuleFile(const QString& moduleName) { return QCoreApplication::applicationDirPath() + QLatin1Char('/') + moduleName; }
