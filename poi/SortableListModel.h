#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <vector>

#include "poi/ColumnSpec.h"

// One row of the list: the texts it shows, one per column, the caller's value and its tick.
struct ListRowData {
  QStringList texts;
  quint32 userValue = 0;
  bool checked = false;
};

// The rows and columns behind CSortableListCtrl. The view asks it for what to show; the
// stored texts are the only truth, and sorting works on them alone.
class SortableListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Check boxes are shown in column 0 while on.
  void SetCheckable(bool on);
  bool IsCheckable() const { return m_bCheckable; }

  // Columns; every row keeps one text per column.
  void InsertColumn(int column, const ColumnSpecEntry& spec);
  void RemoveColumn(int column);
  const ColumnSpecEntry& Column(int column) const { return m_columns[column]; }

  bool IsValidRow(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }
  const ListRowData& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

  // Rows inserted at `row` (0 <= row <= count), texts fitted to the column count.
  void InsertRows(int row, std::vector<ListRowData> rows);
  // `count` rows from `row` on.
  void RemoveRows(int row, int count);

  void SetText(int row, int column, const QString& text);
  void SetUserValue(int row, quint32 value);
  void SetChecked(int row, bool checked);
  // Exchanges texts, user values and ticks of two rows.
  void SwapRows(int a, int b);

  // Sorts the rows by the stored texts of one column; the view's selection follows.
  void SortByColumn(int column, bool ascending);

 private:
  void FitTexts(ListRowData& row) const;
  void EmitRowChanged(int row);

  QList<ColumnSpecEntry> m_columns;
  std::vector<ListRowData> m_rows;
  bool m_bCheckable = false;
};
