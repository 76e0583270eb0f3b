#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include "widgets/ColorRef.h"

class QPainter;

// A colour label: a solid or two-colour gradient background (or a picture), and its text
// broken into lines at word boundaries. The update page uses it for its state lamps, the
// splash for its status lines. Dropping one .bmp file on it makes that the background.
class GradientLabel : public QLabel {
  Q_OBJECT
 public:
  // 0 paints the background colour only; the others run the gradient left to right or top
  // to bottom (any other non-zero mode counts as horizontal).
  enum GradientMode { kGradientNone = 0, kGradientHorizontal = 1, kGradientVertical = 2 };

  // Paints a two-colour gradient over a rectangle. Without one the label paints solid colours.
  using GradientFillFunction = void (*)(QPainter& painter, const QRect& rect, const QColor& start,
                                        const QColor& end, int gradientMode);

  explicit GradientLabel(QWidget* parent = nullptr);
  explicit GradientLabel(const QString& text, QWidget* parent = nullptr);
  ~GradientLabel() override;

  // The start colour is the background and the gradient start, the end colour the gradient end.
  void SetColors(COLORREF crStart, COLORREF crEnd, int nGradientMode);
  void SetText(const QString& text);
  QString GetText() const { return text(); }
  void SetTextColor(COLORREF crText);
  // A transparent label paints no background of its own; the parent shows through.
  void SetTransparent(bool bTransparent);
  // A picture replaces the background; stretched to the label or drawn at its own size.
  void SetBitmap(const QPixmap& bitmap, bool bStretch = true);
  bool HasBitmap() const { return !m_bitmap.isNull(); }
  // Replaces the gradient painter; nullptr leaves the label with solid colours only.
  void SetGradientFill(GradientFillFunction function) { m_pfnGradientFill = function; }

  COLORREF BackgroundColor() const { return m_crBackground; }
  COLORREF GradientStartColor() const { return m_crGradientStart; }
  COLORREF GradientEndColor() const { return m_crGradientEnd; }
  int GradientModeValue() const { return m_nGradientMode; }

  // Paints the whole label over `rect`; the paint event draws through it.
  void Paint(QPainter& painter, const QRect& rect) const;

  // Of the files of one drop, the one that becomes the background: exactly one file whose
  // extension is .bmp in any letter case. Empty otherwise.
  static QString DroppedBitmapFile(const QStringList& files);

  // The gradient painter every label starts with.
  static void LinearGradientFill(QPainter& painter, const QRect& rect, const QColor& start, const QColor& end,
                                 int gradientMode);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  COLORREF m_crText;
  COLORREF m_crBackground;
  COLORREF m_crGradientStart;
  COLORREF m_crGradientEnd;
  int m_nGradientMode = kGradientNone;
  QPixmap m_bitmap;
  bool m_bStretch = true;
  bool m_bTransparent = false;
  GradientFillFunction m_pfnGradientFill = &GradientLabel::LinearGradientFill;
};
