#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWebEngineView>

#include "support/TestSupport.h"
#include "widgets/CWebBrowser2.h"

namespace {
constexpr int kPageLoadTimeoutMs = 120000;  // the browser engine starts on a loaded machine
}

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
  ASSERT_TRUE(folder.isValid());
  const QString page = folder.filePath(QStringLiteral("banner.html"));
  ASSERT_TRUE(TestSupport::WriteFile(
      page, "<html><head><title>V770 banner</title></head><body>banner</body></html>"));
  const QUrl url = QUrl::fromLocalFile(page);

  CWebBrowser2 browser;
  browser.resize(300, 120);
  browser.show();
  bool finished = false;
  bool loaded = false;
  ASSERT_TRUE(browser.Navigate(url.toString()));
  ASSERT_NE(browser.View(), nullptr);
  QObject::connect(browser.View(), &QWebEngineView::loadFinished, [&](bool ok) {
    finished = true;
    loaded = ok;
  });
  EXPECT_EQ(browser.GetLocationURL(), url);
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return finished; }, kPageLoadTimeoutMs));
  EXPECT_TRUE(loaded);
  EXPECT_EQ(browser.View()->url(), url);
  EXPECT_EQ(browser.View()->title(), QStringLiteral("V770 banner"));
}

TEST(CWebBrowser2, AnUnreachablePageGivesWayToTheOfflineBanner) {
  CWebBrowser2 browser;
  browser.resize(300, 120);
  browser.show();
  // Nothing listens on port 1 of the loopback interface: the load fails at once.
  ASSERT_TRUE(browser.Navigate(QStringLiteral("http://127.0.0.1:1/pc_soft_hardware.asp")));
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return browser.IsShowingOfflineBanner(); }, kPageLoadTimeoutMs));
  EXPECT_EQ(browser.GetLocationURL().port(), 1) << "the address asked for is kept";
  ASSERT_TRUE(browser.Navigate(QStringLiteral("http://127.0.0.1:1/other.asp")));
  EXPECT_FALSE(browser.IsShowingOfflineBanner()) << "a new address gets its own chance";
}
