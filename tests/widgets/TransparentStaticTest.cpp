#include <gtest/gtest.h>

#include <QPainter>

#include "WidgetTestImages.h"
#include "widgets/CTransparentStatic.h"

using namespace WidgetTestImages;

namespace {

QImage RenderStatic(const CTransparentStatic& label, const QSize& size) {
  return Render(size, [&](QPainter& painter, const QRect& rect) { label.Paint(painter, rect); });
}

// Bounds of what the static painted over the untouched background.
QRect PaintedBounds(const QImage& image) {
  QImage untouched(image.size(), image.format());
  untouched.fill(kUnpainted);
  return DifferenceBounds(image, untouched);
}

}  // namespace

TEST(CTransparentStatic, StyleBitsChooseTheLayout) {
  using namespace StaticStyle;
  const StaticTextLayout plain = StaticTextLayoutForStyle(kLeft);
  EXPECT_EQ(plain.alignment, Qt::AlignLeft | Qt::AlignTop);
  EXPECT_TRUE(plain.wordBreak);
  EXPECT_TRUE(plain.showMnemonic);
  // The right bit lies outside the mask that stops breaking; centre-image does not.
  EXPECT_TRUE(StaticTextLayoutForStyle(kRight).wordBreak);
  const StaticTextLayout centreImage = StaticTextLayoutForStyle(kCenter | kCenterImage);
  EXPECT_EQ(centreImage.alignment, Qt::AlignHCenter | Qt::AlignVCenter);
  EXPECT_FALSE(centreImage.wordBreak);
  EXPECT_FALSE(StaticTextLayoutForStyle(kNoPrefix).showMnemonic);
  EXPECT_EQ(StaticTextLayoutForStyle(kWordEllipsis).elide, Qt::ElideRight);
  EXPECT_EQ(StaticTextLayoutForStyle(kPathEllipsis).elide, Qt::ElideMiddle);
  EXPECT_FALSE(StaticTextLayoutForStyle(0x000B).wordBreak);  // simple
}

TEST(CTransparentStatic, PaintsTextOnlyAndKeepsWhatIsBehind) {
  CTransparentStatic label(QStringLiteral("1.0.1.18"));
  const QImage image = RenderStatic(label, QSize(100, 20));
  const QRect painted = PaintedBounds(image);
  ASSERT_FALSE(painted.isNull());
  EXPECT_LT(painted.left(), 5);
  // Most of the rectangle still shows the background under it.
  EXPECT_GT(CountPixels(image, image.rect(), kUnpainted), image.width() * image.height() / 2);

  label.SetStaticStyle(StaticStyle::kRight);
  const QRect right = PaintedBounds(RenderStatic(label, QSize(100, 20)));
  EXPECT_GT(right.right(), 94);
  EXPECT_GT(right.left(), painted.left());
}

TEST(CTransparentStatic, LongTextBreaksOrIsShortenedByStyle) {
  const QString longText = QStringLiteral("a text of several words in a narrow control");
  CTransparentStatic label(longText);
  const QRect broken = PaintedBounds(RenderStatic(label, QSize(80, 100)));
  label.SetStaticStyle(StaticStyle::kEndEllipsis);
  const QRect shortened = PaintedBounds(RenderStatic(label, QSize(80, 100)));
  ASSERT_FALSE(broken.isNull());
  ASSERT_FALSE(shortened.isNull());
  EXPECT_GT(broken.height(), 2 * shortened.height());
  EXPECT_LE(shortened.right(), 79);
}
