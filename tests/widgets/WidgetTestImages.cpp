#include "WidgetTestImages.h"

#include <QPainter>

namespace WidgetTestImages {

QImage Render(const QSize& size, const std::function<void(QPainter&, const QRect&)>& paint) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kUnpainted);
  QPainter painter(&image);
  paint(painter, QRect(QPoint(0, 0), size));
  painter.end();
  return image;
}

QRect DifferenceBounds(const QImage& a, const QImage& b) {
  QRect bounds;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

int CountPixels(const QImage& image, const QRect& area, const QColor& colour) {
  int count = 0;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      if (image.pixelColor(x, y) == colour) ++count;
  return count;
}

}  // namespace WidgetTestImages
