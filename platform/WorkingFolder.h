#pragma once

#include <QString>

// The data files are taken from the working directory, not from the program's folder.
namespace WorkingFolder {

// The whole working directory, however long it is.
QString Current();

// Current() joined with a file name, with exactly one separator between them.
QString FilePath(const QString& folder, const QString& fileName);

}  // namespace WorkingFolder
