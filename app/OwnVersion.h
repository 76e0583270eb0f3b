#pragma once

#include <QString>
#include <cstdint>

// The program's four-part file version is stamped into the program file at build time.
// GetOwnVersion reads it back from the named file: TRUE and the four numbers, or FALSE with
// the numbers untouched when the file cannot be read or carries no stamp.
bool GetOwnVersion(const QString& fileName, uint16_t* pMajor, uint16_t* pMinor, uint16_t* pBuild,
                   uint16_t* pRevision);

// The program file of a module name, found the usual way: beside the running program first.
QString FindModuleFile(const QString& moduleName);
