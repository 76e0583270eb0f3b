#pragma once

#include <QString>

#include "update/DownloadToFile.h"

// What the user is told when a package could not be downloaded: the package the server does
// not have or refuses to give, the working folder that could not be written (`errorText`
// says why), else `unreachableText`, the server that could not be reached.
QString DownloadFailureText(DownloadResult result, const QString& packageName, const QString& errorText,
                            const QString& unreachableText);
