#include "poi/SortableListModel.h"

#include <numeric>

#include "poi/ListSortKey.h"

namespace {

Qt::Alignment ToQtAlignment(ColumnAlign align) {
  switch (align) {
    case ColumnAlign::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlign::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Left: break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

// A stable merge sort that stays within its range whatever the comparison answers: the
// list's comparison lets each row's own text decide how it compares, so it is not always a
// consistent order, and std::sort may not be given one.
template <typename Less>
void MergeSort(std::vector<int>& order, Less less) {
  std::vector<int> buffer(order.size());
  for (std::size_t width = 1; width < order.size(); width *= 2) {
    for (std::size_t left = 0; left < order.size(); left += 2 * width) {
      const std::size_t middle = std::min(left + width, order.size());
      const std::size_t right = std::min(left + 2 * width, order.size());
      std::size_t i = left, j = middle, out = left;
      while (i < middle && j < right) buffer[out++] = less(order[j], order[i]) ? order[j++] : order[i++];
      while (i < middle) buffer[out++] = order[i++];
      while (j < right) buffer[out++] = order[j++];
    }
    order.swap(buffer);
  }
}

}  // namespace

int SortableListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SortableListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant SortableListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !IsValidRow(index.row())) return {};
  const ListRowData& row = Row(index.row());
  switch (role) {
    case Qt::DisplayRole: return row.texts.value(index.column());
    case Qt::TextAlignmentRole: return QVariant::fromValue(ToQtAlignment(m_columns[index.column()].align));
    case Qt::CheckStateRole:
      if (m_bCheckable && index.column() == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
      return {};
    default: return {};
  }
}

bool SortableListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  // The only edit the view makes is the user ticking a box.
  if (role != Qt::CheckStateRole || !m_bCheckable || index.column() != 0 || !IsValidRow(index.row())) return false;
  SetChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

QVariant SortableListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size()) return {};
  if (role == Qt::DisplayRole) return m_columns[section].title;
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ToQtAlignment(m_columns[section].align));
  return {};
}

Qt::ItemFlags SortableListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (m_bCheckable && index.column() == 0) result |= Qt::ItemIsUserCheckable;
  return result;
}

void SortableListModel::SetCheckable(bool on) {
  if (on == m_bCheckable) return;
  m_bCheckable = on;
  if (!m_rows.empty() && !m_columns.isEmpty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

void SortableListModel::FitTexts(ListRowData& row) const {
  while (row.texts.size() < m_columns.size()) row.texts.append(QString());
  if (row.texts.size() > m_columns.size()) row.texts.resize(m_columns.size());
}

void SortableListModel::InsertColumn(int column, const ColumnSpecEntry& spec) {
  column = std::clamp(column, 0, static_cast<int>(m_columns.size()));
  beginInsertColumns(QModelIndex(), column, column);
  m_columns.insert(column, spec);
  for (ListRowData& row : m_rows) row.texts.insert(std::min<qsizetype>(column, row.texts.size()), QString());
  endInsertColumns();
}

void SortableListModel::RemoveColumn(int column) {
  if (column < 0 || column >= m_columns.size()) return;
  beginRemoveColumns(QModelIndex(), column, column);
  m_columns.removeAt(column);
  for (ListRowData& row : m_rows)
    if (column < row.texts.size()) row.texts.removeAt(column);
  endRemoveColumns();
}

void SortableListModel::InsertRows(int row, std::vector<ListRowData> rows) {
  if (rows.empty() || row < 0 || row > rowCount()) return;
  for (ListRowData& data : rows) FitTexts(data);
  beginInsertRows(QModelIndex(), row, row + static_cast<int>(rows.size()) - 1);
  m_rows.insert(m_rows.begin() + row, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  endInsertRows();
}

void SortableListModel::RemoveRows(int row, int count) {
  if (count <= 0 || !IsValidRow(row) || row + count > rowCount()) return;
  beginRemoveRows(QModelIndex(), row, row + count - 1);
  m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
  endRemoveRows();
}

void SortableListModel::EmitRowChanged(int row) {
  if (!m_columns.isEmpty()) emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void SortableListModel::SetText(int row, int column, const QString& text) {
  if (!IsValidRow(row) || column < 0 || column >= m_columns.size()) return;
  m_rows[row].texts[column] = text;
  const QModelIndex cell = index(row, column);
  emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void SortableListModel::SetUserValue(int row, quint32 value) {
  if (IsValidRow(row)) m_rows[row].userValue = value;
}

void SortableListModel::SetChecked(int row, bool checked) {
  if (!IsValidRow(row) || m_rows[row].checked == checked) return;
  m_rows[row].checked = checked;
  if (!m_columns.isEmpty()) emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

void SortableListModel::SwapRows(int a, int b) {
  if (!IsValidRow(a) || !IsValidRow(b) || a == b) return;
  std::swap(m_rows[a], m_rows[b]);
  EmitRowChanged(a);
  EmitRowChanged(b);
}

void SortableListModel::SortByColumn(int column, bool ascending) {
  if (column < 0 || column >= m_columns.size() || m_rows.size() < 2) return;
  std::vector<ListSortKey> keys;
  keys.reserve(m_rows.size());
  for (const ListRowData& row : m_rows) keys.push_back(ListSortKey::FromText(row.texts.value(column)));
  std::vector<int> order(m_rows.size());
  std::iota(order.begin(), order.end(), 0);
  MergeSort(order, [&](int a, int b) { return CompareListKeys(keys[a], keys[b], ascending) < 0; });

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(order.size());
  std::vector<ListRowData> sorted;
  sorted.reserve(m_rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    newRowOf[order[i]] = static_cast<int>(i);
    sorted.push_back(std::move(m_rows[order[i]]));
  }
  m_rows.swap(sorted);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& old : before) after.append(index(newRowOf[old.row()], old.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
