#include <gtest/gtest.h>

#include <QImage>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <functional>
#include <tuple>

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
    EXPECT_EQ(State(list), QString::fromLatin1(sorted));
  }
  // Empty cells come first ascending; a column of every kind ends sorting with every row kept.
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
TEST(SortableList, HeaderClickTogglesTheDirectionAndRowsKeepTheirState) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  for (int i = 0; i < 5; ++i) list.InsertItem(i, {QString::number(i), QString(QChar(u'e' - i))}, 100 + i);
  list.SetCheck(1, true);
  list.SelectItem(3);
  CSortArrowHeader* header = list.SortHeader();
  EXPECT_EQ(header->SortColumn(), -1);
  const std::tuple<int, bool, const char*> clicks[] = {
      {0, true, "0e 1d+ 2c 3b* 4a"}, {0, false, "4a 3b* 2c 1d+ 0e"}, {0, true, "0e 1d+ 2c 3b* 4a"},
      {0, false, "4a 3b* 2c 1d+ 0e"}, {1, true, "4a 3b* 2c 1d+ 0e"}};  // another column: ascending
  for (const auto& [column, ascending, sorted] : clicks) {
    emit header->sectionClicked(column);
    EXPECT_EQ(std::pair(header->SortColumn(), header->IsSortAscending()), std::pair(column, ascending));
    EXPECT_EQ(State(list), QString::fromLatin1(sorted));
  }
  list.SortByColumn(7, true);  // no such column: ignored
  EXPECT_EQ(header->SortColumn(), 1);
  EXPECT_EQ(list.GetItemData(3), 101u);
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
  CSortArrowHeader* header = list.SortHeader();
  const auto render = [header] {
    QImage image(header->size(), QImage::Format_RGB32);
    header->render(&image);
    return image;
  };
  list.show();
  list.SortByColumn(1, true);
  const QImage up = render();
  list.SortByColumn(1, false);
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

  EXPECT_EQ(list.InsertItem(0, {u"1"_qs, u"2009/03/15"_qs}), 0);  // a missing text gives an empty cell
  for (int outside : {5, -1}) EXPECT_EQ(list.InsertItem(outside, {u"x"_qs}), -1);
  EXPECT_TRUE(list.SetItemText(0, 2, 4000000000LL));
  EXPECT_TRUE(list.SetItemText(0, 0, 2.5, 3));
  for (const bool refused : {list.SetItemText(0, 0, 2.5, -1), list.SetItemText(4, 0, u"x"_qs),
                             list.SetItemText(0, 3, u"x"_qs), list.SetItemData(4, 1)})
    EXPECT_FALSE(refused);
  EXPECT_EQ(State(list), u"2.5002009/03/154000000000"_qs);
  EXPECT_TRUE(list.SetItemData(0, 77));
  EXPECT_EQ(list.GetItemData(0), 77u);

  ASSERT_TRUE(list.SetColumns(u"Centre,1,80;"_qs));
  EXPECT_EQ(list.model()->headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignHorizontal_Mask,
            Qt::AlignHCenter);
  EXPECT_TRUE(list.DeleteAllColumns());
  EXPECT_EQ(list.GetColumnCount(), 0);
  list.SetCheckboxes(true);  // check boxes before the columns
  ASSERT_TRUE(list.SetColumns(u"No, 40;"_qs));
  EXPECT_GE(list.columnWidth(0), needed.width());
}

// One list through the operations by row state, one after the other: texts, selection, ticks
// and user values travel together.
TEST(SortableList, OperationsByRowState) {
  CSortableListCtrl list;
  ASSERT_TRUE(list.SetColumns(u"A, 50; B, 50;"_qs));
  list.SetCheckboxes(true);
  for (int i = 0; i < 6; ++i) list.InsertItem(i, {QString(QChar(u'a' + i)), QString::number(i)}, i);
  const auto allow = [](quint32, quintptr) { return true; };
  const auto refuseC = [](quint32 value, quintptr param) { return value != param; };  // param: c's value
  QAbstractItemModel& model = *list.model();
  const auto tick = [&](int row) {  // the tick the view shows, -1 for none
    const QVariant tick = model.index(row, 0).data(Qt::CheckStateRole);
    return tick.isValid() ? tick.toInt() : -1;
  };
  const std::tuple<std::function<int()>, int, const char*> steps[] = {
      {[&] { return list.SetCheck(4, true) + list.SetCheck(1, true) + list.SetCheck(6, true); }, 2,
       "a0 b1+ c2 d3 e4+ f5"},
      {[&] { return list.SelectItem(0) + list.SelectItem(6) + list.GetCheckedCount(); }, 3,
       "a0* b1+ c2 d3 e4+ f5"},
      {[&] { return list.DeleteAllChecked(allow); }, 2, "a0* c2 d3 f5"},
      {[&] { return list.DeleteAllChecked(allow); }, 0, "a0* c2 d3 f5"},
      {[&] { return list.SelectItem(2) + list.GetNextSelected(0) * 10 + list.GetNextUnselected(-1); }, 22,
       "a0* c2 d3* f5"},
      {[&] { return list.GetNextSelected(2); }, -1, "a0* c2 d3* f5"},
      {[&] { return list.DeleteAllUnselected(); }, 2, "a0* d3*"},
      {[&] { return list.InvertSelection(), list.GetSelectedCount(); }, 0, "a0 d3"},
      {[&] { return list.InsertItem(1, {u"c"_qs, u"2"_qs}, 2) + list.AppendItems({{u"x"_qs}}); }, 4,
       "a0 c2 d3 x"},
      {[&] { return list.SwapItems(0, 3) + list.SwapItems(0, 4); }, 1, "x c2 d3 a0"},
      // A user's tick, as the view shows it.
      {[&] { return model.setData(model.index(3, 0), Qt::Checked, Qt::CheckStateRole); }, 1, "x c2 d3 a0+"},
      {[&] { return tick(3) * 10 + tick(2); }, Qt::Checked * 10 + Qt::Unchecked, "x c2 d3 a0+"},
      {[&] { return list.SelectItem(3), list.SwapItems(3, 2); }, 1, "x c2 a0*+ d3"},
      {[&] { return list.MoveToTop(2); }, 1, "a0*+ x c2 d3"},
      {[&] { return list.MoveToBottom(0); }, 1, "x c2 d3 a0*+"},
      {[&] { return list.MoveDown(0, 2); }, 1, "c2 d3 x a0*+"},
      {[&] { return list.MoveUp(2, -1); }, 1, "c2 d3 a0*+ x"},  // up by a negative count moves down
      {[&] { return list.MoveUp(1, 3); }, 0, "d3 c2 a0*+ x"},   // stops at the top
      {[&] { return list.MoveToTop(9); }, 0, "d3 c2 a0*+ x"},
      {[&] { return list.InvertChecks(), list.GetNextUnchecked(-1) * 10 + list.GetNextChecked(0); }, 21,
       "d3+ c2+ a0* x+"},
      {[&] { return list.UncheckAll(), list.GetUncheckedCount(); }, 4, "d3 c2 a0* x"},
      // A refusal stops the deleting.
      {[&] { return list.CheckAll(), list.DeleteAllChecked(refuseC, 2); }, 1, "c2+ a0*+ x+"},
      {[&] { return list.DeleteItem(0, false, refuseC, 2) + list.DeleteAllItems(refuseC, 2); }, 0,
       "c2+ a0*+ x+"},
      // The row then at the deleted one's place is selected, clamped into the list.
      {[&] { return list.UnselectAllItems(), list.DeleteItem(2, true) + list.DeleteItem(3, true); }, 1,
       "c2+ a0*+"},
      {[&] { return list.UnselectItem(1), list.DeleteItem(0, true); }, 1, "a0*+"},
      {[&] { return list.UnselectItem(0), list.SelectItem(5) * 10 + list.SelectItem(5, true); }, 1, "a0*+"},
      {[&] { return list.InsertItem(1, {u"y"_qs}), list.SelectAllItems(), list.DeleteAllSelected(); }, 2, ""},
      {[&] { return list.AppendItems({{u"z"_qs}, {u"w"_qs}}), list.DeleteAllItems(); }, 2, ""},
      {[&] { return list.SetCheckboxes(false), list.InsertItem(0, {u"v"_qs}), tick(0); }, -1, "v"},
  };
  for (const auto& [operation, result, state] : steps) {
    EXPECT_EQ(operation(), result) << state;
    EXPECT_EQ(State(list), QString::fromLatin1(state));
  }
}
