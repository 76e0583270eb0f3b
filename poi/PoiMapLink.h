#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The maker's map page for one POI, opened in the user's web browser.
namespace PoiMapLink {

// The site address, then "poi.asp?lat=..&long=..&head=.." with the three texts
// percent-encoded, so no text can change the address beyond its own value.
QUrl MapUrl(const QString& latitude, const QString& longitude, const QString& heading);

// Opens the address in the default browser; the result is not waited for.
void Open(const QUrl& url);

// Replaces the browser (tests capture the address); an empty function restores it.
using Opener = std::function<void(const QUrl&)>;
void SetOpener(Opener opener);

}  // namespace PoiMapLink
