#include "widgets/CWebBrowser2.h"

#include <QVBoxLayout>
#include <QWebEngineView>

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

CWebBrowser2::~CWebBrowser2() = default;

namespace {
// Shown instead of the browser's error page when the maker's page cannot be reached
// (no network, or the site is down): the product name and the address, nothing alarming.
QString OfflineBannerHtml(const QUrl& url) {
  const QString host = url.host().toHtmlEscaped();
  return QStringLiteral(
             "<html><body style=\"margin:0;font-family:sans-serif;background:#0b3c6e;color:white;\">"
             "<div style=\"padding:14px 18px\"><div style=\"font-size:26px;font-weight:bold\">V770</div>"
             "<div style=\"font-size:13px;margin-top:4px\">GPS speed-camera warner</div>"
             "<div style=\"font-size:12px;margin-top:10px;color:#b8d4f0\">%1</div></div></body></html>")
      .arg(host);
}
}  // namespace

void CWebBrowser2::OnLoadFinished(bool ok) {
  if (ok || m_bOfflineBanner) return;
  m_bOfflineBanner = true;
  m_view->setHtml(OfflineBannerHtml(m_url));
}

bool CWebBrowser2::Navigate(const QString& url) {
  const QUrl target(url.trimmed(), QUrl::StrictMode);
  if (target.isEmpty() || !target.isValid() || target.scheme().isEmpty()) return false;
  if (!m_view) {
    m_view = new QWebEngineView(this);
    layout()->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, &CWebBrowser2::OnLoadFinished);
  }
  m_url = target;
  m_bOfflineBanner = false;
  m_view->setUrl(target);
  return true;
}
