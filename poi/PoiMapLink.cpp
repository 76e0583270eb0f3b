#include "poi/PoiMapLink.h"

#include <QDesktopServices>
#include <QMutex>

#include "poi/PoiConstants.h"

namespace PoiMapLink {
namespace {

QMutex g_openerMutex;
Opener g_opener;

}  // namespace

QUrl MapUrl(const QString& latitude, const QString& longitude, const QString& heading) {
  const QByteArray address = QByteArray(PoiConstants::kMapSiteAddress) + PoiConstants::kMapPage +
                             "?lat=" + QUrl::toPercentEncoding(latitude) +
                             "&long=" + QUrl::toPercentEncoding(longitude) +
                             "&head=" + QUrl::toPercentEncoding(heading);
  return QUrl::fromEncoded(address, QUrl::StrictMode);
}

void Open(const QUrl& url) {
  Opener opener;
  {
    QMutexLocker lock(&g_openerMutex);
    opener = g_opener;
  }
  if (opener)
    opener(url);
  else
    QDesktopServices::openUrl(url);
}

void SetOpener(Opener opener) {
  QMutexLocker lock(&g_openerMutex);
  g_opener = std::move(opener);
}

}  // namespace PoiMapLink
