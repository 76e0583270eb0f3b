#include "poi/CSortArrowHeader.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kMaxTitleChars = 255;
}

CSortArrowHeader::CSortArrowHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setHighlightSections(false);
}

void CSortArrowHeader::SetSortState(int column, bool ascending) {
  m_nSortColumn = column;
  m_bSortAscending = ascending;
  m_ownerDrawn.insert(column);
  viewport()->update();
}

CSortArrowHeader::ArrowLines CSortArrowHeader::SortArrow(const QRect& item, bool ascending) {
  const int d = item.height() / 4;
  const int r = item.x() + item.width();   // right edge, exclusive
  const int b = item.y() + item.height();  // bottom edge, exclusive
  const int t = item.y();
  ArrowLines lines;
  if (ascending) {
    lines.highlight = {QLine(r - 2 * d, t + d, r - d, b - d - 1), QLine(r - d, b - d - 1, r - 3 * d - 2, b - d - 1)};
    lines.shadow = {QLine(r - 3 * d - 1, b - d - 1, r - 2 * d, t + d - 1)};
  } else {
    lines.highlight = {QLine(r - d - 1, t + d, r - 2 * d - 1, b - d)};
    lines.shadow = {QLine(r - 2 * d - 2, b - d, r - 3 * d - 1, t + d), QLine(r - 3 * d - 1, t + d, r - d - 1, t + d)};
  }
  return lines;
}

QRect CSortArrowHeader::TextRect(const QRect& item, bool sortColumn, bool pressed) {
  QRect text = item;
  if (pressed) text.translate(1, 2);
  const int d = item.height() / 4;
  if (sortColumn) text.setRight(text.right() - 3 * d);
  return text.adjusted(d, 0, -d, 0);
}

void CSortArrowHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!m_ownerDrawn.contains(logicalIndex)) {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    return;
  }
  painter->save();
  painter->setClipRect(rect);
  painter->fillRect(rect, palette().color(QPalette::Button));
  painter->setPen(palette().color(QPalette::Dark));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());

  const bool sortColumn = logicalIndex == m_nSortColumn;
  const QRect textRect = TextRect(rect, sortColumn, logicalIndex == m_nPressedSection);
  if (textRect.width() > 0) {
    const QString title = model() ? model()->headerData(logicalIndex, orientation()).toString().left(kMaxTitleChars)
                                  : QString();
    const auto align = model() ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole)
                                     .value<Qt::Alignment>()
                               : Qt::Alignment(Qt::AlignLeft);
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(textRect, int((align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter | Qt::TextSingleLine),
                      painter->fontMetrics().elidedText(title, Qt::ElideRight, textRect.width()));
  }
  if (sortColumn) {
    const ArrowLines arrow = SortArrow(rect, m_bSortAscending);
    painter->setPen(QPen(palette().color(QPalette::Light), 1));
    painter->drawLines(arrow.highlight);
    painter->setPen(QPen(palette().color(QPalette::Dark), 1));
    painter->drawLines(arrow.shadow);
  }
  painter->restore();
}

void CSortArrowHeader::mousePressEvent(QMouseEvent* event) {
  m_nPressedSection = logicalIndexAt(event->position().toPoint());
  QHeaderView::mousePressEvent(event);
}

void CSortArrowHeader::mouseReleaseEvent(QMouseEvent* event) {
  m_nPressedSection = -1;
  QHeaderView::mouseReleaseEvent(event);
  viewport()->update();
}
