#pragma once

#include <QLabel>
#include <cstdint>

class QPainter;

// Style bits of a static text control that decide how its text is laid out.
namespace StaticStyle {
constexpr uint32_t kLeft = 0x0000;
constexpr uint32_t kCenter = 0x0001;
constexpr uint32_t kRight = 0x0002;
constexpr uint32_t kNoPrefix = 0x0080;
constexpr uint32_t kCenterImage = 0x0200;
constexpr uint32_t kEndEllipsis = 0x4000;
constexpr uint32_t kPathEllipsis = 0x8000;
constexpr uint32_t kWordEllipsis = 0xC000;
constexpr uint32_t kEllipsisMask = 0xC000;
// Centre-image, the ellipsis bits and the simple/owner-draw type bits: any of them set and
// the text is not broken into lines.
constexpr uint32_t kNoWordBreakMask = 0xC20C;
}  // namespace StaticStyle

// How a static text is drawn, taken from its style bits.
struct StaticTextLayout {
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
  bool wordBreak = false;
  bool singleLine = false;
  bool showMnemonic = true;  // "&x" underlines x, "&&" is one "&"
  Qt::TextElideMode elide = Qt::ElideNone;
};
StaticTextLayout StaticTextLayoutForStyle(uint32_t style);

// A static text drawn without a background, so the picture behind it shows through (the
// version number on the splash).
class CTransparentStatic : public QLabel {
  Q_OBJECT
 public:
  explicit CTransparentStatic(const QString& text = QString(), QWidget* parent = nullptr,
                              uint32_t style = StaticStyle::kLeft);
  ~CTransparentStatic() override;

  void SetStaticStyle(uint32_t style);
  uint32_t StaticStyleBits() const { return m_style; }

  // Paints the text over `rect`; the paint event draws through it.
  void Paint(QPainter& painter, const QRect& rect) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint32_t m_style;
};
