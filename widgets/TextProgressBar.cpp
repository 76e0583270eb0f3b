#include "widgets/TextProgressBar.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

int ProgressFilledWidth(int nPos, int nUpper, int nWidth) {
  if (nUpper == 0) return 0;
  const int filled = static_cast<int>(static_cast<double>(nPos) / nUpper * nWidth);
  return std::clamp(filled, 0, std::max(nWidth, 0));
}

int ProgressBandCount(COLORREF crStart, COLORREF crEnd) {
  const int bands = std::max({std::abs(ColorRefRed(crEnd) - ColorRefRed(crStart)),
                              std::abs(ColorRefGreen(crEnd) - ColorRefGreen(crStart)),
                              std::abs(ColorRefBlue(crEnd) - ColorRefBlue(crStart))});
  // Equal colours make one solid band.
  return std::max(bands, 1);
}

QColor ProgressBandColour(COLORREF crStart, COLORREF crEnd, int bands, int index) {
  const auto component = [&](int start, int end) {
    return static_cast<int>(start + index * (static_cast<double>(end - start) / bands));
  };
  return QColor(component(ColorRefRed(crStart), ColorRefRed(crEnd)),
                component(ColorRefGreen(crStart), ColorRefGreen(crEnd)),
                component(ColorRefBlue(crStart), ColorRefBlue(crEnd)));
}

QString ProgressPercentText(int nPos, int nUpper, const QString& strText) {
  const double percent = nUpper == 0 ? 0.0 : nPos * 100.0 / nUpper;
  QString result = QString::asprintf("%.0f%%", percent);
  if (!strText.isEmpty()) result += QStringLiteral(" : ") + strText;
  return result;
}

TextProgressBar::TextProgressBar(QWidget* parent)
    : QProgressBar(parent), m_crBackground(QColorToColorRef(palette().color(QPalette::Button))) {
  QProgressBar::setRange(m_nLower, m_nUpper);
  QProgressBar::setValue(m_nPos);
}

TextProgressBar::~TextProgressBar() = default;

void TextProgressBar::SetRange(int nLower, int nUpper) {
  m_nLower = nLower;
  m_nUpper = nUpper;
  m_nPos = nLower;
  QProgressBar::setRange(nLower, nUpper);
  QProgressBar::setValue(m_nPos);
  update();
}

void TextProgressBar::SetPos(int nPos) {
  m_nPos = nPos;
  QProgressBar::setValue(nPos);
  update();
}

void TextProgressBar::SetPosAndText(int nPos, const QString& strText) {
  m_strText = strText;
  m_bShowPercentage = true;
  SetPos(nPos);
}

void TextProgressBar::SetStep(int nStep) { m_nStep = nStep; }

void TextProgressBar::StepIt() { SetPos(m_nPos + m_nStep); }

QString TextProgressBar::text() const {
  if (!m_bShowPercentage || !PosInRange()) return QString();
  return ProgressPercentText(m_nPos, m_nUpper, m_strText);
}

void TextProgressBar::PaintBar(QPainter& painter, const QRect& rect) const {
  const QColor background = ColorRefToQColor(m_crBackground);
  if (!PosInRange()) {
    painter.fillRect(rect, palette().color(QPalette::Button));
    return;
  }

  // The ramp spans the whole width; only the bands left of the filled width show.
  const int width = rect.width();
  // At the lower bound the bar is cleared whole, also when the lower bound is above 0.
  const int filled = m_nPos == m_nLower ? 0 : ProgressFilledWidth(m_nPos, m_nUpper, width);
  const int bands = ProgressBandCount(m_crStart, m_crEnd);
  const double bandWidth = static_cast<double>(width) / bands;
  for (int i = 0; i < bands; ++i) {
    // Band edges are rounded, so bands narrower than a pixel still leave the ramp in order.
    const int left = static_cast<int>(std::lround(i * bandWidth));
    const int right = std::min(static_cast<int>(std::lround((i + 1) * bandWidth)), filled);
    if (left >= filled) break;
    if (right > left)
      painter.fillRect(QRect(rect.left() + left, rect.top(), right - left, rect.height()),
                       ProgressBandColour(m_crStart, m_crEnd, bands, i));
  }
  painter.fillRect(QRect(rect.left() + filled, rect.top(), width - filled, rect.height()), background);

  const QString caption = text();
  if (caption.isEmpty()) return;
  painter.save();
  painter.setFont(font());
  painter.setPen(ColorRefToQColor(m_crText));
  painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, caption);
  painter.restore();
}

void TextProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintBar(painter, rect());
}
