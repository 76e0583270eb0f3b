#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include "WidgetTestImages.h"
#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"

using namespace WidgetTestImages;

// A caption-less picture with the own version in place of the template's, that keys do not
// close (only the sheet's timer does).
TEST(CSplashDlg, ShowsTheOwnVersionAndStaysUpWhateverTheKeys) {
  CSplashDlg splash;
  splash.SetVersion(1, 0, 1, 18);
  const QImage before = splash.grab().toImage();
  splash.show();
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(splash.VersionText(), QStringLiteral("1.0.1.18"));
  // The new text is painted where the version control sits.
  const QRect versionArea = splash.findChild<CTransparentStatic*>()->geometry();
  EXPECT_NE(before.copy(versionArea), splash.grab().toImage().copy(versionArea));
  for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F1, Qt::Key_F2, Qt::Key_F24}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&splash, &press);
  }
  EXPECT_TRUE(splash.isVisible());
  // Shown again with another version, it shows that one.
  splash.hide();
  splash.SetVersion(2, 10, 0, 65535);
  splash.show();
  EXPECT_EQ(splash.VersionText(), QStringLiteral("2.10.0.65535"));
}

// The splash's version: its text alone, where its style puts it. (The other styles' layouts
// the program never uses are left untested.)
TEST(CTransparentStatic, PaintsTextOnlyWhereItsStyleSays) {
  CTransparentStatic label(QStringLiteral("1.0.1.18"));
  const auto render = [&label] {
    return Render(QSize(100, 20), [&](QPainter& painter, const QRect& rect) { label.Paint(painter, rect); });
  };
  const QImage left = render();
  const int background = CountPixels(left, left.rect(), kUnpainted);
  EXPECT_TRUE(background > 100 * 20 / 2 && background < 100 * 20);  // the background shows around the text
  label.SetStaticStyle(StaticStyle::kRight);
  EXPECT_NE(render(), left);
}
