#include "update/DownloadFailureText.h"

#include "text/ExtraTexts.h"

QString DownloadFailureText(DownloadResult result, const QString& packageName, const QString& errorText,
                            const QString& unreachableText) {
  if (result == DownloadResult::NotOnServer)
    return ExtraText(ExtraTextId::UPDATE_PACKAGE_NOT_ON_SERVER).arg(packageName);
  if (result == DownloadResult::Refused) return ExtraText(ExtraTextId::UPDATE_SERVER_REFUSED).arg(packageName);
  // The working folder, not the server, is at fault.
  if (result == DownloadResult::WriteFailed && !errorText.isEmpty()) return errorText;
  return unreachableText;
}
