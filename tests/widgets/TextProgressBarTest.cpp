#include <gtest/gtest.h>

#include "WidgetTestImages.h"
#include "widgets/TextProgressBar.h"

using namespace WidgetTestImages;

namespace {

// The update page's set-up: a teal-to-navy ramp (green falls from 128 by one per band,
// 128 bands).
const QSize kBarSize(256, 24);

void SetUpLikeUpdatePage(TextProgressBar& bar) {
  bar.SetRange(0, 100);
  bar.ShowPercentage(true);
  bar.SetStartColour(0x808000);
  bar.SetEndColour(0x800000);
}

QImage RenderBar(const TextProgressBar& bar, const QSize& size = kBarSize) {
  return Render(size, [&](QPainter& painter, const QRect& rect) { bar.PaintBar(painter, rect); });
}

// Pixels of the top row (above the centred text) that the ramp fills.
int FilledPixels(const TextProgressBar& bar, const QImage& image) {
  return image.width() -
         CountPixels(image, QRect(0, 0, image.width(), 1), ColorRefToQColor(bar.BackgroundColour()));
}

}  // namespace

TEST(TextProgressBar, RampFillsThePositionsShareOfTheWidth) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  bar.SetPos(50);
  const QImage image = RenderBar(bar);
  for (int x = 0; x < 128; ++x) EXPECT_EQ(image.pixelColor(x, 0), QColor(0, 128 - x / 2, 128)) << "x " << x;
  EXPECT_EQ(CountPixels(image, image.rect(), kUnpainted), 0);
  // Full, it fills the whole width, also when that is narrower than the band count.
  bar.SetPos(100);
  for (int width : {300, 100}) EXPECT_EQ(FilledPixels(bar, RenderBar(bar, QSize(width, 20))), width) << width;
  // The smaller differences advance by fractions and are truncated; equal colours make no
  // difference to divide into bands: one solid band.
  EXPECT_EQ(ProgressBandColour(0x000000, 0x0A0064, 100, 55), QColor(55, 0, 5));
  bar.SetStartColour(0x123456);
  bar.SetEndColour(0x123456);
  EXPECT_EQ(CountPixels(RenderBar(bar), QRect(0, 0, 256, 1), ColorRefToQColor(0x123456)), 256);
}

// Position / upper bound of the width, the lower bound not subtracted; the bar at its lower
// bound is empty; outside the range it is button face only and prints nothing.
TEST(TextProgressBar, FilledWidthAndTextByRangeAndPosition) {
  const struct {
    int lower, upper, pos, filled;  // of a bar 300 pixels wide
    const char* text;
  } cases[] = {{0, 100, 50, 150, "50% : abc"},   {0, 100, 0, 0, "0% : abc"},  {50, 100, 50, 0, "50% : abc"},
               {50, 100, 75, 225, "75% : abc"},  {0, 3, 2, 200, "67% : abc"}, {0, 0, 0, 0, "0% : abc"},
               {-10, -5, -7, 300, "140% : abc"}, {0, 100, -1, 0, ""},         {0, 100, 101, 0, ""}};
  for (const auto& c : cases) {
    TextProgressBar bar;
    SetUpLikeUpdatePage(bar);
    bar.SetRange(c.lower, c.upper);
    bar.SetPosAndText(c.pos, QStringLiteral("abc"));
    const QImage image = RenderBar(bar, QSize(300, 24));
    EXPECT_EQ(FilledPixels(bar, image), c.filled) << c.lower << ".." << c.upper << " at " << c.pos;
    EXPECT_EQ(bar.text(), QString::fromLatin1(c.text)) << c.lower << ".." << c.upper << " at " << c.pos;
    EXPECT_TRUE(*c.text ||
                CountPixels(image, image.rect(), bar.palette().color(QPalette::Button)) == 300 * 24);
  }
}
