#pragma once

#include <QHeaderView>
#include <QLine>
#include <QList>
#include <QSet>

// The list's header: remembers the sort column and direction and draws the sort column's
// item itself, with an arrow (apex up ascending, apex down descending).
class CSortArrowHeader : public QHeaderView {
  Q_OBJECT
 public:
  explicit CSortArrowHeader(QWidget* parent = nullptr);

  int SortColumn() const { return m_nSortColumn; }
  bool IsSortAscending() const { return m_bSortAscending; }
  // Stores the sort state; the column's item is drawn by the header from now on.
  void SetSortState(int column, bool ascending);

  struct ArrowLines {
    QList<QLine> highlight;  // drawn with the 3D highlight colour
    QList<QLine> shadow;     // drawn with the 3D shadow colour
  };
  // The arrow's strokes in an item rectangle; d = item height / 4.
  static ArrowLines SortArrow(const QRect& item, bool ascending);
  // Where the item's text goes, inset for the arrow when the item is the sort column.
  static QRect TextRect(const QRect& item, bool sortColumn, bool pressed);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int m_nSortColumn = -1;
  bool m_bSortAscending = true;
  QSet<int> m_ownerDrawn;
  int m_nPressedSection = -1;
};
