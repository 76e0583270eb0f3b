#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <functional>

class QPainter;

namespace WidgetTestImages {

// A colour no widget paints, so pixels a widget leaves alone stand out.
inline const QColor kUnpainted(255, 0, 255);

// An image of `size` filled with kUnpainted, painted over by `paint`.
QImage Render(const QSize& size, const std::function<void(QPainter&, const QRect&)>& paint);
// Smallest rectangle holding every pixel in which the two images differ (null when equal).
QRect DifferenceBounds(const QImage& a, const QImage& b);
// Number of pixels of `colour` inside `area`.
int CountPixels(const QImage& image, const QRect& area, const QColor& colour);

}  // namespace WidgetTestImages
