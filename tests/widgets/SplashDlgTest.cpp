#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"

// A caption-less picture with the own version in place of the template's, that keys do not
// close (only the sheet's timer does).
TEST(CSplashDlg, ShowsTheOwnVersionAndStaysUpWhateverTheKeys) {
  CSplashDlg splash;
  splash.SetVersion(1, 0, 1, 18);
  const QImage before = splash.grab().toImage();
  splash.show();
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
