#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEngineView>

#include "support/TestSupport.h"
#include "widgets/CWebBrowser2.h"

using TestSupport::WaitUntil;

namespace {
constexpr int kPageLoadTimeoutMs = 120000;  // the browser engine starts on a loaded machine

QString BannerFile(const QTemporaryDir& folder) {
  const QString page = folder.filePath(QStringLiteral("banner.html"));
  TestSupport::WriteFile(page, "<html><head><title>V770 banner</title></head><body>banner</body></html>");
  return QUrl::fromLocalFile(page).toString();
}
}  // namespace

TEST(CWebBrowser2, BadAddressesAreIgnoredAndStartNoEngine) {
  CWebBrowser2 browser;
  EXPECT_FALSE(browser.Navigate(QString()));
  EXPECT_FALSE(browser.Navigate(QStringLiteral("   ")));
  EXPECT_FALSE(browser.Navigate(QStringLiteral("http://[broken")));
  EXPECT_FALSE(browser.Navigate(QStringLiteral("no scheme at all")));
  EXPECT_EQ(browser.View(), nullptr);
  EXPECT_TRUE(browser.GetLocationURL().isEmpty());
}

TEST(CWebBrowser2, NavigateShowsThePageAtTheAddress) {
  QTemporaryDir folder;
  const QString url = BannerFile(folder);
  CWebBrowser2 browser;
  browser.resize(300, 120);
  browser.show();
  ASSERT_TRUE(browser.Navigate(url));
  EXPECT_EQ(browser.GetLocationURL(), QUrl(url));
  ASSERT_TRUE(WaitUntil([&] { return browser.View() && browser.View()->title() == "V770 banner"; },
                        kPageLoadTimeoutMs));
  EXPECT_EQ(browser.View()->url(), QUrl(url));
  EXPECT_FALSE(browser.IsShowingOfflineBanner());
}

// Whenever the page cannot be shown the offline banner stands in its place, and no browser
// engine is left running for it.
TEST(CWebBrowser2, APageThatCannotBeShownLeavesTheOfflineBannerAndNoEngine) {
  // Answers the first request (the look at the server), then drops every connection.
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  bool answered = false;
  QObject::connect(&server, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      if (answered) {
        socket->abort();
        continue;
      }
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [&answered, socket] {
        if (!answered) socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        answered = true;
        socket->disconnectFromHost();
      });
    }
  });
  QTemporaryDir folder;
  struct Case {
    const char* what;
    bool connected;
    QString url;
    bool engineStarts;
  };
  const Case cases[] = {
      {"no connection", false, BannerFile(folder), false},
      {"server unreachable", true, QStringLiteral("http://127.0.0.1:1/pc_soft_hardware.asp"), false},
      {"page fails to load", true, QStringLiteral("http://127.0.0.1:%1/banner.asp").arg(server.serverPort()),
       true},
  };
  for (const Case& c : cases) {
    CWebBrowser2 browser;
    browser.SetInternetConnected(c.connected);
    browser.resize(300, 120);
    browser.show();
    bool sawEngine = false;
    ASSERT_TRUE(browser.Navigate(c.url));
    const auto settled = [&] {
      sawEngine |= browser.View() != nullptr;
      return browser.IsShowingOfflineBanner();
    };
    ASSERT_TRUE(WaitUntil(settled, kPageLoadTimeoutMs)) << c.what;
    EXPECT_EQ(sawEngine, c.engineStarts) << c.what;
    EXPECT_EQ(browser.View(), nullptr) << c.what;
    EXPECT_EQ(browser.GetLocationURL(), QUrl(c.url)) << c.what << ": the address asked for is kept";
    ASSERT_TRUE(browser.Navigate(c.url + QStringLiteral("?again")));
    EXPECT_EQ(browser.IsShowingOfflineBanner(), !c.connected)
        << c.what << ": a new address gets its own chance";
  }
}
