#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEngineView>

#include "support/TestSupport.h"
#include "widgets/CWebBrowser2.h"

constexpr int kPageLoadTimeoutMs = 120000;  // the browser engine starts on a loaded machine
constexpr const char* kTitle = "V770 banner";

// A page that can be shown is shown in a view; otherwise the offline banner stands in its
// place and no browser engine is left running for it. A bad address starts nothing.
TEST(CWebBrowser2, ShowsThePageOrTheOfflineBannerWithoutAnEngine) {
  CWebBrowser2 idle;
  for (const char* address : {"", "   ", "http://[broken", "no scheme at all"})
    EXPECT_FALSE(idle.Navigate(QString::fromLatin1(address))) << address;
  EXPECT_TRUE(idle.View() == nullptr && idle.GetLocationURL().isEmpty());
  QTemporaryDir folder;
  const QString page = folder.filePath(QStringLiteral("banner.html"));
  ASSERT_TRUE(
      TestSupport::WriteFile(page, QByteArray("<html><head><title>") + kTitle + "</title></head></html>"));
  QTcpServer server;  // answers a header request only: a page request finds the connection closed
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  QObject::connect(&server, &QTcpServer::newConnection, [&server] {
    QTcpSocket* socket = server.nextPendingConnection();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
      if (socket->readAll().startsWith("HEAD")) socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
      socket->disconnectFromHost();
    });
  });
  // What happens, whether there is a connection, the address, whether the engine starts, and
  // whether the page is shown.
  const std::tuple<const char*, bool, QString, bool, bool> cases[] = {
      {"page shown", true, QUrl::fromLocalFile(page).toString(), true, true},
      {"no connection", false, QUrl::fromLocalFile(page).toString(), false, false},
      {"server unreachable", true, QStringLiteral("http://127.0.0.1:1/pc_soft_hardware.asp"), false, false},
      {"page fails to load", true, QStringLiteral("http://127.0.0.1:%1/a.asp").arg(server.serverPort()), true,
       false},
  };
  for (const auto& [what, connected, url, engineStarts, shown] : cases) {
    SCOPED_TRACE(what);
    CWebBrowser2 browser;
    browser.SetInternetConnected(connected);
    browser.resize(300, 120);
    browser.show();
    bool sawEngine = false;
    const auto settled = [&] {
      sawEngine |= browser.View() != nullptr;
      return browser.IsShowingOfflineBanner() || (browser.View() && browser.View()->title() == kTitle);
    };
    ASSERT_TRUE(browser.Navigate(url));
    ASSERT_TRUE(TestSupport::WaitUntil(settled, kPageLoadTimeoutMs));
    EXPECT_EQ(sawEngine, engineStarts);
    EXPECT_EQ(browser.View() != nullptr, shown);
    EXPECT_EQ(browser.IsShowingOfflineBanner(), !shown);
    EXPECT_EQ(browser.GetLocationURL(), QUrl(url)) << "the address asked for is kept";
    ASSERT_TRUE(browser.Navigate(url + QStringLiteral("?again")));
    EXPECT_EQ(browser.IsShowingOfflineBanner(), !connected) << "a new address gets its own chance";
  }
}
