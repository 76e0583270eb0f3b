#include <QImage>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "PoiTestSupport.h"
#include "poi/CSortArrowHeader.h"
#include "poi/CSortableListCtrl.h"
#include "poi/ListSortKey.h"

namespace {

// The rows, each as its texts (blank-separated: "" for none), with "*" when selected and "+"
// when ticked.
QString State(const CSortableListCtrl& list) {
  QStringList rows;
  for (int row = 0; row < list.GetItemCount(); ++row) {
    QStringList texts;
    for (int column = 0; column < list.GetColumnCount(); ++column) texts << list.GetItemText(row, column);
    rows << texts.join(QString()) + (list.IsItemSelected(row) ? "*" : "") + (list.GetCheck(row) ? "+" : "");
  }
  return rows.join(u' ');
}

// A list of one column holding the texts, in order.
void Fill(CSortableListCtrl& list, const QStringList& texts) {
  list.SetColumns(QStringLiteral("Value, 90;"));
  for (const QString& text : texts) list.InsertItem(list.GetItemCount(), {text});
}

}  // namespace

// The kind of comparison (number, date or text) is decided by the first text.
TEST(ListSortKey, NumbersDatesAndTextsCompareEachByItsKind) {
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

// Empty cells come first ascending; a column of every kind ends sorting with every row kept
// (how each kind compares: the sort key's test).
TEST(SortableList, SortsAColumnOfEveryKindKeepingEveryRow) {
  CSortableListCtrl list;
  QStringList texts{u"5"_qs, QString(), u"-3"_qs, u"  "_qs, u"abc"_qs};
  for (int i = 0; i < 500; ++i)
    texts.append(i % 3 == 0 ? QString::number(i * 7 % 13) : i % 3 == 1 ? u"2009/03/%1"_qs.arg(i % 28 + 1)
                                                                        : u"word%1"_qs.arg(i % 17));
  Fill(list, texts);
  list.SortByColumn(0, true);
  QStringList sorted;
  for (int row = 0; row < list.GetItemCount(); ++row) sorted << list.GetItemText(row, 0);
  EXPECT_TRUE(sorted[0].trimmed().isEmpty() && sorted[1].trimmed().isEmpty());
  sorted.sort();
  texts.sort();
  EXPECT_EQ(sorted, texts);
}
// Each click shows its own arrow (whose lines are the header's own arithmetic, not restated).
TEST(SortableList, HeaderClickTogglesTheDirectionAndRowsKeepTheirState) {
  CSortableListCtrl list;
  list.resize(300, 200);
  list.show();
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  for (int i = 0; i < 5; ++i) list.InsertItem(i, {QString::number(i), QString(QChar(u'e' - i))}, 100 + i);
  list.SetCheck(1, true);
  list.SelectItem(3);
  CSortArrowHeader* header = list.SortHeader();
  const std::tuple<int, bool, const char*> clicks[] = {
      {0, true, "0e 1d+ 2c 3b* 4a"}, {0, false, "4a 3b* 2c 1d+ 0e"}, {0, true, "0e 1d+ 2c 3b* 4a"},
      {0, false, "4a 3b* 2c 1d+ 0e"}, {1, true, "4a 3b* 2c 1d+ 0e"}};  // another column: ascending
  QImage drawn = header->grab().toImage();
  for (const auto& [column, ascending, sorted] : clicks) {
    emit header->sectionClicked(column);
    EXPECT_EQ(std::pair(header->SortColumn(), header->IsSortAscending()), std::pair(column, ascending));
    EXPECT_EQ(State(list), QString::fromLatin1(sorted));
    const QImage before = std::exchange(drawn, header->grab().toImage());
    EXPECT_NE(before, drawn) << sorted;
  }
  list.SortByColumn(7, true);  // no such column: ignored
  EXPECT_EQ(header->SortColumn(), 1);
  // A user's tick in the view is the row's check. (Ticking, selecting and deleting rows: the
  // POI page's steps.)
  QAbstractItemModel& model = *list.model();
  ASSERT_TRUE(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(State(list), u"4a+ 3b* 2c 1d+ 0e"_qs);
}

TEST(SortableList, ColumnsRowsAndTexts) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"No, 40; Date, 90; Time, 90;"_qs));
  EXPECT_EQ(list.GetColumnCount(), 3);
  EXPECT_EQ(list.model()->headerData(2, Qt::Horizontal).toString(), u" Time"_qs);
  // With its check box, the row number "100" still fits its column at the style's metrics.
  list.SetCheckboxes(true);
  QStyleOptionViewItem cell;
  cell.initFrom(&list);
  cell.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasCheckIndicator;
  cell.text = u"100"_qs;
  const QSize needed = list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, {}, &list);
  EXPECT_GE(list.columnWidth(0), needed.width());
  EXPECT_EQ(list.columnWidth(1), 90);
  list.SetCheckboxes(false);
  EXPECT_EQ(list.columnWidth(0), 40);

  EXPECT_EQ(list.AppendItems({{u"1"_qs, u"2009/03/15"_qs}}), 0);  // a missing text gives an empty cell
  EXPECT_EQ(State(list), u"12009/03/15"_qs);

  EXPECT_TRUE(list.DeleteAllColumns());
  EXPECT_EQ(list.GetColumnCount(), 0);
  list.SetCheckboxes(true);  // check boxes before the columns
  ASSERT_TRUE(list.SetColumns(u"No, 40;"_qs));
  EXPECT_GE(list.columnWidth(0), needed.width());
}
