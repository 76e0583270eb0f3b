#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <array>
#include <functional>
#include <tuple>

#include "poi/CSortArrowHeader.h"
#include "poi/CSortableListCtrl.h"
#include "poi/ColumnSpec.h"
#include "poi/ListSortKey.h"

namespace {

QStringList Texts(const CSortableListCtrl& list, int column = 0) {
  QStringList texts;
  for (int row = 0; row < list.GetItemCount(); ++row) texts.append(list.GetItemText(row, column));
  return texts;
}

// A column's texts, blank-separated.
QString Column(const CSortableListCtrl& list, int column = 0) { return Texts(list, column).join(u' '); }

void Append(CSortableListCtrl& list, const QStringList& texts) {
  for (const QString& text : texts) list.InsertItem(list.GetItemCount(), {text});
}

// A list of one column holding the texts, in order.
void Fill(CSortableListCtrl& list, const QStringList& texts) {
  list.SetColumns(QStringLiteral("Value, 90;"));
  Append(list, texts);
}

bool AllowAll(quint32, quintptr) { return true; }
bool RefuseValue(quint32 value, quintptr param) { return value != param; }

}  // namespace

TEST(ColumnSpec, EntriesAlignmentsWidthsAndEnd) {
  constexpr auto L = ColumnAlign::Left;
  const std::pair<QString, QList<ColumnSpecEntry>> cases[] = {
      {u"No, 40; Date, 90;"_qs, {{u"No"_qs, L, 40}, {u" Date"_qs, L, 90}}},  // blanks of a title are kept
      {u"A,0"_qs, {{u"A"_qs, L, 1}}},
      {u"A,1,80;B,2,50;C,7,30;D,x,20"_qs,
       {{u"A"_qs, ColumnAlign::Center, 80}, {u"B"_qs, ColumnAlign::Right, 50}, {u"C"_qs, L, 30}, {u"D"_qs, L, 20}}},
      {u"A,-5;B,abc"_qs, {{u"A"_qs, L, 1}, {u"B"_qs, L, 1}}},
      {u"A,10;B;C,10"_qs, {{u"A"_qs, L, 10}}},  // reading stops at an entry without a comma
      {QString(), {}},
      {u";"_qs, {}},
  };
  for (const auto& [spec, columns] : cases) EXPECT_EQ(ParseColumnSpec(spec), columns) << spec.toStdString();
}

TEST(ListSortKey, NumbersDatesAndTheirComparison) {
  for (auto text : {u"-5", u"3.25", u"0", u"+", u"1+2", u".5", u"5."}) EXPECT_TRUE(IsListNumber(text));
  for (auto text : {u"", u"-", u"1.2.3", u"12a", u"5-", u" 5", u"2009/03/15"}) EXPECT_FALSE(IsListNumber(text));
  qint64 key = 0;
  for (auto text : {u"2009/03/15", u"07:45", u"7:45", u"23:59:59", u"2009-03-15", u"2009/3/5 07:45"})
    EXPECT_TRUE(ParseListDateTime(text, &key));
  for (auto text : {u"hello", u"", u"2009/02/30", u"24:00", u"07:5", u"09/03/15", u"2009/03/15x", u"12:30 pm"})
    EXPECT_FALSE(ParseListDateTime(text, &key));
  // The kind of comparison is decided by the first text.
  const std::tuple<const char16_t*, const char16_t*, bool, int> cases[] = {  // a, b, ascending, sign
      {u"9.75", u"10.25", true, -1},       {u"9.75", u"10.25", false, 1},    // numbers, not text
      {u"1.0", u"1", true, 0},             {u"5", u"abc", true, 1},          // no number reads as 0
      {u"abc", u"5", true, 1},             {u"07:45", u"13:05", true, -1},   // a text first: text
      {u"2008/12/31", u"2009/03/15", true, -1},
      {u"2009/3/15", u"2009/03/14", true, 1},  // both dates: by date, not by text
      {u"2009/03/15", u"zzz", true, -1},       // the other no date: text
      {u"", u"-1", true, -1},              {u"-1", u"", true, 1},            // empty first
      {u"B", u"a", true, -1},              {u"  x ", u"x", true, 0},         // byte-wise; blanks around do not count
  };
  for (const auto& [a, b, ascending, sign] : cases) {
    const int result = CompareListKeys(ListSortKey::FromText(QString::fromUtf16(a)),
                                       ListSortKey::FromText(QString::fromUtf16(b)), ascending);
    EXPECT_EQ((result > 0) - (result < 0), sign) << QString::fromUtf16(a).toStdString();
  }
}

TEST(SortableList, SortsByNumberDateTimeAndText) {
  const std::tuple<QStringList, bool, const char*> cases[] = {
      {{u"10.25"_qs, u"-1.5"_qs, u"9.75"_qs}, false, "10.25 9.75 -1.5"},
      {{u"2009/03/15"_qs, u"2008/12/31"_qs, QString()}, true, " 2008/12/31 2009/03/15"},
      {{u"13:05"_qs, u"07:45"_qs, u"9:00"_qs}, true, "07:45 9:00 13:05"},
  };  // how each kind compares is the sort key's
  for (const auto& [texts, ascending, sorted] : cases) {
    CSortableListCtrl list;
    Fill(list, texts);
    list.SortByColumn(0, ascending);
    EXPECT_EQ(Column(list), QString::fromLatin1(sorted));
  }
  // Empty cells come first ascending; a column of every kind ends sorting with every row kept.
  CSortableListCtrl list;
  QStringList texts{u"5"_qs, QString(), u"-3"_qs, u"  "_qs, u"abc"_qs};
  for (int i = 0; i < 500; ++i)
    texts.append(i % 3 == 0 ? QString::number(i * 7 % 13) : i % 3 == 1 ? u"2009/03/%1"_qs.arg(i % 28 + 1)
                                                                        : u"word%1"_qs.arg(i % 17));
  Fill(list, texts);
  list.SortByColumn(0, true);
  EXPECT_TRUE(list.GetItemText(0, 0).trimmed().isEmpty() && list.GetItemText(1, 0).trimmed().isEmpty());
  QStringList sorted = Texts(list);
  sorted.sort();
  texts.sort();
  EXPECT_EQ(sorted, texts);
}

TEST(SortableList, HeaderClickTogglesTheDirectionAndRowsKeepTheirState) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  for (int i = 0; i < 5; ++i) list.InsertItem(i, {QString::number(i), QString(QChar(u'e' - i))}, 100 + i);
  list.SetCheck(1, true);
  list.SelectItem(3);
  CSortArrowHeader* header = list.SortHeader();
  EXPECT_EQ(header->SortColumn(), -1);
  const std::tuple<int, bool, const char*> clicks[] = {{0, true, "0 1 2 3 4"}, {0, false, "4 3 2 1 0"},
                                                       {0, true, "0 1 2 3 4"}, {0, false, "4 3 2 1 0"},
                                                       {1, true, "4 3 2 1 0"}};  // another column: ascending
  for (const auto& [column, ascending, sorted] : clicks) {
    emit header->sectionClicked(column);
    EXPECT_EQ(header->SortColumn(), column);
    EXPECT_EQ(header->IsSortAscending(), ascending);
    EXPECT_EQ(Column(list), QString::fromLatin1(sorted));
  }
  list.SortByColumn(7, true);  // no such column: ignored
  EXPECT_EQ(header->SortColumn(), 1);
  EXPECT_TRUE(list.GetCheck(3));
  EXPECT_EQ(list.GetCheckedCount(), 1);
  EXPECT_EQ(list.GetItemData(3), 101u);
  EXPECT_TRUE(list.IsItemSelected(1));
  EXPECT_EQ(list.GetSelectedCount(), 1);
}

TEST(SortableList, HeaderDrawsTheArrowOfTheSortColumn) {
  const QRect item(0, 0, 90, 20);  // d = 5
  const auto ascending = CSortArrowHeader::SortArrow(item, true);
  EXPECT_EQ(ascending.highlight, (QList<QLine>{QLine(80, 5, 85, 14), QLine(85, 14, 73, 14)}));
  EXPECT_EQ(ascending.shadow, (QList<QLine>{QLine(74, 14, 80, 4)}));
  const auto descending = CSortArrowHeader::SortArrow(item, false);
  EXPECT_EQ(descending.highlight, (QList<QLine>{QLine(84, 5, 79, 15)}));
  EXPECT_EQ(descending.shadow, (QList<QLine>{QLine(78, 15, 74, 5), QLine(74, 5, 84, 5)}));
  // The text leaves room for the arrow.
  EXPECT_EQ(CSortArrowHeader::TextRect(item, true, false), QRect(QPoint(5, 0), QPoint(89 - 15 - 5, 19)));
  EXPECT_EQ(CSortArrowHeader::TextRect(item, false, true), QRect(QPoint(6, 2), QPoint(90 - 5, 21)));

  CSortableListCtrl list;
  list.resize(300, 200);
  ASSERT_TRUE(list.SetColumns(u"A, 90; B, 90;"_qs));
  list.InsertItem(0, {u"1"_qs, u"2"_qs});
  CSortArrowHeader* header = list.SortHeader();
  const auto render = [header] {
    QImage image(header->size(), QImage::Format_RGB32);
    header->render(&image);
    return image;
  };
  list.show();
  const QImage unsorted = render();
  list.SortByColumn(1, true);
  const QImage up = render();
  list.SortByColumn(1, false);
  EXPECT_NE(unsorted, up);
  EXPECT_NE(up, render());
  // The arrow is drawn at the right of column 1's item.
  const int right = header->sectionViewportPosition(1) + header->sectionSize(1);
  const int d = header->height() / 4;
  bool arrowPixel = false;
  for (int x = right - 3 * d - 2; x <= right - d; ++x)
    for (int y = d; y < header->height() - d; ++y)
      arrowPixel |= up.pixelColor(x, y) != header->palette().color(QPalette::Button);
  EXPECT_TRUE(arrowPixel);
}

TEST(SortableList, ColumnsRowsAndTexts) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"No, 40; Date, 90; Time, 90;"_qs));
  EXPECT_EQ(list.GetColumnCount(), 3);
  // With its check box, the row number "100" still fits its column at the style's metrics.
  list.SetCheckboxes(true);
  QStyleOptionViewItem cell;
  cell.initFrom(&list);
  cell.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator;
  cell.text = u"100"_qs;
  EXPECT_GE(list.columnWidth(0), list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, {}, &list).width());
  EXPECT_EQ(list.columnWidth(1), 90);
  list.SetCheckboxes(false);
  EXPECT_EQ(list.columnWidth(0), 40);
  EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), u" Time"_qs);
  EXPECT_EQ(list.InsertItem(0, {u"1"_qs, u"2009/03/15"_qs}), 0);
  EXPECT_EQ(list.GetItemText(0, 1), u"2009/03/15"_qs);
  EXPECT_EQ(list.GetItemText(0, 2), QString());  // a missing text gives an empty cell
  for (int outside : {5, -1}) EXPECT_EQ(list.InsertItem(outside, {u"x"_qs}), -1);
  EXPECT_EQ(list.InsertItem(0, {u"0"_qs}), 0);
  EXPECT_EQ(list.AppendItems({{u"a"_qs}, {u"b"_qs}}), 2);
  EXPECT_EQ(Column(list), u"0 1 a b"_qs);

  EXPECT_TRUE(list.SetItemText(0, 0, 4000000000LL));
  EXPECT_EQ(list.GetItemText(0, 0), u"4000000000"_qs);
  EXPECT_TRUE(list.SetItemText(0, 0, 2.5, 3));
  for (const bool refused : {list.SetItemText(0, 0, 2.5, -1), list.SetItemText(4, 0, u"x"_qs),
                             list.SetItemText(0, 3, u"x"_qs), list.SetItemData(4, 1)})
    EXPECT_FALSE(refused);
  EXPECT_EQ(list.GetItemText(0, 0), u"2.500"_qs);
  EXPECT_TRUE(list.SetItemData(0, 77));
  EXPECT_EQ(list.GetItemData(0), 77u);

  ASSERT_TRUE(list.SetColumns(u"Centre,1,80;"_qs));
  EXPECT_EQ(list.model()->headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  EXPECT_TRUE(list.DeleteAllColumns());
  EXPECT_EQ(list.GetColumnCount(), 0);
}

TEST(SortableList, DeletingTickedRows) {
  for (const QList<int>& tickOrder : {QList<int>{1, 3, 4}, QList<int>{4, 1, 3}}) {
    CSortableListCtrl list;
    Fill(list, {u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs, u"6"_qs});
    list.SetCheckboxes(true);
    for (int row : tickOrder) list.SetCheck(row, true);
    list.SelectItem(0);
    EXPECT_EQ(list.DeleteAllChecked(AllowAll), 3);
    EXPECT_EQ(Column(list), u"1 3 6"_qs);
    EXPECT_TRUE(list.IsItemSelected(0));
    EXPECT_EQ(list.DeleteAllChecked(AllowAll), 0);
  }
  // A refused row stops the loop.
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs});
  for (int row = 0; row < 4; ++row) list.SetItemData(row, row);
  list.CheckAll();
  EXPECT_EQ(list.DeleteAllChecked(RefuseValue, 2), 2);
  EXPECT_EQ(Column(list), u"c d"_qs);
  EXPECT_FALSE(list.DeleteItem(0, false, RefuseValue, 2));
  EXPECT_EQ(list.DeleteAllItems(RefuseValue, 2), 0);
  EXPECT_EQ(list.DeleteAllItems(), 2);
}

TEST(SortableList, SelectionAndCheckBoxes) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs});
  list.SelectItem(1);
  list.SelectItem(3);
  EXPECT_EQ((std::array{list.GetNextSelected(-1), list.GetNextSelected(1), list.GetNextSelected(3),
                        list.GetNextUnselected(-1)}),
            (std::array{1, 3, -1, 0}));
  EXPECT_EQ(list.DeleteAllUnselected(), 3);
  EXPECT_EQ(Column(list), u"b d"_qs);
  list.InvertSelection();
  EXPECT_EQ(list.GetSelectedCount(), 0);
  list.InvertSelection();
  EXPECT_EQ(list.DeleteAllSelected(), 2);
  Append(list, {u"a"_qs, u"b"_qs, u"c"_qs});
  EXPECT_FALSE(list.DeleteItem(3));
  EXPECT_TRUE(list.DeleteItem(2, true));
  EXPECT_TRUE(list.IsItemSelected(1));  // clamped into the list
  EXPECT_TRUE(list.DeleteItem(0, true));
  EXPECT_EQ(Column(list), u"b"_qs);
  EXPECT_TRUE(list.IsItemSelected(0));
  EXPECT_FALSE(list.SelectItem(5));
  EXPECT_TRUE(list.SelectItem(5, true));

  Append(list, {u"c"_qs, u"d"_qs});
  list.SetCheckboxes(true);
  EXPECT_EQ(list.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_TRUE(list.model()->setData(list.model()->index(1, 0), Qt::Checked, Qt::CheckStateRole));  // a user's tick
  EXPECT_TRUE(list.GetCheck(1));
  list.InvertChecks();
  EXPECT_EQ((std::array{list.GetCheckedCount(), list.GetNextUnchecked(-1), list.GetNextChecked(0)}),
            (std::array{2, 1, 2}));
  list.UncheckAll();
  EXPECT_EQ(list.GetUncheckedCount(), 3);
  EXPECT_FALSE(list.SetCheck(3, true));
  list.SetCheckboxes(false);
  EXPECT_FALSE(list.model()->index(0, 0).data(Qt::CheckStateRole).isValid());
}

TEST(SortableList, SwappingAndMovingRows) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  list.InsertItem(0, {u"a0"_qs, u"a1"_qs}, 1);
  list.InsertItem(1, {u"b0"_qs, u"b1"_qs}, 2);
  list.SetCheck(0, true);
  list.SelectItem(0);
  ASSERT_TRUE(list.SwapItems(0, 1));
  EXPECT_EQ(Column(list, 1), u"b1 a1"_qs);
  EXPECT_EQ(Column(list, 0), u"b0 a0"_qs);
  EXPECT_TRUE(list.GetCheck(1) && !list.GetCheck(0));
  EXPECT_TRUE(list.IsItemSelected(1) && !list.IsItemSelected(0));
  EXPECT_EQ(list.GetItemData(1), 1u);
  EXPECT_FALSE(list.SwapItems(0, 2));

  CSortableListCtrl moved;
  Fill(moved, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs});
  const std::tuple<std::function<bool()>, bool, const char*> steps[] = {
               {[&] { return moved.MoveToTop(2); }, true, "c a b d"},
               {[&] { return moved.MoveToBottom(0); }, true, "a b d c"},
               {[&] { return moved.MoveDown(0, 2); }, true, "b d a c"},
               {[&] { return moved.MoveUp(2, -1); }, true, "b d c a"},  // up by a negative count moves down
               {[&] { return moved.MoveUp(1, 3); }, false, "d b c a"},  // stops at the top
               {[&] { return moved.MoveToTop(9); }, false, "d b c a"}};
  for (const auto& [move, result, order] : steps) {
    EXPECT_EQ(move(), result) << order;
    EXPECT_EQ(Column(moved), QString::fromLatin1(order));
  }
}
