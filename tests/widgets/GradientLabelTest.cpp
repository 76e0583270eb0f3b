#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>

#include "WidgetTestImages.h"
#include "support/TestSupport.h"
#include "widgets/GradientLabel.h"

using namespace WidgetTestImages;

namespace {

constexpr COLORREF kOrange = 0x00A5FF;  // the update page's lamp for a newer package
constexpr COLORREF kGreen = 0x01FF00;   // and for an up-to-date one
const QSize kLabelSize(120, 40);

QImage RenderLabel(const GradientLabel& label, const QSize& size = kLabelSize) {
  return Render(size, [&](QPainter& painter, const QRect& rect) { label.Paint(painter, rect); });
}

// Drops `files` on the label the way a file manager does.
void DropFiles(GradientLabel& label, const QStringList& files) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& file : files) urls.append(QUrl::fromLocalFile(file));
  mime.setUrls(urls);
  // A drop only reaches the widget that took the drag when it entered.
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&label, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&label, &drop);
  EXPECT_TRUE(drop.isAccepted());
}

QString WriteBitmap(const QString& path, const QColor& colour) {
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(colour);
  EXPECT_TRUE(picture.save(path, "BMP"));
  return path;
}

}  // namespace

TEST(GradientLabel, ColoursAreColorRefValues) {
  EXPECT_EQ(ColorRefToQColor(kOrange), QColor(255, 165, 0));
  EXPECT_EQ(ColorRefToQColor(kGreen), QColor(0, 255, 1));
  EXPECT_EQ(ColorRefToQColor(0x800000), QColor(0, 0, 128));
  EXPECT_EQ(QColorToColorRef(QColor(0x12, 0x34, 0x56)), 0x563412u);
  EXPECT_EQ(MakeColorRef(255, 165, 0), kOrange);
}

TEST(GradientLabel, SetColorsFillsTheBackground) {
  GradientLabel label;
  EXPECT_EQ(label.GetText(), QString());
  label.SetColors(kOrange, kOrange, GradientLabel::kGradientNone);
  EXPECT_EQ(label.BackgroundColor(), kOrange);
  EXPECT_EQ(label.GradientStartColor(), kOrange);
  EXPECT_EQ(label.GradientEndColor(), kOrange);
  QImage image = RenderLabel(label);
  EXPECT_EQ(CountPixels(image, image.rect(), QColor(255, 165, 0)), image.width() * image.height());

  // The same label turning green: the whole lamp changes.
  label.SetColors(kGreen, kGreen, GradientLabel::kGradientNone);
  image = RenderLabel(label);
  EXPECT_EQ(CountPixels(image, image.rect(), QColor(0, 255, 1)), image.width() * image.height());
}

TEST(GradientLabel, GradientRunsInTheModesDirection) {
  GradientLabel label;
  label.SetColors(0x0000FF, 0xFF0000, GradientLabel::kGradientHorizontal);  // red to blue
  QImage image = RenderLabel(label);
  EXPECT_GT(image.pixelColor(0, 20).red(), 240);
  EXPECT_GT(image.pixelColor(119, 20).blue(), 240);
  EXPECT_EQ(image.pixelColor(60, 0), image.pixelColor(60, 39));
  EXPECT_NE(image.pixelColor(30, 20), image.pixelColor(90, 20));

  label.SetColors(0x0000FF, 0xFF0000, GradientLabel::kGradientVertical);
  image = RenderLabel(label);
  EXPECT_GT(image.pixelColor(60, 0).red(), 240);
  EXPECT_GT(image.pixelColor(60, 39).blue(), 240);
}

TEST(GradientLabel, WithoutAGradientFunctionTheBackgroundIsSolid) {
  GradientLabel label;
  label.SetGradientFill(nullptr);
  label.SetColors(0x0000FF, 0xFF0000, GradientLabel::kGradientHorizontal);
  const QImage image = RenderLabel(label);
  EXPECT_EQ(CountPixels(image, image.rect(), QColor(255, 0, 0)), image.width() * image.height());
}

TEST(GradientLabel, TransparentLabelLeavesTheBackgroundAlone) {
  QWidget parent;
  auto* label = new GradientLabel(&parent);
  label->setGeometry(10, 10, 120, 40);
  label->SetColors(kOrange, kOrange, GradientLabel::kGradientNone);
  label->SetTransparent(true);
  label->SetText(QStringLiteral("x"));
  EXPECT_EQ(label->GetText(), QStringLiteral("x"));
  const QImage image = RenderLabel(*label);
  EXPECT_EQ(CountPixels(image, image.rect(), QColor(255, 165, 0)), 0);
  EXPECT_GT(CountPixels(image, image.rect(), kUnpainted), image.width() * image.height() / 2);
  EXPECT_LT(CountPixels(image, image.rect(), kUnpainted), image.width() * image.height());
}

TEST(GradientLabel, TextIsBrokenAtWordsAndAligned) {
  GradientLabel label;
  label.SetColors(0xFFFFFF, 0xFFFFFF, GradientLabel::kGradientNone);
  label.SetTextColor(0x000000);
  const QImage blank = RenderLabel(label, QSize(120, 80));

  label.SetText(QStringLiteral("one"));
  const QRect oneLine = DifferenceBounds(RenderLabel(label, QSize(120, 80)), blank);
  label.SetText(QStringLiteral("several words that cannot fit on one line"));
  const QRect wrapped = DifferenceBounds(RenderLabel(label, QSize(120, 80)), blank);
  ASSERT_FALSE(oneLine.isNull());
  ASSERT_FALSE(wrapped.isNull());
  EXPECT_LT(oneLine.left(), 10);
  EXPECT_LT(oneLine.top(), 10);
  EXPECT_GT(wrapped.height(), 2 * oneLine.height());
  EXPECT_LE(wrapped.right(), 119);

  label.setAlignment(Qt::AlignRight | Qt::AlignTop);
  label.SetText(QStringLiteral("one"));
  const QRect right = DifferenceBounds(RenderLabel(label, QSize(120, 80)), blank);
  EXPECT_GT(right.right(), 110);
  EXPECT_GT(right.left(), 60);
}

TEST(GradientLabel, OnlyOneDroppedBmpFileBecomesTheBackground) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString green = WriteBitmap(folder.filePath(QStringLiteral("lamp.BMP")), Qt::green);
  const QString red = WriteBitmap(folder.filePath(QStringLiteral("red.bmp")), Qt::red);
  const QString renamed = WriteBitmap(folder.filePath(QStringLiteral("red.bmp.txt")), Qt::red);
  const QString broken = folder.filePath(QStringLiteral("broken.bmp"));
  ASSERT_TRUE(TestSupport::WriteFile(broken, "BM not really a picture"));
  const QString text = folder.filePath(QStringLiteral("notes.txt"));
  ASSERT_TRUE(TestSupport::WriteFile(text, "text"));

  GradientLabel label;
  label.SetColors(kOrange, kOrange, GradientLabel::kGradientNone);
  const QImage before = RenderLabel(label);

  for (const QStringList& ignored : {QStringList{red, green}, QStringList{text}, QStringList{renamed},
                                     QStringList{broken}, QStringList{}}) {
    DropFiles(label, ignored);
    EXPECT_FALSE(label.HasBitmap()) << ignored.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(RenderLabel(label), before);
  }

  DropFiles(label, {green});
  ASSERT_TRUE(label.HasBitmap());
  // The 4 x 4 picture is stretched over the whole label.
  const QImage after = RenderLabel(label);
  EXPECT_EQ(CountPixels(after, after.rect(), QColor(Qt::green)), after.width() * after.height());

  // A broken file later leaves the picture that is there.
  DropFiles(label, {broken});
  EXPECT_EQ(RenderLabel(label), after);
}

TEST(GradientLabel, DroppedFileRuleLooksAtTheLastExtensionOnly) {
  EXPECT_EQ(GradientLabel::DroppedBitmapFile({QStringLiteral("/a/b.tar.Bmp")}),
            QStringLiteral("/a/b.tar.Bmp"));
  EXPECT_EQ(GradientLabel::DroppedBitmapFile({QStringLiteral("/a.bmp/b")}), QString());
  EXPECT_EQ(GradientLabel::DroppedBitmapFile({QStringLiteral("/a/b.bmpx")}), QString());
}
