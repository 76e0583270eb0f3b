#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

// Hosts the web view that shows the banner page on the main page. The browser engine starts
// with the first navigation, so a page that never navigates pays nothing for it.
class CWebBrowser2 : public QWidget {
  Q_OBJECT
 public:
  explicit CWebBrowser2(QWidget* parent = nullptr);
  ~CWebBrowser2() override;

  // Shows the page at `url`. An address that is empty or malformed is ignored (false).
  bool Navigate(const QString& url);
  // The address last navigated to (empty before the first navigation).
  QUrl GetLocationURL() const { return m_url; }
  // The view, or null before the first navigation.
  QWebEngineView* View() const { return m_view; }
  // The page could not be loaded and a plain offline banner stands in its place.
  bool IsShowingOfflineBanner() const { return m_bOfflineBanner; }

 private:
  void OnLoadFinished(bool ok);

  QWebEngineView* m_view = nullptr;
  QUrl m_url;
  bool m_bOfflineBanner = false;
};
