#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "WidgetTestImages.h"
#include "support/TestSupport.h"
#include "widgets/GradientLabel.h"

using namespace WidgetTestImages;

namespace {

QImage RenderLabel(const GradientLabel& label, const QSize& size = QSize(120, 40)) {
  return Render(size, [&](QPainter& painter, const QRect& rect) { label.Paint(painter, rect); });
}

bool AllPixels(const QImage& image, const QColor& colour) {
  return CountPixels(image, image.rect(), colour) == image.width() * image.height();
}

// Drops `files` on the label the way a file manager does: a drop only reaches the widget
// that took the drag when it entered.
void DropFiles(GradientLabel& label, const QStringList& files) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& file : files) urls.append(QUrl::fromLocalFile(file));
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&label, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&label, &drop);
}

}  // namespace

TEST(GradientLabel, BackgroundFollowsColoursModeAndGradientFunction) {
  EXPECT_EQ(QColorToColorRef(QColor(0x12, 0x34, 0x56)), 0x563412u);
  GradientLabel label;
  // The update page's lamp for a newer package: orange.
  label.SetColors(0x00A5FF, 0x00A5FF, GradientLabel::kGradientNone);
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(255, 165, 0)));
  label.SetColors(0x0000FF, 0xFF0000, GradientLabel::kGradientHorizontal);  // red to blue
  QImage image = RenderLabel(label);
  EXPECT_TRUE(image.pixelColor(0, 20).red() > 240 && image.pixelColor(119, 20).blue() > 240);
  label.SetColors(0x0000FF, 0xFF0000, GradientLabel::kGradientVertical);
  image = RenderLabel(label);
  EXPECT_TRUE(image.pixelColor(60, 0).red() > 240 && image.pixelColor(60, 39).blue() > 240);
  // A label whose gradient function cannot be had still paints its background colour.
  label.SetGradientFill(nullptr);
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(255, 0, 0)));
  // A transparent one paints its text only.
  label.SetTransparent(true);
  label.SetText(QStringLiteral("x"));
  const int untouched = CountPixels(RenderLabel(label), QRect(0, 0, 120, 40), kUnpainted);
  EXPECT_GT(untouched, 120 * 40 / 2);
  EXPECT_LT(untouched, 120 * 40);
}

TEST(GradientLabel, TextIsBrokenAtWordsAndAligned) {
  GradientLabel label;
  label.SetColors(0xFFFFFF, 0xFFFFFF, GradientLabel::kGradientNone);
  label.SetTextColor(0x000000);
  const QImage blank = RenderLabel(label, QSize(120, 80));
  const auto textBounds = [&](const char* text) {
    label.SetText(QString::fromLatin1(text));
    return DifferenceBounds(RenderLabel(label, QSize(120, 80)), blank);
  };
  const QRect oneLine = textBounds("one");
  EXPECT_TRUE(oneLine.left() < 10 && oneLine.top() < 10) << oneLine.left() << "," << oneLine.top();
  EXPECT_GT(textBounds("several words that cannot fit on one line").height(), 2 * oneLine.height());
  label.setAlignment(Qt::AlignRight | Qt::AlignTop);
  const QRect right = textBounds("one");
  EXPECT_TRUE(right.right() > 110 && right.left() > 60) << right.left() << "-" << right.right();
}

TEST(GradientLabel, OnlyOneDroppedBmpFileBecomesTheBackground) {
  QTemporaryDir folder;
  const auto bitmap = [&](const char* name, const QColor& colour) {
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(colour);
    EXPECT_TRUE(picture.save(folder.filePath(QString::fromLatin1(name)), "BMP"));
    return folder.filePath(QString::fromLatin1(name));
  };
  const QString green = bitmap("lamp.tar.BMP", Qt::green), red = bitmap("red.bmp", Qt::red);
  const QString broken = folder.filePath(QStringLiteral("broken.bmp"));
  ASSERT_TRUE(TestSupport::WriteFile(broken, "BM not really a picture"));
  GradientLabel label;
  label.SetColors(0x00A5FF, 0x00A5FF, GradientLabel::kGradientNone);
  const QImage before = RenderLabel(label);
  for (const QStringList& ignored : {QStringList{red, green}, QStringList{bitmap("red.bmp.txt", Qt::red)},
                                     QStringList{bitmap("red.bmpx", Qt::red)}, QStringList{broken}, QStringList{}}) {
    DropFiles(label, ignored);
    EXPECT_EQ(RenderLabel(label), before) << ignored.join(u' ').toStdString();
  }
  DropFiles(label, {green});
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(Qt::green)));  // the picture stretched over the label
  DropFiles(label, {broken});  // a broken file later leaves the picture that is there
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(Qt::green)));
}
