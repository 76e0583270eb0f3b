#include "update/UpdateServer.h"

#include <QtGlobal>

namespace UpdateServer {

QString BaseUrl() {
  QString url = qEnvironmentVariable(kOverrideVariable).trimmed();
  if (url.isEmpty()) url = QString::fromLatin1(kBuiltInBaseUrl);
  while (url.endsWith(QLatin1Char('/'))) url.chop(1);
  return url;
}

}  // namespace UpdateServer
