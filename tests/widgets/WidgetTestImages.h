#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <functional>

namespace WidgetTestImages {

// A colour no widget paints, so pixels a widget leaves alone stand out.
inline const QColor kUnpainted(255, 0, 255);

// An image of `size` filled with kUnpainted, painted over by `paint`.
inline QImage Render(const QSize& size, const std::function<void(QPainter&, const QRect&)>& paint) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(kUnpainted);
  QPainter painter(&image);
  paint(painter, image.rect());
  painter.end();
  return image;
}

// Number of pixels of `colour` in `area`, which lies within the image.
inline int CountPixels(const QImage& image, const QRect& area, const QColor& colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixelColor(x, y) == colour;
  return count;
}

}  // namespace WidgetTestImages
