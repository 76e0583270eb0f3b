#include "widgets/CWebBrowser2.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "text/ExtraTexts.h"

namespace {
constexpr QRgb kBannerBackground = 0x0b3c6e;
constexpr QRgb kBannerHostColour = 0xb8d4f0;
constexpr int kBannerMarginX = 18;
constexpr int kBannerMarginY = 14;

// Shown when the maker's page cannot be shown (no network, or the site is down): the
// product name and the address, nothing alarming.
QString OfflineBannerHtml(const QUrl& url) {
  return QStringLiteral(
             "<div style=\"font-size:26px;font-weight:bold\">V770</div>"
             "<div style=\"font-size:13px;margin-top:4px\">%1</div>"
             "<div style=\"font-size:12px;margin-top:10px;color:#%2\">%3</div>")
      .arg(ExtraText(ExtraTextId::BANNER_OFFLINE_TAGLINE).toHtmlEscaped(),
           QString::number(kBannerHostColour, 16), url.host().toHtmlEscaped());
}
}  // namespace

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

CWebBrowser2::~CWebBrowser2() = default;

bool CWebBrowser2::Navigate(const QString& url) {
  const QUrl target(url.trimmed(), QUrl::StrictMode);
  if (target.isEmpty() || !target.isValid() || target.scheme().isEmpty()) return false;
  m_url = target;
  m_bOfflineBanner = false;
  if (QNetworkReply* earlier = m_reach) {
    m_reach = nullptr;  // its answer concerns an address no longer shown
    earlier->abort();
  }
  if (!m_bInternetConnected)
    ShowOfflineBanner();
  else if (m_view)
    m_view->setUrl(target);  // the engine runs already: asking the server first saves nothing
  else
    CheckReachable();
  return true;
}

// The engine starts only once the page's server has answered at all.
void CWebBrowser2::CheckReachable() {
  if (!m_network) m_network = new QNetworkAccessManager(this);
  QNetworkRequest request(m_url);
  request.setTransferTimeout(kReachTimeoutMs);
  QNetworkReply* reply = m_network->head(request);
  m_reach = reply;
  connect(reply, &QNetworkReply::finished, this, [this, reply] { OnReachChecked(reply); });
}

void CWebBrowser2::OnReachChecked(QNetworkReply* reply) {
  reply->deleteLater();
  if (reply != m_reach) return;
  // Any answer of the server will do: the page itself may refuse a bare header request.
  const bool reached = reply->error() == QNetworkReply::NoError ||
                       reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
  m_network->deleteLater();  // its connections and lookup threads are not needed any more
  m_network = nullptr;
  if (reached)
    ShowPage();
  else
    ShowOfflineBanner();
}

void CWebBrowser2::ShowPage() {
  if (!m_view) {
    m_view = new QWebEngineView(this);
    layout()->addWidget(m_view);
    connect(m_view, &QWebEngineView::loadFinished, this, &CWebBrowser2::OnLoadFinished);
  }
  if (m_offline) m_offline->hide();
  m_view->show();
  m_view->setUrl(m_url);
}

void CWebBrowser2::OnLoadFinished(bool ok) {
  if (!ok) ShowOfflineBanner();
}

void CWebBrowser2::ShowOfflineBanner() {
  m_bOfflineBanner = true;
  if (m_view) {
    // The page and its renderer go with the view; later addresses start a new one.
    m_view->disconnect(this);
    m_view->hide();
    m_view->deleteLater();
    m_view = nullptr;
  }
  if (!m_offline) {
    m_offline = new QLabel(this);
    m_offline->setTextFormat(Qt::RichText);
    m_offline->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_offline->setContentsMargins(kBannerMarginX, kBannerMarginY, kBannerMarginX, kBannerMarginY);
    m_offline->setAutoFillBackground(true);
    QPalette palette = m_offline->palette();
    palette.setColor(QPalette::Window, QColor(kBannerBackground));
    palette.setColor(QPalette::WindowText, Qt::white);
    m_offline->setPalette(palette);
    layout()->addWidget(m_offline);
  }
  m_offline->setText(OfflineBannerHtml(m_url));
  m_offline->show();
}
