#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"
#include "widgets/GradientLabel.h"

namespace {

void PressKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &release);
}

}  // namespace

TEST(CSplashDlg, ShowsTheOwnVersionInPlaceOfTheTemplates) {
  CSplashDlg splash;
  EXPECT_EQ(splash.VersionText(), QStringLiteral("1.0.0.0"));
  splash.SetVersion(1, 0, 1, 18);
  const QImage before = splash.grab().toImage();
  splash.show();
  EXPECT_EQ(splash.VersionText(), QStringLiteral("1.0.1.18"));
  // The new text is painted where the version control sits.
  const QRect versionArea = CSplashDlg::FromDialogUnits(46, 104, 27, 9);
  const QImage after = splash.grab().toImage();
  EXPECT_NE(before.copy(versionArea), after.copy(versionArea));
  splash.hide();

  // Shown again with another version, it shows that one.
  splash.SetVersion(2, 10, 0, 65535);
  splash.show();
  EXPECT_EQ(splash.VersionText(), QStringLiteral("2.10.0.65535"));
  splash.hide();
}

TEST(CSplashDlg, IsACaptionlessPictureWindowWithTwoWhiteStatusLines) {
  CSplashDlg splash;
  splash.show();
  EXPECT_EQ(splash.size(), QSize(CSplashDlg::kWidth, CSplashDlg::kHeight));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(CSplashDlg::Picture().size(), QSize(CSplashDlg::kWidth, CSplashDlg::kHeight));

  const QRect line1005 = CSplashDlg::FromDialogUnits(21, 117, 164, 9);
  const QRect line1006 = CSplashDlg::FromDialogUnits(20, 128, 66, 9);
  GradientLabel* shown = nullptr;
  GradientLabel* hidden = nullptr;
  for (GradientLabel* label : splash.findChildren<GradientLabel*>()) {
    EXPECT_EQ(label->BackgroundColor(), 0xFFFFFFu);
    EXPECT_EQ(label->GradientModeValue(), GradientLabel::kGradientNone);
    (label->isVisible() ? shown : hidden) = label;
  }
  ASSERT_NE(shown, nullptr);
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(shown->geometry(), line1006);
  EXPECT_EQ(hidden->geometry(), line1005);
  ASSERT_NE(splash.findChild<CTransparentStatic*>(), nullptr);

  const QImage image = splash.grab().toImage();
  EXPECT_EQ(image.pixelColor(line1006.center()), QColor(Qt::white));
  EXPECT_NE(image.pixelColor(line1005.right() - 2, line1005.center().y()), QColor(Qt::white));
  splash.hide();
}

TEST(CSplashDlg, KeysDoNotCloseItOnlyTheSheetsTimerDoes) {
  CSplashDlg splash;
  splash.SetVersion(1, 0, 1, 18);
  bool stillUpAfterKeys = false;
  // As the sheet does: the dialog runs modally and a timer ends it with reject().
  QTimer::singleShot(0, &splash, [&] {
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape), int(Qt::Key_F1),
                    int(Qt::Key_F2), int(Qt::Key_F24), int(Qt::Key_Space)})
      PressKey(&splash, key);
    stillUpAfterKeys = splash.isVisible();
    splash.reject();
  });
  EXPECT_EQ(splash.exec(), QDialog::Rejected);
  EXPECT_TRUE(stillUpAfterKeys);
  EXPECT_FALSE(splash.isVisible());

  EXPECT_TRUE(IsSplashSwallowedKey(Qt::Key_Escape));
  EXPECT_TRUE(IsSplashSwallowedKey(Qt::Key_F13));
  EXPECT_FALSE(IsSplashSwallowedKey(Qt::Key_F1));
  EXPECT_FALSE(IsSplashSwallowedKey(Qt::Key_A));
}
