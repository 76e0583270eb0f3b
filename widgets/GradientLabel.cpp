#include "widgets/GradientLabel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLinearGradient>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

GradientLabel::GradientLabel(QWidget* parent) : GradientLabel(QString(), parent) {}

GradientLabel::GradientLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent),
      m_crText(QColorToColorRef(palette().color(QPalette::WindowText))),
      m_crBackground(QColorToColorRef(palette().color(QPalette::Button))),
      m_crGradientStart(m_crBackground),
      m_crGradientEnd(m_crBackground) {
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setAcceptDrops(true);
}

GradientLabel::~GradientLabel() = default;

void GradientLabel::SetColors(COLORREF crStart, COLORREF crEnd, int nGradientMode) {
  m_crBackground = crStart;
  m_crGradientStart = crStart;
  m_crGradientEnd = crEnd;
  m_nGradientMode = nGradientMode;
  update();
}

void GradientLabel::SetText(const QString& text) {
  setText(text);
  // Without a background of its own the old text lives in the parent's pixels.
  if (m_bTransparent && parentWidget()) parentWidget()->repaint(geometry().adjusted(-1, -1, 1, 1));
}

void GradientLabel::SetTextColor(COLORREF crText) {
  m_crText = crText;
  update();
}

void GradientLabel::SetTransparent(bool bTransparent) {
  m_bTransparent = bTransparent;
  update();
}

void GradientLabel::SetBitmap(const QPixmap& bitmap, bool bStretch) {
  m_bitmap = bitmap;
  m_bStretch = bStretch;
  update();
}

void GradientLabel::LinearGradientFill(QPainter& painter, const QRect& rect, const QColor& start,
                                       const QColor& end, int gradientMode) {
  const QPointF to = gradientMode == kGradientVertical ? QPointF(rect.left(), rect.bottom() + 1)
                                                       : QPointF(rect.right() + 1, rect.top());
  QLinearGradient gradient(rect.topLeft(), to);
  gradient.setColorAt(0.0, start);
  gradient.setColorAt(1.0, end);
  painter.fillRect(rect, gradient);
}

void GradientLabel::Paint(QPainter& painter, const QRect& rect) const {
  if (!m_bitmap.isNull()) {
    if (m_bStretch)
      painter.drawPixmap(rect, m_bitmap);
    else
      painter.drawPixmap(rect.topLeft(), m_bitmap);
  } else if (!m_bTransparent) {
    if (m_nGradientMode != kGradientNone && m_pfnGradientFill)
      m_pfnGradientFill(painter, rect, ColorRefToQColor(m_crGradientStart), ColorRefToQColor(m_crGradientEnd),
                        m_nGradientMode);
    else
      painter.fillRect(rect, ColorRefToQColor(m_crBackground));
  }

  painter.save();
  painter.setFont(font());
  painter.setPen(ColorRefToQColor(m_crText));
  painter.drawText(rect, static_cast<int>(alignment()) | Qt::TextWordWrap, text());
  painter.restore();
}

void GradientLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, rect());
}

QString GradientLabel::DroppedBitmapFile(const QStringList& files) {
  if (files.size() != 1) return QString();
  const QString& file = files.front();
  if (QFileInfo(file).suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) != 0) return QString();
  return file;
}

void GradientLabel::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void GradientLabel::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void GradientLabel::dropEvent(QDropEvent* event) {
  QStringList files;
  // Anything that is not a local file counts as a file that is no picture.
  for (const QUrl& url : event->mimeData()->urls()) files.append(url.toLocalFile());
  const QString file = DroppedBitmapFile(files);
  // A file that is not a readable picture leaves the label as it was.
  QPixmap bitmap;
  if (!file.isEmpty() && bitmap.load(file, "BMP")) SetBitmap(bitmap, true);
  event->acceptProposedAction();
}
