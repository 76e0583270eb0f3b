#pragma once

#include <QProgressBar>
#include <QString>

#include "widgets/ColorRef.h"

class QPainter;

// A progress bar painted as a colour ramp that can print its percentage and a text after it.
// The update, recovery and manual-pack dialogs show their transfers with it.
class TextProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  static constexpr int kDefaultLower = 0;
  static constexpr int kDefaultUpper = 100;
  static constexpr int kDefaultStep = 10;
  static constexpr COLORREF kDefaultStartColour = 0x800000;  // dark blue
  static constexpr COLORREF kDefaultEndColour = 0xFF0000;    // blue
  static constexpr COLORREF kDefaultTextColour = 0xFFFFFF;   // white

  explicit TextProgressBar(QWidget* parent = nullptr);
  ~TextProgressBar() override;

  // Sets both bounds and moves the position to the lower one.
  void SetRange(int nLower, int nUpper);
  void SetPos(int nPos);
  // Sets position and text and turns the percentage on.
  void SetPosAndText(int nPos, const QString& strText);
  void SetStep(int nStep);
  void StepIt();
  // These only store the value; the next repaint uses it.
  void SetStartColour(COLORREF colour) { m_crStart = colour; }
  void SetEndColour(COLORREF colour) { m_crEnd = colour; }
  void SetTextColour(COLORREF colour) { m_crText = colour; }
  void ShowPercentage(bool bShow) { m_bShowPercentage = bShow; }

  int GetPos() const { return m_nPos; }
  int GetLower() const { return m_nLower; }
  int GetUpper() const { return m_nUpper; }
  int GetStep() const { return m_nStep; }
  QString GetText() const { return m_strText; }
  COLORREF BackgroundColour() const { return m_crBackground; }

  // What the bar prints: empty unless the percentage is on and the position is in range.
  QString text() const override;
  // Paints the whole bar over `rect`; the paint event draws through it.
  void PaintBar(QPainter& painter, const QRect& rect) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool PosInRange() const { return m_nPos >= m_nLower && m_nPos <= m_nUpper; }

  QString m_strText;
  int m_nLower = kDefaultLower;
  int m_nUpper = kDefaultUpper;
  int m_nStep = kDefaultStep;
  int m_nPos = kDefaultLower;
  COLORREF m_crStart = kDefaultStartColour;
  COLORREF m_crEnd = kDefaultEndColour;
  COLORREF m_crBackground;  // the button face
  COLORREF m_crText = kDefaultTextColour;
  bool m_bShowPercentage = false;
};

// The pieces of the bar's picture, as plain functions of its values.

// Width of the filled part: position / upper of the width, truncated and kept inside it.
// The lower bound is not subtracted. An upper bound of 0 fills nothing.
int ProgressFilledWidth(int nPos, int nUpper, int nWidth);
// Bands of the ramp: the largest difference of one colour component, at least 1.
int ProgressBandCount(COLORREF crStart, COLORREF crEnd);
// Colour of band `index` of `bands` between the two colours.
QColor ProgressBandColour(COLORREF crStart, COLORREF crEnd, int bands, int index);
// "50%", or "50% : text" when there is a text.
QString ProgressPercentText(int nPos, int nUpper, const QString& strText);
