#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QWebEngineView;

// Hosts the web view that shows the banner page on the main page. The browser engine and its
// helper processes cost hundreds of megabytes, so a view exists only while a page can be
// shown: without an Internet connection, or when the page cannot be reached, a plain offline
// banner stands in its place, and a view whose page failed to load is released.
class CWebBrowser2 : public QWidget {
  Q_OBJECT
 public:
  // How long the first look at the page's server may take before the page counts as unreachable.
  static constexpr int kReachTimeoutMs = 15000;

  explicit CWebBrowser2(QWidget* parent = nullptr);
  ~CWebBrowser2() override;

  // Without a connection no engine is started; every page shows the offline banner.
  void SetInternetConnected(bool connected) { m_bInternetConnected = connected; }
  // Shows the page at `url`. An address that is empty or malformed is ignored (false).
  bool Navigate(const QString& url);
  // The address last navigated to (empty before the first navigation).
  QUrl GetLocationURL() const { return m_url; }
  // The view, or null while no page is shown in one.
  QWebEngineView* View() const { return m_view; }
  // The page could not be loaded and a plain offline banner stands in its place.
  bool IsShowingOfflineBanner() const { return m_bOfflineBanner; }

 private:
  void CheckReachable();
  void OnReachChecked(QNetworkReply* reply);
  void ShowPage();
  void OnLoadFinished(bool ok);
  void ShowOfflineBanner();

  QNetworkAccessManager* m_network = nullptr;  // only while a server is being reached
  QPointer<QNetworkReply> m_reach;
  QWebEngineView* m_view = nullptr;
  QLabel* m_offline = nullptr;
  QUrl m_url;
  bool m_bInternetConnected = true;
  bool m_bOfflineBanner = false;
};
