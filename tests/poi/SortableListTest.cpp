#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QPainter>

#include "poi/CSortArrowHeader.h"
#include "poi/CSortableListCtrl.h"
#include "poi/ColumnSpec.h"
#include "poi/ListSortKey.h"

namespace {

const QString kPoiSpec = QStringLiteral("No, 40; Date, 90; Time, 90; Lat, 90; Long, 90; Head, 90;");

QStringList Column(const CSortableListCtrl& list, int column) {
  QStringList texts;
  for (int row = 0; row < list.GetItemCount(); ++row) texts.append(list.GetItemText(row, column));
  return texts;
}

// A list of one column holding the texts, in order.
void Fill(CSortableListCtrl& list, const QStringList& texts) {
  list.SetColumns(QStringLiteral("Value, 90;"));
  for (const QString& text : texts) list.InsertItem(list.GetItemCount(), {text});
}

int Compare(const char* a, const char* b, bool ascending = true) {
  return CompareListKeys(ListSortKey::FromText(QString::fromUtf8(a)), ListSortKey::FromText(QString::fromUtf8(b)),
                         ascending);
}

bool AllowAll(quint32, quintptr) { return true; }
bool RefuseValue(quint32 value, quintptr param) { return value != param; }

}  // namespace

// ---- column description ----

TEST(ColumnSpec, PoiDescriptionGivesSixLeftColumns) {
  const QList<ColumnSpecEntry> columns = ParseColumnSpec(kPoiSpec);
  ASSERT_EQ(columns.size(), 6);
  EXPECT_EQ(columns[0], (ColumnSpecEntry{u"No"_qs, ColumnAlign::Left, 40}));
  EXPECT_EQ(columns[1], (ColumnSpecEntry{u" Date"_qs, ColumnAlign::Left, 90}));  // blanks are kept
  for (int i = 1; i < 6; ++i) EXPECT_EQ(columns[i].width, 90);
}

TEST(ColumnSpec, AlignmentCodesWidthsAndEnd) {
  EXPECT_EQ(ParseColumnSpec(u"A,0"_qs), (QList<ColumnSpecEntry>{{u"A"_qs, ColumnAlign::Left, 1}}));
  EXPECT_EQ(ParseColumnSpec(u"A,1,80;B,2,50;C,7,30;D,x,20"_qs),
            (QList<ColumnSpecEntry>{{u"A"_qs, ColumnAlign::Center, 80},
                                    {u"B"_qs, ColumnAlign::Right, 50},
                                    {u"C"_qs, ColumnAlign::Left, 30},
                                    {u"D"_qs, ColumnAlign::Left, 20}}));
  EXPECT_EQ(ParseColumnSpec(u"A,-5;B,abc"_qs).size(), 2);
  EXPECT_EQ(ParseColumnSpec(u"A,-5;B,abc"_qs)[1].width, 1);
  // Reading stops at the first entry without a comma.
  EXPECT_EQ(ParseColumnSpec(u"A,10;B;C,10"_qs).size(), 1);
  EXPECT_TRUE(ParseColumnSpec(QString()).isEmpty());
  EXPECT_TRUE(ParseColumnSpec(u";"_qs).isEmpty());
}

TEST(SortableList, SetColumnsCreatesTheColumns) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(kPoiSpec));
  EXPECT_EQ(list.GetColumnCount(), 6);
  EXPECT_EQ(list.horizontalHeader()->sectionSize(0), 40);
  EXPECT_EQ(list.horizontalHeader()->sectionSize(5), 90);
  EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), u" Time"_qs);
  ASSERT_TRUE(list.SetColumns(u"Centre,1,80;"_qs));
  EXPECT_EQ(list.model()->headerData(6, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  EXPECT_TRUE(list.DeleteAllColumns());
  EXPECT_EQ(list.GetColumnCount(), 0);
}

// ---- comparison ----

TEST(ListSortKey, NumberTest) {
  for (auto text : {u"-5", u"3.25", u"0", u"+", u"1+2", u".5", u"5."}) EXPECT_TRUE(IsListNumber(text));
  for (auto text : {u"", u"-", u"1.2.3", u"12a", u"5-", u" 5", u"2009/03/15"}) EXPECT_FALSE(IsListNumber(text));
}

TEST(ListSortKey, DateTest) {
  qint64 key = 0;
  for (auto text : {u"2009/03/15", u"07:45", u"7:45", u"23:59:59", u"2009-03-15", u"2009/3/5 07:45"})
    EXPECT_TRUE(ParseListDateTime(text, &key));
  for (auto text : {u"hello", u"", u"2009/02/30", u"24:00", u"07:5", u"09/03/15", u"2009/03/15x", u"12:30 pm"})
    EXPECT_FALSE(ParseListDateTime(text, &key));
  qint64 earlier = 0, later = 0;
  ASSERT_TRUE(ParseListDateTime(u"2008/12/31", &earlier));
  ASSERT_TRUE(ParseListDateTime(u"2009/03/15", &later));
  EXPECT_LT(earlier, later);
}

TEST(ListSortKey, KindIsDecidedByTheFirstText) {
  EXPECT_LT(Compare("9.75", "10.25"), 0);       // numbers, not text
  EXPECT_GT(Compare("9.75", "10.25", false), 0);
  EXPECT_EQ(Compare("1.0", "1"), 0);
  EXPECT_GT(Compare("5", "abc"), 0);            // a text that is no number reads as 0
  EXPECT_GT(Compare("abc", "5"), 0);            // a text first: compared as text
  EXPECT_LT(Compare("07:45", "13:05"), 0);
  EXPECT_LT(Compare("2008/12/31", "2009/03/15"), 0);
  EXPECT_GT(Compare("2009/3/15", "2009/03/14"), 0);  // both dates: by date, not by text
  EXPECT_LT(Compare("2009/03/15", "zzz"), 0);        // the other no date: text
  EXPECT_LT(Compare("", "-1"), 0);                   // empty first
  EXPECT_GT(Compare("-1", ""), 0);
  EXPECT_LT(Compare("B", "a"), 0);                   // byte-wise, case-sensitive
  EXPECT_EQ(Compare("  x ", "x"), 0);                // blanks around do not count
}

// ---- sorting the list ----

TEST(SortableList, NumericSortBothWays) {
  CSortableListCtrl list;
  Fill(list, {u"10.25"_qs, u"-1.5"_qs, u"9.75"_qs});
  list.SortByColumn(0, true);
  EXPECT_EQ(Column(list, 0), (QStringList{u"-1.5"_qs, u"9.75"_qs, u"10.25"_qs}));
  list.SortByColumn(0, false);
  EXPECT_EQ(Column(list, 0), (QStringList{u"10.25"_qs, u"9.75"_qs, u"-1.5"_qs}));
}

TEST(SortableList, DateTimeAndTextSorts) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"Date, 90; Time, 90; Name, 90;"_qs));
  list.InsertItem(0, {u"2009/03/15"_qs, u"13:05"_qs, u"b"_qs});
  list.InsertItem(1, {u"2008/12/31"_qs, u"07:45"_qs, u"B"_qs});
  list.InsertItem(2, {QString(), u"9:00"_qs, u"a"_qs});
  list.SortByColumn(0, true);
  EXPECT_EQ(Column(list, 0), (QStringList{QString(), u"2008/12/31"_qs, u"2009/03/15"_qs}));
  list.SortByColumn(1, true);
  EXPECT_EQ(Column(list, 1), (QStringList{u"07:45"_qs, u"9:00"_qs, u"13:05"_qs}));
  list.SortByColumn(2, true);
  EXPECT_EQ(Column(list, 2), (QStringList{u"B"_qs, u"a"_qs, u"b"_qs}));
  list.SortByColumn(2, false);
  EXPECT_EQ(Column(list, 2), (QStringList{u"b"_qs, u"a"_qs, u"B"_qs}));
  list.SortByColumn(7, true);  // no such column: ignored
  EXPECT_EQ(list.SortHeader()->SortColumn(), 2);
}

TEST(SortableList, EmptyCellsComeFirstAscending) {
  CSortableListCtrl list;
  Fill(list, {u"5"_qs, QString(), u"-3"_qs, u"  "_qs, u"abc"_qs});
  list.SortByColumn(0, true);
  const QStringList sorted = Column(list, 0);
  EXPECT_TRUE(sorted[0].trimmed().isEmpty());
  EXPECT_TRUE(sorted[1].trimmed().isEmpty());
}

TEST(SortableList, MixedColumnSortEndsAndKeepsEveryRow) {
  // Texts of every kind in one column: the order is whatever the comparison gives, but the
  // sort ends and no row is lost or doubled.
  CSortableListCtrl list;
  QStringList texts;
  for (int i = 0; i < 500; ++i)
    texts.append(i % 4 == 0 ? QString::number(i * 7 % 13) : i % 4 == 1 ? u"2009/03/%1"_qs.arg(i % 28 + 1)
                                                         : i % 4 == 2 ? u"word%1"_qs.arg(i % 17)
                                                                      : QString());
  Fill(list, texts);
  list.SortByColumn(0, true);
  QStringList sorted = Column(list, 0);
  sorted.sort();
  texts.sort();
  EXPECT_EQ(sorted, texts);
}

TEST(SortableList, HeaderClickTogglesTheDirection) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.InsertItem(0, {u"1"_qs, u"y"_qs});
  list.InsertItem(1, {u"2"_qs, u"x"_qs});
  CSortArrowHeader* header = list.SortHeader();
  EXPECT_EQ(header->SortColumn(), -1);
  emit header->sectionClicked(0);
  EXPECT_TRUE(header->IsSortAscending());
  EXPECT_EQ(Column(list, 0), (QStringList{u"1"_qs, u"2"_qs}));
  emit header->sectionClicked(0);
  EXPECT_FALSE(header->IsSortAscending());
  EXPECT_EQ(Column(list, 0), (QStringList{u"2"_qs, u"1"_qs}));
  emit header->sectionClicked(0);
  EXPECT_TRUE(header->IsSortAscending());
  emit header->sectionClicked(0);
  emit header->sectionClicked(1);  // another column: ascending
  EXPECT_EQ(header->SortColumn(), 1);
  EXPECT_TRUE(header->IsSortAscending());
  EXPECT_EQ(Column(list, 1), (QStringList{u"x"_qs, u"y"_qs}));
}

TEST(SortableList, RowsKeepTicksValuesAndSelectionWhenSorted) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"N, 50;"_qs));
  list.SetCheckboxes(true);
  for (int i = 0; i < 5; ++i) list.InsertItem(i, {QString::number(i)}, 100 + i);
  list.SetCheck(1, true);
  list.SelectItem(3);
  list.SortByColumn(0, false);
  EXPECT_EQ(Column(list, 0), (QStringList{u"4"_qs, u"3"_qs, u"2"_qs, u"1"_qs, u"0"_qs}));
  EXPECT_TRUE(list.GetCheck(3));
  EXPECT_EQ(list.GetCheckedCount(), 1);
  EXPECT_EQ(list.GetItemData(3), 101u);
  EXPECT_TRUE(list.IsItemSelected(1));
  EXPECT_EQ(list.GetSelectedCount(), 1);
}

TEST(SortableList, ArrowPointsUpAscendingAndDownDescending) {
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
}

TEST(SortableList, HeaderDrawsTheArrowOfTheSortColumn) {
  CSortableListCtrl list;
  list.resize(300, 200);
  ASSERT_TRUE(list.SetColumns(u"A, 90; B, 90;"_qs));
  list.InsertItem(0, {u"1"_qs, u"2"_qs});
  const auto render = [&list] {
    QImage image(list.SortHeader()->size(), QImage::Format_RGB32);
    list.SortHeader()->render(&image);
    return image;
  };
  list.show();
  const QImage unsorted = render();
  list.SortByColumn(1, true);
  const QImage ascending = render();
  list.SortByColumn(1, false);
  const QImage descending = render();
  EXPECT_NE(unsorted, ascending);
  EXPECT_NE(ascending, descending);
  // The arrow is drawn at the right of column 1's item.
  const int right = list.SortHeader()->sectionViewportPosition(1) + list.SortHeader()->sectionSize(1);
  const int d = list.SortHeader()->height() / 4;
  bool arrowPixel = false;
  for (int x = right - 3 * d - 2; x <= right - d; ++x)
    for (int y = d; y < list.SortHeader()->height() - d; ++y)
      arrowPixel |= ascending.pixelColor(x, y) != list.SortHeader()->palette().color(QPalette::Button);
  EXPECT_TRUE(arrowPixel);
}

// ---- rows ----

TEST(SortableList, InsertFillsMissingTextsAndRefusesBadPositions) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(kPoiSpec));
  EXPECT_EQ(list.InsertItem(0, {u"1"_qs, u"2009/03/15"_qs}), 0);
  EXPECT_EQ(list.GetItemText(0, 1), u"2009/03/15"_qs);
  EXPECT_EQ(list.GetItemText(0, 5), QString());
  EXPECT_EQ(list.InsertItem(5, {u"x"_qs}), -1);
  EXPECT_EQ(list.InsertItem(-1, {u"x"_qs}), -1);
  EXPECT_EQ(list.InsertItem(0, {u"0"_qs}), 0);
  EXPECT_EQ(Column(list, 0), (QStringList{u"0"_qs, u"1"_qs}));
  EXPECT_EQ(list.AppendItems({{u"a"_qs}, {u"b"_qs}}), 2);
  EXPECT_EQ(list.GetItemCount(), 4);
}

TEST(SortableList, TextSettersKeepTheStoredTexts) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs});
  EXPECT_TRUE(list.SetItemText(0, 0, u"b"_qs));
  EXPECT_EQ(list.model()->index(0, 0).data().toString(), u"b"_qs);
  EXPECT_TRUE(list.SetItemText(0, 0, 4000000000LL));
  EXPECT_EQ(list.GetItemText(0, 0), u"4000000000"_qs);
  EXPECT_TRUE(list.SetItemText(0, 0, 2.5, 3));
  EXPECT_EQ(list.GetItemText(0, 0), u"2.500"_qs);
  EXPECT_FALSE(list.SetItemText(0, 0, 2.5, -1));
  EXPECT_EQ(list.GetItemText(0, 0), u"2.500"_qs);
  EXPECT_FALSE(list.SetItemText(1, 0, u"x"_qs));
  EXPECT_FALSE(list.SetItemText(0, 1, u"x"_qs));
  EXPECT_TRUE(list.SetItemData(0, 77));
  EXPECT_EQ(list.GetItemData(0), 77u);
  EXPECT_FALSE(list.SetItemData(3, 1));
}

TEST(SortableList, DeletingTickedRows) {
  for (const QList<int>& tickOrder : {QList<int>{1, 3, 4}, QList<int>{4, 1, 3}}) {
    CSortableListCtrl list;
    ASSERT_TRUE(list.SetColumns(u"N, 50;"_qs));
    list.SetCheckboxes(true);
    for (int i = 0; i < 6; ++i) list.InsertItem(i, {QString::number(i + 1)});
    for (int row : tickOrder) list.SetCheck(row, true);
    list.SelectItem(0);
    EXPECT_EQ(list.DeleteAllChecked(AllowAll), 3);
    EXPECT_EQ(Column(list, 0), (QStringList{u"1"_qs, u"3"_qs, u"6"_qs}));
    EXPECT_TRUE(list.IsItemSelected(0));
    EXPECT_EQ(list.DeleteAllChecked(AllowAll), 0);
  }
}

TEST(SortableList, RefusedDeleteStopsTheLoop) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs});
  for (int row = 0; row < 4; ++row) list.SetItemData(row, row);
  list.CheckAll();
  EXPECT_EQ(list.DeleteAllChecked(RefuseValue, 2), 2);
  EXPECT_EQ(Column(list, 0), (QStringList{u"c"_qs, u"d"_qs}));
  EXPECT_FALSE(list.DeleteItem(0, false, RefuseValue, 2));
  EXPECT_EQ(list.DeleteAllItems(RefuseValue, 2), 0);
  EXPECT_EQ(list.DeleteAllItems(), 2);
}

TEST(SortableList, DeletingBySelection) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs});
  list.SelectItem(1);
  list.SelectItem(3);
  EXPECT_EQ(list.GetNextSelected(-1), 1);
  EXPECT_EQ(list.GetNextSelected(1), 3);
  EXPECT_EQ(list.GetNextSelected(3), -1);
  EXPECT_EQ(list.GetNextUnselected(-1), 0);
  EXPECT_EQ(list.DeleteAllUnselected(), 3);
  EXPECT_EQ(Column(list, 0), (QStringList{u"b"_qs, u"d"_qs}));
  list.InvertSelection();
  EXPECT_EQ(list.GetSelectedCount(), 0);
  list.InvertSelection();
  EXPECT_EQ(list.DeleteAllSelected(), 2);
  EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(SortableList, DeleteOneRowAndSelectTheNext) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs});
  EXPECT_FALSE(list.DeleteItem(3));
  EXPECT_TRUE(list.DeleteItem(2, true));
  EXPECT_TRUE(list.IsItemSelected(1));  // clamped into the list
  EXPECT_TRUE(list.DeleteItem(0, true));
  EXPECT_EQ(Column(list, 0), QStringList{u"b"_qs});
  EXPECT_TRUE(list.IsItemSelected(0));
  EXPECT_FALSE(list.SelectItem(5));
  EXPECT_TRUE(list.SelectItem(5, true));
}

TEST(SortableList, CheckBoxOperations) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs});
  list.SetCheckboxes(true);
  EXPECT_EQ(list.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_TRUE(list.model()->setData(list.model()->index(1, 0), Qt::Checked, Qt::CheckStateRole));  // a user's tick
  EXPECT_TRUE(list.GetCheck(1));
  list.InvertChecks();
  EXPECT_EQ(list.GetCheckedCount(), 2);
  EXPECT_EQ(list.GetNextUnchecked(-1), 1);
  EXPECT_EQ(list.GetNextChecked(0), 2);
  list.UncheckAll();
  EXPECT_EQ(list.GetUncheckedCount(), 3);
  EXPECT_FALSE(list.SetCheck(3, true));
  list.SetCheckboxes(false);
  EXPECT_FALSE(list.model()->index(0, 0).data(Qt::CheckStateRole).isValid());
}

TEST(SortableList, SwapMovesTickAndSelectionWithTheTexts) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  list.InsertItem(0, {u"a0"_qs, u"a1"_qs}, 1);
  list.InsertItem(1, {u"b0"_qs, u"b1"_qs}, 2);
  list.SetCheck(0, true);
  list.SelectItem(0);
  ASSERT_TRUE(list.SwapItems(0, 1));
  EXPECT_EQ(list.GetItemText(1, 1), u"a1"_qs);
  EXPECT_EQ(list.GetItemText(0, 0), u"b0"_qs);
  EXPECT_TRUE(list.GetCheck(1));
  EXPECT_FALSE(list.GetCheck(0));
  EXPECT_TRUE(list.IsItemSelected(1));
  EXPECT_FALSE(list.IsItemSelected(0));
  EXPECT_EQ(list.GetItemData(1), 1u);
  EXPECT_FALSE(list.SwapItems(0, 2));
}

TEST(SortableList, MovingRows) {
  CSortableListCtrl list;
  Fill(list, {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs});
  EXPECT_TRUE(list.MoveToTop(2));
  EXPECT_EQ(Column(list, 0), (QStringList{u"c"_qs, u"a"_qs, u"b"_qs, u"d"_qs}));
  EXPECT_TRUE(list.MoveToBottom(0));
  EXPECT_EQ(Column(list, 0), (QStringList{u"a"_qs, u"b"_qs, u"d"_qs, u"c"_qs}));
  EXPECT_TRUE(list.MoveDown(0, 2));
  EXPECT_EQ(Column(list, 0), (QStringList{u"b"_qs, u"d"_qs, u"a"_qs, u"c"_qs}));
  EXPECT_TRUE(list.MoveUp(2, -1));  // up by a negative count moves down
  EXPECT_EQ(Column(list, 0), (QStringList{u"b"_qs, u"d"_qs, u"c"_qs, u"a"_qs}));
  EXPECT_FALSE(list.MoveUp(1, 3));  // stops at the top
  EXPECT_EQ(Column(list, 0), (QStringList{u"d"_qs, u"b"_qs, u"c"_qs, u"a"_qs}));
  EXPECT_FALSE(list.MoveToTop(9));
}
