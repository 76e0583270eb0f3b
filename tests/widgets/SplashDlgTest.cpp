#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"
#include "widgets/GradientLabel.h"

// A caption-less picture with the own version in place of the template's and one white
// status line shown.
TEST(CSplashDlg, ShowsTheOwnVersionOnItsPicture) {
  CSplashDlg splash;
  EXPECT_EQ(splash.VersionText(), QStringLiteral("1.0.0.0"));
  splash.SetVersion(1, 0, 1, 18);
  const QImage before = splash.grab().toImage();
  splash.show();
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(splash.VersionText(), QStringLiteral("1.0.1.18"));
  // The new text is painted where the version control sits.
  const QImage image = splash.grab().toImage();
  const QRect versionArea = splash.findChild<CTransparentStatic*>()->geometry();
  EXPECT_NE(before.copy(versionArea), image.copy(versionArea));
  QList<GradientLabel*> shown;
  for (GradientLabel* label : splash.findChildren<GradientLabel*>())
    if (label->isVisible()) shown << label;
  EXPECT_EQ(splash.findChildren<GradientLabel*>().size(), 2);
  ASSERT_EQ(shown.size(), 1);
  const QRect line = shown.first()->geometry();
  EXPECT_EQ(image.pixelColor(line.center()), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(line.topLeft() + QPoint(1, 1)), QColor(Qt::white));
  // Shown again with another version, it shows that one.
  splash.hide();
  splash.SetVersion(2, 10, 0, 65535);
  splash.show();
  EXPECT_EQ(splash.VersionText(), QStringLiteral("2.10.0.65535"));
}

TEST(CSplashDlg, KeysDoNotCloseItOnlyTheSheetsTimerDoes) {
  CSplashDlg splash;
  bool stillUpAfterKeys = false;
  // As the sheet does: the dialog runs modally and a timer ends it with reject().
  QTimer::singleShot(0, &splash, [&] {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F1, Qt::Key_F2, Qt::Key_F24, Qt::Key_Space}) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(&splash, &press);
    }
    stillUpAfterKeys = splash.isVisible();
    splash.reject();
  });
  EXPECT_EQ(splash.exec(), QDialog::Rejected);
  EXPECT_TRUE(stillUpAfterKeys);
  for (int key : {Qt::Key_Escape, Qt::Key_F13}) EXPECT_TRUE(IsSplashSwallowedKey(key)) << key;
  for (int key : {Qt::Key_F1, Qt::Key_A}) EXPECT_FALSE(IsSplashSwallowedKey(key)) << key;
}
