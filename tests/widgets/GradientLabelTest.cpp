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

// The update page's lamps and the splash's status lines paint the one colour given, as
// COLORREF, until a BMP file is dropped on them. (The gradients, transparency and text layouts
// the program never uses are left untested.)
TEST(GradientLabel, ColourGivenOrTheOneDroppedBmpFile) {
  EXPECT_EQ(QColorToColorRef(QColor(0x12, 0x34, 0x56)), 0x563412u);
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
  label.SetColors(0x00A5FF, 0x00A5FF, GradientLabel::kGradientNone);  // the lamp of a newer package
  const QImage before = RenderLabel(label);
  EXPECT_TRUE(AllPixels(before, QColor(255, 165, 0)));
  for (const QStringList& ignored :
       {QStringList{red, green}, QStringList{bitmap("red.bmp.txt", Qt::red)},
        QStringList{bitmap("red.bmpx", Qt::red)}, QStringList{broken}, QStringList{}}) {
    DropFiles(label, ignored);
    EXPECT_EQ(RenderLabel(label), before) << ignored.join(u' ').toStdString();
  }
  DropFiles(label, {green});
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(Qt::green)));  // the picture stretched over the label
  DropFiles(label, {broken});  // a broken file later leaves the picture that is there
  EXPECT_TRUE(AllPixels(RenderLabel(label), QColor(Qt::green)));
}
