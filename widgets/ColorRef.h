#pragma once

#include <QColor>
#include <cstdint>

// Colours are kept as 32-bit COLORREF values, as the pages pass them: red in the low byte,
// green in the second, blue in the third (0x00A5FF is orange, 0x800000 dark blue).
using COLORREF = uint32_t;

constexpr COLORREF MakeColorRef(int red, int green, int blue) {
  return static_cast<COLORREF>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int ColorRefRed(COLORREF colour) { return static_cast<int>(colour & 0xFF); }
constexpr int ColorRefGreen(COLORREF colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int ColorRefBlue(COLORREF colour) { return static_cast<int>((colour >> 16) & 0xFF); }

inline QColor ColorRefToQColor(COLORREF colour) {
  return QColor(ColorRefRed(colour), ColorRefGreen(colour), ColorRefBlue(colour));
}
inline COLORREF QColorToColorRef(const QColor& colour) {
  return MakeColorRef(colour.red(), colour.green(), colour.blue());
}
