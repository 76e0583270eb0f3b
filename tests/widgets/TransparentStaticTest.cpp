#include <gtest/gtest.h>

#include <QPainter>

#include "WidgetTestImages.h"
#include "widgets/CTransparentStatic.h"

using namespace WidgetTestImages;

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
