#include "poi/CSortableListCtrl.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyle>

#include "poi/CSortArrowHeader.h"

namespace {
constexpr int kRowHeight = 20;
// A cell wide enough that the style lays out its check box and text without squeezing them.
constexpr int kRoomyCellWidth = 1000;
}

CSortableListCtrl::CSortableListCtrl(QWidget* parent) : QTableView(parent), m_header(new CSortArrowHeader(this)) {
  setModel(&m_model);
  setHorizontalHeader(m_header);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  m_header->setStretchLastSection(false);
  m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);  // full-row select from the start
  setWordWrap(false);
  setShowGrid(false);
  setSortingEnabled(false);  // sorting is ours: by the stored texts, with our comparison
  connect(m_header, &QHeaderView::sectionClicked, this, &CSortableListCtrl::OnHeaderClicked);
}

// ---- columns ----

bool CSortableListCtrl::SetColumns(const QString& spec) {
  for (const ColumnSpecEntry& column : ParseColumnSpec(spec))
    if (InsertColumn(GetColumnCount(), column.title, column.align, column.width) < 0) return false;
  return true;
}

int CSortableListCtrl::InsertColumn(int column, const QString& title, ColumnAlign align, int width) {
  if (column < 0 || column > GetColumnCount()) return -1;
  m_model.InsertColumn(column, {title, align, std::max(1, width)});
  m_header->resizeSection(column, std::max(1, width));
  if (column == 0) FitCheckColumn();
  return column;
}

bool CSortableListCtrl::DeleteColumn(int column) {
  if (column < 0 || column >= GetColumnCount()) return false;
  m_model.RemoveColumn(column);
  return true;
}

bool CSortableListCtrl::DeleteAllColumns() {
  while (GetColumnCount() > 0)
    if (!DeleteColumn(0)) return false;
  return true;
}

int CSortableListCtrl::GetColumnCount() const { return m_model.columnCount(); }

// ---- rows ----

int CSortableListCtrl::GetItemCount() const { return m_model.rowCount(); }

int CSortableListCtrl::InsertItem(int row, const QStringList& texts, quint32 userValue) {
  if (row < 0 || row > GetItemCount()) return -1;
  std::vector<ListRowData> rows(1);
  rows[0].texts = texts;
  rows[0].userValue = userValue;
  m_model.InsertRows(row, std::move(rows));
  return row;
}

int CSortableListCtrl::AppendItems(const QList<QStringList>& rows) {
  const int first = GetItemCount();
  std::vector<ListRowData> data(static_cast<std::size_t>(rows.size()));
  for (qsizetype i = 0; i < rows.size(); ++i) data[static_cast<std::size_t>(i)].texts = rows[i];
  m_model.InsertRows(first, std::move(data));
  return first;
}

bool CSortableListCtrl::SetItemText(int row, int column, const QString& text) {
  if (!m_model.IsValidRow(row) || column < 0 || column >= GetColumnCount()) return false;
  m_model.SetText(row, column, text);
  return true;
}

bool CSortableListCtrl::SetItemText(int row, int column, long long value) {
  return SetItemText(row, column, QString::number(value));
}

bool CSortableListCtrl::SetItemText(int row, int column, double value, int precision) {
  if (precision < 0) return false;
  return SetItemText(row, column, QString::number(value, 'f', precision));
}

QString CSortableListCtrl::GetItemText(int row, int column) const {
  return m_model.IsValidRow(row) ? m_model.Row(row).texts.value(column) : QString();
}

bool CSortableListCtrl::SetItemData(int row, quint32 value) {
  if (!m_model.IsValidRow(row)) return false;
  m_model.SetUserValue(row, value);
  return true;
}

quint32 CSortableListCtrl::GetItemData(int row) const {
  return m_model.IsValidRow(row) ? m_model.Row(row).userValue : 0;
}

bool CSortableListCtrl::DeleteItem(int row, bool selectNext, MayDeleteRow mayDelete, quintptr param) {
  if (!m_model.IsValidRow(row)) return false;
  if (mayDelete && !mayDelete(m_model.Row(row).userValue, param)) return false;
  m_model.RemoveRows(row, 1);
  if (selectNext && GetItemCount() > 0) SelectItem(row, true);
  return true;
}

void CSortableListCtrl::DeleteMarked(const std::vector<bool>& marked) {
  int end = static_cast<int>(marked.size());
  while (end > 0) {
    while (end > 0 && !marked[end - 1]) --end;
    int start = end;
    while (start > 0 && marked[start - 1]) --start;
    if (start < end) m_model.RemoveRows(start, end - start);
    end = start;
  }
}

int CSortableListCtrl::DeleteAllItems(MayDeleteRow mayDelete, quintptr param) {
  // Row 0 again and again until one is refused: the rows before the first refusal.
  int count = 0;
  while (count < GetItemCount() && (!mayDelete || mayDelete(m_model.Row(count).userValue, param))) ++count;
  if (count > 0) m_model.RemoveRows(0, count);
  return count;
}

bool CSortableListCtrl::IsInState(int row, RowState state) const {
  switch (state) {
    case RowState::Selected: return IsItemSelected(row);
    case RowState::Unselected: return !IsItemSelected(row);
    case RowState::Checked: return GetCheck(row);
    case RowState::Unchecked: return !GetCheck(row);
  }
  return false;
}

int CSortableListCtrl::DeleteAllInState(RowState state, MayDeleteRow mayDelete, quintptr param) {
  // The same rows as deleting the first row in that state until none is left or one is
  // refused, found in one pass.
  std::vector<bool> marked(static_cast<std::size_t>(GetItemCount()), false);
  int count = 0;
  for (int row = 0; row < GetItemCount(); ++row) {
    if (!IsInState(row, state)) continue;
    if (mayDelete && !mayDelete(m_model.Row(row).userValue, param)) break;
    marked[static_cast<std::size_t>(row)] = true;
    ++count;
  }
  DeleteMarked(marked);
  return count;
}

int CSortableListCtrl::DeleteAllSelected(MayDeleteRow mayDelete, quintptr param) {
  return DeleteAllInState(RowState::Selected, mayDelete, param);
}
int CSortableListCtrl::DeleteAllUnselected(MayDeleteRow mayDelete, quintptr param) {
  return DeleteAllInState(RowState::Unselected, mayDelete, param);
}
int CSortableListCtrl::DeleteAllChecked(MayDeleteRow mayDelete, quintptr param) {
  return DeleteAllInState(RowState::Checked, mayDelete, param);
}
int CSortableListCtrl::DeleteAllUnchecked(MayDeleteRow mayDelete, quintptr param) {
  return DeleteAllInState(RowState::Unchecked, mayDelete, param);
}

int CSortableListCtrl::GetNextInState(int after, RowState state) const {
  for (int row = std::max(after + 1, 0); row < GetItemCount(); ++row)
    if (IsInState(row, state)) return row;
  return -1;
}

int CSortableListCtrl::GetNextSelected(int after) const { return GetNextInState(after, RowState::Selected); }
int CSortableListCtrl::GetNextUnselected(int after) const { return GetNextInState(after, RowState::Unselected); }
int CSortableListCtrl::GetNextChecked(int after) const { return GetNextInState(after, RowState::Checked); }
int CSortableListCtrl::GetNextUnchecked(int after) const { return GetNextInState(after, RowState::Unchecked); }

int CSortableListCtrl::CountInState(RowState state) const {
  int count = 0;
  for (int row = 0; row < GetItemCount(); ++row) count += IsInState(row, state) ? 1 : 0;
  return count;
}

// ---- selection ----

void CSortableListCtrl::SetRowSelected(int row, bool selected) {
  selectionModel()->select(m_model.index(row, 0), (selected ? QItemSelectionModel::Select
                                                            : QItemSelectionModel::Deselect) |
                                                       QItemSelectionModel::Rows);
}

bool CSortableListCtrl::SelectItem(int row, bool clampIntoList) {
  if (GetItemCount() == 0) return false;
  if (!m_model.IsValidRow(row)) {
    if (!clampIntoList) return false;
    row = std::clamp(row, 0, GetItemCount() - 1);
  }
  SetRowSelected(row, true);
  return true;
}

bool CSortableListCtrl::UnselectItem(int row) {
  if (!m_model.IsValidRow(row)) return false;
  SetRowSelected(row, false);
  return true;
}

bool CSortableListCtrl::IsItemSelected(int row) const {
  return m_model.IsValidRow(row) && selectionModel()->isRowSelected(row, QModelIndex());
}

void CSortableListCtrl::SelectAllItems() {
  if (GetItemCount() == 0 || GetColumnCount() == 0) return;
  selectionModel()->select(QItemSelection(m_model.index(0, 0), m_model.index(GetItemCount() - 1, GetColumnCount() - 1)),
                           QItemSelectionModel::Select);
}

void CSortableListCtrl::UnselectAllItems() { selectionModel()->clearSelection(); }

void CSortableListCtrl::InvertSelection() {
  if (GetItemCount() == 0 || GetColumnCount() == 0) return;
  selectionModel()->select(QItemSelection(m_model.index(0, 0), m_model.index(GetItemCount() - 1, GetColumnCount() - 1)),
                           QItemSelectionModel::Toggle);
}

int CSortableListCtrl::GetSelectedCount() const { return CountInState(RowState::Selected); }
int CSortableListCtrl::GetUnselectedCount() const { return CountInState(RowState::Unselected); }

// ---- check boxes ----

bool CSortableListCtrl::GetCheck(int row) const { return m_model.IsValidRow(row) && m_model.Row(row).checked; }

bool CSortableListCtrl::SetCheck(int row, bool checked) {
  if (!m_model.IsValidRow(row)) return false;
  m_model.SetChecked(row, checked);
  return true;
}

void CSortableListCtrl::CheckAll() {
  for (int row = 0; row < GetItemCount(); ++row) m_model.SetChecked(row, true);
}
void CSortableListCtrl::UncheckAll() {
  for (int row = 0; row < GetItemCount(); ++row) m_model.SetChecked(row, false);
}
void CSortableListCtrl::InvertChecks() {
  for (int row = 0; row < GetItemCount(); ++row) m_model.SetChecked(row, !GetCheck(row));
}

int CSortableListCtrl::GetCheckedCount() const { return CountInState(RowState::Checked); }
int CSortableListCtrl::GetUncheckedCount() const { return CountInState(RowState::Unchecked); }

// ---- moving ----

bool CSortableListCtrl::SwapItems(int a, int b) {
  if (!m_model.IsValidRow(a) || !m_model.IsValidRow(b)) return false;
  const bool aSelected = IsItemSelected(a);
  const bool bSelected = IsItemSelected(b);
  m_model.SwapRows(a, b);
  SetRowSelected(a, bSelected);
  SetRowSelected(b, aSelected);
  return true;
}

bool CSortableListCtrl::MoveUp(int row, int places) {
  if (places < 0) return MoveDown(row, -places);
  for (int i = 0; i < places; ++i, --row)
    if (!SwapItems(row, row - 1)) return false;
  return true;
}

bool CSortableListCtrl::MoveDown(int row, int places) {
  if (places < 0) return MoveUp(row, -places);
  for (int i = 0; i < places; ++i, ++row)
    if (!SwapItems(row, row + 1)) return false;
  return true;
}

bool CSortableListCtrl::MoveToTop(int row) { return m_model.IsValidRow(row) && MoveUp(row, row); }

bool CSortableListCtrl::MoveToBottom(int row) {
  return m_model.IsValidRow(row) && MoveDown(row, GetItemCount() - row - 1);
}

// ---- styles ----

void CSortableListCtrl::SetFullRowSelect(bool on) {
  setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void CSortableListCtrl::SetGridLines(bool on) { setShowGrid(on); }

void CSortableListCtrl::SetCheckboxes(bool on) {
  m_model.SetCheckable(on);
  FitCheckColumn();
}

void CSortableListCtrl::FitCheckColumn() {
  if (GetColumnCount() == 0) return;
  m_header->resizeSection(0, m_model.Column(0).width + (HasCheckboxes() ? CheckBoxRoom() : 0));
}

int CSortableListCtrl::CheckBoxRoom() const {
  // What a check box takes from a cell's text, as the style lays the cell out.
  QStyleOptionViewItem cell;
  initViewItemOption(&cell);
  cell.rect = QRect(0, 0, kRoomyCellWidth, kRowHeight);
  cell.features = QStyleOptionViewItem::HasDisplay;
  const int plain = style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, this).width();
  cell.features |= QStyleOptionViewItem::HasCheckIndicator;
  return plain - style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, this).width();
}

// ---- sorting ----

void CSortableListCtrl::SortByColumn(int column, bool ascending) {
  if (column < 0 || column >= GetColumnCount()) return;
  m_header->SetSortState(column, ascending);
  m_model.SortByColumn(column, ascending);
}

void CSortableListCtrl::Resort() { SortByColumn(m_header->SortColumn(), m_header->IsSortAscending()); }

void CSortableListCtrl::OnHeaderClicked(int column) {
  const bool ascending = column == m_header->SortColumn() ? !m_header->IsSortAscending() : true;
  SortByColumn(column, ascending);
}
