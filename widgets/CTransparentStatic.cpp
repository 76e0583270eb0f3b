#include "widgets/CTransparentStatic.h"

#include <QFontMetrics>
#include <QPainter>

StaticTextLayout StaticTextLayoutForStyle(uint32_t style) {
  using namespace StaticStyle;
  StaticTextLayout layout;
  Qt::Alignment horizontal = Qt::AlignLeft;
  if (style & kRight)
    horizontal = Qt::AlignRight;
  else if (style & kCenter)
    horizontal = Qt::AlignHCenter;
  Qt::Alignment vertical = Qt::AlignTop;
  if (style & kCenterImage) {
    vertical = Qt::AlignVCenter;
    layout.singleLine = true;
  }
  layout.alignment = horizontal | vertical;
  layout.showMnemonic = (style & kNoPrefix) == 0;
  if (style & kEllipsisMask) {
    // A path keeps its end (the file name) and loses its middle; the rest lose their end.
    layout.elide = (style & kEllipsisMask) == kPathEllipsis ? Qt::ElideMiddle : Qt::ElideRight;
    layout.singleLine = true;
  }
  layout.wordBreak = (style & kNoWordBreakMask) == 0;
  return layout;
}

CTransparentStatic::CTransparentStatic(const QString& text, QWidget* parent, uint32_t style)
    : QLabel(text, parent), m_style(style) {
  setTextFormat(Qt::PlainText);
  SetStaticStyle(style);
}

CTransparentStatic::~CTransparentStatic() = default;

void CTransparentStatic::SetStaticStyle(uint32_t style) {
  m_style = style;
  const StaticTextLayout layout = StaticTextLayoutForStyle(style);
  setAlignment(layout.alignment);
  setWordWrap(layout.wordBreak);
  update();
}

void CTransparentStatic::Paint(QPainter& painter, const QRect& rect) const {
  const StaticTextLayout layout = StaticTextLayoutForStyle(m_style);
  int flags = static_cast<int>(layout.alignment);
  flags |= layout.showMnemonic ? Qt::TextShowMnemonic : 0;
  flags |= layout.wordBreak ? Qt::TextWordWrap : 0;
  flags |= layout.singleLine ? Qt::TextSingleLine : 0;
  QString shown = text();
  const QFontMetrics metrics(font());
  if (layout.elide != Qt::ElideNone) shown = metrics.elidedText(shown, layout.elide, rect.width(), flags);

  painter.save();
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect, flags, shown);
  painter.restore();
}

void CTransparentStatic::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, rect());
}
