#pragma once

#include <QString>

// Whether `path` lies in `folder` (or is it) once every symbolic link on the way is
// resolved, the last part of the path included, even a link that points nowhere yet. Files
// the program writes, unpacks or deletes must never land outside the working folder
// through a link planted there.
bool StaysInFolder(const QString& folder, const QString& path);
