#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include "WidgetTestImages.h"
#include "app/CSplashDlg.h"
#include "widgets/CTransparentStatic.h"

using namespace WidgetTestImages;

// A caption-less picture with the own version in place of the template's.
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
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_F1, Qt::Key_F2, Qt::Key_F24,
                    Qt::Key_Space}) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(&splash, &press);
    }
    stillUpAfterKeys = splash.isVisible();
    splash.reject();
  });
  EXPECT_EQ(splash.exec(), QDialog::Rejected);
  EXPECT_TRUE(stillUpAfterKeys);
}

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
    EXPECT_TRUE(layout.alignment == alignment && layout.wordBreak == wordBreak &&
                layout.showMnemonic == mnemonic && layout.elide == elide)
        << style;
  }
}

// The splash's version: its text alone, where its style puts it.
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
