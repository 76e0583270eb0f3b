#include <gtest/gtest.h>

#include <QPainter>

#include "WidgetTestImages.h"
#include "widgets/TextProgressBar.h"

using namespace WidgetTestImages;

namespace {

// The update page's set-up: a teal-to-navy ramp with green text.
constexpr COLORREF kPageStart = 0x808000;
constexpr COLORREF kPageEnd = 0x800000;
constexpr COLORREF kPageText = 0x008000;
const QSize kBarSize(256, 24);

void SetUpLikeUpdatePage(TextProgressBar& bar) {
  bar.SetRange(0, 100);
  bar.SetPos(0);
  bar.ShowPercentage(true);
  bar.SetStartColour(kPageStart);
  bar.SetEndColour(kPageEnd);
  bar.SetTextColour(kPageText);
}

QImage RenderBar(const TextProgressBar& bar, const QSize& size = kBarSize) {
  return Render(size, [&](QPainter& painter, const QRect& rect) { bar.PaintBar(painter, rect); });
}

// The ramp of the pages' colours: green falls from 128 by one per band, and with 256 pixels
// each of the 128 bands is 2 pixels wide.
QColor PageRampAt(int x, int width) {
  const int band = x * 128 / width;
  return QColor(0, 128 - band, 128);
}

}  // namespace

TEST(TextProgressBar, HalfWayFillsHalfTheWidthWithTheRamp) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  bar.SetPos(50);
  const QImage image = RenderBar(bar);
  const QColor background = ColorRefToQColor(bar.BackgroundColour());
  // The top row lies above the centred text.
  for (int x = 0; x < 128; ++x) EXPECT_EQ(image.pixelColor(x, 0), PageRampAt(x, 256)) << "x " << x;
  for (int x = 128; x < 256; ++x) EXPECT_EQ(image.pixelColor(x, 0), background) << "x " << x;
  EXPECT_EQ(bar.text(), QStringLiteral("50%"));
  EXPECT_EQ(CountPixels(image, image.rect(), kUnpainted), 0);
}

TEST(TextProgressBar, PercentageIsPrintedCentredAndFollowedByTheText) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  bar.SetPos(50);
  const QImage withPercent = RenderBar(bar);
  bar.ShowPercentage(false);
  EXPECT_EQ(bar.text(), QString());
  const QImage plain = RenderBar(bar);
  bar.SetPosAndText(50, QStringLiteral("abc"));
  EXPECT_EQ(bar.text(), QStringLiteral("50% : abc"));
  const QImage withText = RenderBar(bar);

  const QRect percentBox = DifferenceBounds(withPercent, plain);
  const QRect textBox = DifferenceBounds(withText, plain);
  ASSERT_FALSE(percentBox.isNull());
  ASSERT_FALSE(textBox.isNull());
  EXPECT_GT(CountPixels(withPercent, percentBox, ColorRefToQColor(kPageText)), 0);
  // Centred both ways, on one line; the longer text reaches further on both sides.
  EXPECT_NEAR(percentBox.center().x(), kBarSize.width() / 2, 3);
  EXPECT_NEAR(textBox.center().x(), kBarSize.width() / 2, 3);
  EXPECT_NEAR(textBox.center().y(), kBarSize.height() / 2, 3);
  EXPECT_LT(textBox.left(), percentBox.left());
  EXPECT_GT(textBox.right(), percentBox.right());
  EXPECT_LT(textBox.height(), kBarSize.height());
}

TEST(TextProgressBar, PercentageFormatRoundsToWholeNumbers) {
  EXPECT_EQ(ProgressPercentText(1, 3, QString()), QStringLiteral("33%"));
  EXPECT_EQ(ProgressPercentText(2, 3, QString()), QStringLiteral("67%"));
  EXPECT_EQ(ProgressPercentText(1, 4, QStringLiteral("DB")), QStringLiteral("25% : DB"));
  EXPECT_EQ(ProgressPercentText(100, 100, QString()), QStringLiteral("100%"));
}

TEST(TextProgressBar, LowerBoundShowsAnEmptyBarAndNoStaleText) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  bar.SetPosAndText(50, QStringLiteral("abc"));
  RenderBar(bar);
  bar.SetPos(0);
  const QImage afterwards = RenderBar(bar);

  TextProgressBar fresh;
  SetUpLikeUpdatePage(fresh);
  fresh.SetPosAndText(0, QStringLiteral("abc"));
  EXPECT_EQ(afterwards, RenderBar(fresh));
  EXPECT_EQ(CountPixels(afterwards, QRect(0, 0, 256, 1), ColorRefToQColor(bar.BackgroundColour())), 256);
  EXPECT_EQ(bar.text(), QStringLiteral("0% : abc"));

  // A lower bound above 0 is not subtracted from the position, but the bar at it is empty.
  bar.SetRange(50, 100);
  EXPECT_EQ(bar.GetPos(), 50);
  const QImage atRaisedLower = RenderBar(bar);
  EXPECT_EQ(CountPixels(atRaisedLower, QRect(0, 0, 256, 1), ColorRefToQColor(bar.BackgroundColour())), 256);
  bar.SetPos(75);
  EXPECT_EQ(CountPixels(RenderBar(bar), QRect(0, 0, 256, 1), ColorRefToQColor(bar.BackgroundColour())),
            256 - 192);
}

TEST(TextProgressBar, OutsideTheRangeTheBarIsButtonFaceOnly) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  const QColor buttonFace = bar.palette().color(QPalette::Button);
  for (int pos : {-1, 101, 1000}) {
    bar.SetPosAndText(pos, QStringLiteral("abc"));
    const QImage image = RenderBar(bar);
    EXPECT_EQ(CountPixels(image, image.rect(), buttonFace), image.width() * image.height()) << pos;
    EXPECT_EQ(bar.text(), QString()) << pos;
  }
  // Stepping past the upper bound leaves the range as well.
  bar.SetRange(0, 100);
  bar.SetStep(60);
  bar.StepIt();
  EXPECT_EQ(bar.GetPos(), 60);
  bar.StepIt();
  EXPECT_EQ(bar.GetPos(), 120);
  EXPECT_EQ(bar.text(), QString());
}

TEST(TextProgressBar, BandsFollowTheLargestComponentDifference) {
  EXPECT_EQ(ProgressBandCount(kPageStart, kPageEnd), 128);
  EXPECT_EQ(ProgressBandCount(TextProgressBar::kDefaultStartColour, TextProgressBar::kDefaultEndColour), 127);
  EXPECT_EQ(ProgressBandCount(0x0000FF, 0xFF0000), 255);
  EXPECT_EQ(ProgressBandColour(0x0000FF, 0xFF0000, 255, 0), QColor(255, 0, 0));
  EXPECT_EQ(ProgressBandColour(0x0000FF, 0xFF0000, 255, 254), QColor(1, 0, 254));
  // The smaller differences advance by fractions and are truncated.
  EXPECT_EQ(ProgressBandColour(0x000000, 0x0A0064, 100, 55), QColor(55, 0, 5));
}

TEST(TextProgressBar, RampSpansTheWholeWidthWhateverItIs) {
  TextProgressBar bar;
  SetUpLikeUpdatePage(bar);
  bar.SetPos(100);
  const QImage wide = RenderBar(bar, QSize(300, 20));
  EXPECT_EQ(wide.pixelColor(0, 0), QColor(0, 128, 128));
  EXPECT_EQ(wide.pixelColor(150, 0), QColor(0, 128 - 64, 128));  // 300 / 128 pixels a band
  EXPECT_EQ(wide.pixelColor(299, 0), QColor(0, 1, 128));
  // Narrower than the band count: the bar is still filled, not left empty.
  const QImage narrow = RenderBar(bar, QSize(100, 20));
  EXPECT_EQ(CountPixels(narrow, QRect(0, 0, 100, 1), ColorRefToQColor(bar.BackgroundColour())), 0);
  EXPECT_EQ(narrow.pixelColor(0, 0), QColor(0, 128, 128));
  EXPECT_EQ(narrow.pixelColor(50, 0), QColor(0, 128 - 64, 128));
  EXPECT_EQ(narrow.pixelColor(99, 0), QColor(0, 1, 128));

  bar.SetRange(0, 3);
  bar.SetPos(1);
  const QImage third = RenderBar(bar, QSize(300, 20));
  EXPECT_NE(third.pixelColor(99, 0), ColorRefToQColor(bar.BackgroundColour()));
  EXPECT_EQ(third.pixelColor(100, 0), ColorRefToQColor(bar.BackgroundColour()));
}

TEST(TextProgressBar, DegenerateRangesAndColoursPaintWithoutFault) {
  TextProgressBar bar;
  bar.ShowPercentage(true);
  bar.SetRange(0, 0);  // the position would be divided by 0
  EXPECT_EQ(bar.text(), QStringLiteral("0%"));
  QImage image = RenderBar(bar);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 256, 1), ColorRefToQColor(bar.BackgroundColour())), 256);

  // Equal colours make no difference to divide into bands: one solid band.
  bar.SetRange(0, 10);
  bar.SetStartColour(0x123456);
  bar.SetEndColour(0x123456);
  bar.SetPos(10);
  image = RenderBar(bar);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 256, 1), ColorRefToQColor(0x123456)), 256);

  // Negative bounds keep the filled part inside the bar.
  bar.SetRange(-10, -5);
  bar.SetPos(-7);
  image = RenderBar(bar);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 256, 1), ColorRefToQColor(0x123456)), 256);
  EXPECT_EQ(CountPixels(image, image.rect(), kUnpainted), 0);
}

TEST(TextProgressBar, DefaultsAreADarkBlueToBlueRampWithoutPercentage) {
  TextProgressBar bar;
  bar.SetPos(50);
  EXPECT_EQ(bar.text(), QString());
  const QImage image = RenderBar(bar);
  EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 128));
  EXPECT_EQ(image.pixelColor(127, 0), QColor(0, 0, 128 + 63));
  EXPECT_EQ(image.pixelColor(128, 0), ColorRefToQColor(bar.BackgroundColour()));
}
