#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "WidgetTestImages.h"
#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"
#include "widgets/GradientLabel.h"

using namespace WidgetTestImages;

// A caption-less picture with the own version in place of the template's and one white
// status line shown.
TEST(CSplashDlg, ShowsTheOwnVersionOnItsPicture) {
  CSplashDlg splash;
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

namespace {

// Bounds of what the static painted over the untouched background.
QRect PaintedBounds(const CTransparentStatic& label, const QSize& size) {
  const QImage image = Render(size, [&](QPainter& painter, const QRect& rect) { label.Paint(painter, rect); });
  QImage untouched(image.size(), image.format());
  untouched.fill(kUnpainted);
  return DifferenceBounds(image, untouched);
}

}  // namespace

TEST(CTransparentStatic, StyleBitsChooseTheLayout) {
  using namespace StaticStyle;
  const Qt::Alignment topLeft = Qt::AlignLeft | Qt::AlignTop;
  // style, alignment, word break, "&" marks a mnemonic, elision
  const std::tuple<uint32_t, Qt::Alignment, bool, bool, Qt::TextElideMode> cases[] = {
      {kLeft, topLeft, true, true, Qt::ElideNone},
      {kRight, Qt::AlignRight | Qt::AlignTop, true, true, Qt::ElideNone},  // outside the no-break mask
      {kCenter | kCenterImage, Qt::AlignCenter, false, true, Qt::ElideNone},
      {kNoPrefix, topLeft, true, false, Qt::ElideNone},
      {kWordEllipsis, topLeft, false, true, Qt::ElideRight},
      {kPathEllipsis, topLeft, false, true, Qt::ElideMiddle},
      {0x000B, Qt::AlignRight | Qt::AlignTop, false, true, Qt::ElideNone}};  // simple
  for (const auto& [style, alignment, wordBreak, mnemonic, elide] : cases) {
    const StaticTextLayout layout = StaticTextLayoutForStyle(style);
    EXPECT_TRUE(layout.alignment == alignment && layout.wordBreak == wordBreak && layout.showMnemonic == mnemonic &&
                layout.elide == elide)
        << style;
  }
}

TEST(CTransparentStatic, PaintsTextOnlyWhereItsStyleSays) {
  CTransparentStatic label(QStringLiteral("1.0.1.18"));
  const QRect left = PaintedBounds(label, QSize(100, 20));
  ASSERT_FALSE(left.isNull());
  EXPECT_LT(left.left(), 5);
  EXPECT_LT(left.width() * left.height(), 100 * 20 / 2);  // the background shows around the text
  label.SetStaticStyle(StaticStyle::kRight);
  const QRect right = PaintedBounds(label, QSize(100, 20));
  EXPECT_GT(right.right(), 94);
  EXPECT_GT(right.left(), left.left());

  label.setText(QStringLiteral("a text of several words in a narrow control"));
  label.SetStaticStyle(StaticStyle::kLeft);
  const QRect broken = PaintedBounds(label, QSize(80, 100));
  label.SetStaticStyle(StaticStyle::kEndEllipsis);
  const QRect shortened = PaintedBounds(label, QSize(80, 100));
  ASSERT_FALSE(broken.isNull() || shortened.isNull());
  EXPECT_GT(broken.height(), 2 * shortened.height());
}
