#pragma once

#include <QStringList>
#include <QTableView>
#include <vector>

#include "poi/ColumnSpec.h"
#include "poi/SortableListModel.h"

class CSortArrowHeader;

// A report list whose rows keep their column texts beside the view, so a click on a column
// header sorts them by that column (with an arrow in the header); rows can be ticked,
// selected, moved and deleted by state, each delete asking the caller's predicate first.
// Cells change only through these operations; there is no editing in place.
class CSortableListCtrl : public QTableView {
  Q_OBJECT
 public:
  // Whether the row with this user value may be deleted; `param` is the caller's.
  using MayDeleteRow = bool (*)(quint32 userValue, quintptr param);

  explicit CSortableListCtrl(QWidget* parent = nullptr);

  // Columns.
  bool SetColumns(const QString& spec);
  int InsertColumn(int column, const QString& title, ColumnAlign align, int width);  // its index, or -1
  bool DeleteColumn(int column);
  bool DeleteAllColumns();
  int GetColumnCount() const;

  // Rows. InsertItem puts texts[c] into column c (missing texts give empty cells) and
  // returns the new row's index, or -1 when `row` is not 0..count.
  int GetItemCount() const;
  int InsertItem(int row, const QStringList& texts, quint32 userValue = 0);
  // Appends many rows in one go; returns the index of the first.
  int AppendItems(const QList<QStringList>& rows);
  bool SetItemText(int row, int column, const QString& text);
  bool SetItemText(int row, int column, long long value);
  bool SetItemText(int row, int column, double value, int precision);  // false for precision < 0
  QString GetItemText(int row, int column) const;
  bool SetItemData(int row, quint32 value);
  quint32 GetItemData(int row) const;  // 0 for an invalid row

  bool DeleteItem(int row, bool selectNext = false, MayDeleteRow mayDelete = nullptr, quintptr param = 0);
  int DeleteAllItems(MayDeleteRow mayDelete = nullptr, quintptr param = 0);
  int DeleteAllSelected(MayDeleteRow mayDelete = nullptr, quintptr param = 0);
  int DeleteAllUnselected(MayDeleteRow mayDelete = nullptr, quintptr param = 0);
  int DeleteAllChecked(MayDeleteRow mayDelete = nullptr, quintptr param = 0);
  int DeleteAllUnchecked(MayDeleteRow mayDelete = nullptr, quintptr param = 0);

  // The next row in that state after `after` (-1 starts at row 0), or -1.
  int GetNextSelected(int after) const;
  int GetNextUnselected(int after) const;
  int GetNextChecked(int after) const;
  int GetNextUnchecked(int after) const;

  // Selection.
  bool SelectItem(int row, bool clampIntoList = false);
  bool UnselectItem(int row);
  bool IsItemSelected(int row) const;
  void SelectAllItems();
  void UnselectAllItems();
  void InvertSelection();
  int GetSelectedCount() const;
  int GetUnselectedCount() const;

  // Check boxes.
  bool GetCheck(int row) const;
  bool SetCheck(int row, bool checked);
  void CheckAll();
  void UncheckAll();
  void InvertChecks();
  int GetCheckedCount() const;
  int GetUncheckedCount() const;

  // Moving rows: texts, user values, ticks and selection travel together.
  bool SwapItems(int a, int b);
  bool MoveUp(int row, int places = 1);    // places < 0 moves down
  bool MoveDown(int row, int places = 1);  // places < 0 moves up
  bool MoveToTop(int row);
  bool MoveToBottom(int row);

  // Extended styles.
  void SetFullRowSelect(bool on);
  void SetGridLines(bool on);
  void SetCheckboxes(bool on);
  bool HasCheckboxes() const { return m_model.IsCheckable(); }

  // Sorting by the stored texts; a header click sorts its column.
  void SortByColumn(int column, bool ascending);
  void Resort();
  CSortArrowHeader* SortHeader() const { return m_header; }

 private:
  enum class RowState { Selected, Unselected, Checked, Unchecked };
  bool IsInState(int row, RowState state) const;
  int GetNextInState(int after, RowState state) const;
  int DeleteAllInState(RowState state, MayDeleteRow mayDelete, quintptr param);
  int CountInState(RowState state) const;
  // Deletes the rows marked true, in runs from the end.
  void DeleteMarked(const std::vector<bool>& marked);
  void SetRowSelected(int row, bool selected);
  void OnHeaderClicked(int column);
  // Column 0 is as wide as described plus the room its check box takes, so the text keeps
  // the width the description gives it.
  void FitCheckColumn();
  int CheckBoxRoom() const;

  SortableListModel m_model;
  CSortArrowHeader* m_header;
};
