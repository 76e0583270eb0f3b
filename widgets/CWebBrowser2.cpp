#include "widgets/CWebBrowser2.h"

#include <QVBoxLayout>
#include <QWebEngineView>

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

CWebBrowser2::~CWebBrowser2() = default;

bool CWebBrowser2::Navigate(const QString& url) {
  const QUrl target(url.trimmed(), QUrl::StrictMode);
  if (target.isEmpty() || !target.isValid() || target.scheme().isEmpty()) return false;
  if (!m_view) {
    m_view = new QWebEngineView(this);
    layout()->addWidget(m_view);
  }
  m_url = target;
  m_view->setUrl(target);
  return true;
}
