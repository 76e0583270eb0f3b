#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "TextTestSupport.h"
#include "support/TestSupport.h"
#include "text/UiTextTable.h"

namespace {

const QString kEnglishHeader = QStringLiteral("[English version]");
const QString kFrenchHeader = QStringLiteral("[Franch version]");

// The 92 entry lines of a section, "EN_<KEY>.<lang> <index>", one per line.
QStringList EntryLines(const QString& lang, int from = 0, int to = kUiTextCount) {
  QStringList lines;
  for (int i = from; i < to; ++i)
    lines << QStringLiteral("%1_%2.%1 text %3").arg(lang, UiTextKeys()[i]).arg(i);
  return lines;
}

QString Expected(const QString& lang, int index) { return QStringLiteral("%1 text %2").arg(lang).arg(index); }

class UiTextFileTest : public TextTest::FileTest {
 protected:
  using FileTest::Write;
  QString Write(const QStringList& lines) { return Write(lines.join(QStringLiteral("\r\n")).toUtf8()); }

  UiTextTables Read(const QString& path) {
    UiTextTables tables;
    EXPECT_TRUE(ReadUITextFile(path, tables));
    return tables;
  }
};

TEST_F(UiTextFileTest, SectionsInEitherOrderFillTheSameTables) {
  const QStringList english = QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN"));
  const QStringList french = QStringList{kFrenchHeader} + EntryLines(QStringLiteral("FR"));
  const UiTextTables first = Read(Write(english + french));
  const UiTextTables second = Read(Write(french + english));
  EXPECT_EQ(first, second);
  ASSERT_EQ(first[0].size(), kUiTextCount);
  ASSERT_EQ(first[1].size(), kUiTextCount);
  EXPECT_TRUE(first[2].isEmpty());
  EXPECT_TRUE(first[3].isEmpty());
  EXPECT_EQ(UiText(first, kLanguageEnglish, MAIN_TAB_001), Expected(QStringLiteral("EN"), 3));
  EXPECT_EQ(UiText(first, kLanguageFrench, BANNER_URL_001), Expected(QStringLiteral("FR"), 91));
  EXPECT_EQ(UiText(first, kLanguageFrench, UiIndex(RESET_TAB_001, 18)), Expected(QStringLiteral("FR"), 78));
}

TEST_F(UiTextFileTest, BlankLinesAndSurroundingWhiteSpaceUseNoIndex) {
  QStringList lines = QStringList{QStringLiteral("  [English version]  ")} + EntryLines(QStringLiteral("EN"));
  lines.insert(20, QString());
  lines.insert(40, QStringLiteral(" \t "));
  lines[50] = QStringLiteral("\t  ") + lines[50] + QStringLiteral("   ");
  const UiTextTables tables = Read(Write(lines));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  for (int i = 0; i < kUiTextCount; ++i) EXPECT_EQ(tables[0][i], Expected(QStringLiteral("EN"), i)) << i;
}

TEST_F(UiTextFileTest, EntriesAreMatchedByPositionOnly) {
  QStringList lines = QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN"));
  lines[1 + MAIN_TAB_001] = QStringLiteral("EN_MAIN_TAB_001.");                // prefix alone
  lines[1 + UiIndex(MAIN_TAB_001, 2)] = QStringLiteral("EN_MAIN_TAB_003.Wrong key");  // wrong key
  lines[1 + UiIndex(MAIN_TAB_001, 3)] = QStringLiteral("FR_MAIN_TAB_003.Wrong language");
  lines[1 + UiIndex(MAIN_TAB_001, 4)] = QStringLiteral("MAIN_TAB_004.No language");
  lines[1 + UiIndex(MAIN_TAB_001, 5)] = QStringLiteral("EN_MAIN_TAB_005.a EN_MAIN_TAB_005.b");
  const UiTextTables tables = Read(Write(lines));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0][MAIN_TAB_001], QString());
  EXPECT_EQ(tables[0][UiIndex(MAIN_TAB_001, 2)], QString());
  EXPECT_EQ(tables[0][UiIndex(MAIN_TAB_001, 3)], QString());
  EXPECT_EQ(tables[0][UiIndex(MAIN_TAB_001, 4)], QString());
  EXPECT_EQ(tables[0][UiIndex(MAIN_TAB_001, 5)], QStringLiteral("a b"));  // every occurrence removed
  EXPECT_EQ(tables[0][UiIndex(MAIN_TAB_001, 6)], Expected(QStringLiteral("EN"), 8));

  // A missing line shifts every later entry off its key.
  QStringList shifted = QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN"));
  shifted.removeAt(1 + 10);
  const UiTextTables short_ = Read(Write(shifted));
  ASSERT_EQ(short_[0].size(), kUiTextCount - 1);
  EXPECT_EQ(short_[0][9], Expected(QStringLiteral("EN"), 9));
  for (int i = 10; i < kUiTextCount - 1; ++i) EXPECT_EQ(short_[0][i], QString()) << i;
  EXPECT_EQ(UiText(short_, kLanguageEnglish, BANNER_URL_001), QString());
}

TEST_F(UiTextFileTest, LinesOutsideASectionAreIgnored) {
  const QStringList lines = QStringList{QStringLiteral("V770 texts, edited 2010"), QStringLiteral("EN_LANGUAGE_001.early")} +
                            QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN")) +
                            QStringList{QStringLiteral("EN_LANGUAGE_001.a 93rd line")} +
                            QStringList{QStringLiteral("[French version]")} + EntryLines(QStringLiteral("FR"));
  const UiTextTables tables = Read(Write(lines));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0][LANGUAGE_001], Expected(QStringLiteral("EN"), 0));
  // Only "[Franch version]", as the file has always spelled it, opens the French section.
  EXPECT_TRUE(tables[1].isEmpty());
}

TEST_F(UiTextFileTest, HeaderRestAndRepeatedHeader) {
  const QStringList lines = QStringList{QStringLiteral("[Franch version] - French texts")} +
                            EntryLines(QStringLiteral("FR"), 0, 10) + QStringList{kFrenchHeader} +
                            EntryLines(QStringLiteral("FR"));
  const UiTextTables tables = Read(Write(lines));
  // A repeated header appends to the table; entries past 92 are never asked for.
  ASSERT_EQ(tables[1].size(), 10 + kUiTextCount);
  EXPECT_EQ(tables[1][9], Expected(QStringLiteral("FR"), 9));
  EXPECT_EQ(tables[1][10], Expected(QStringLiteral("FR"), 0));
  EXPECT_EQ(UiText(tables, kLanguageFrench, BANNER_URL_001), Expected(QStringLiteral("FR"), 81));
}

TEST_F(UiTextFileTest, Utf16FileGivesTheSameTablesAsTheAnsiFile) {
  QStringList lines = QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN")) + QStringList{kFrenchHeader} +
                      EntryLines(QStringLiteral("FR"));
  lines[kUiTextCount + 2 + UiIndex(DBFW_TAB_001, 1)] = QStringLiteral("FR_DBFW_TAB_001.Mise à jour « été »");
  const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
  const UiTextTables ansi = Read(Write(text.toUtf8()));
  const UiTextTables wide = Read(Write(TextTest::Utf16WithBom(text)));
  EXPECT_EQ(ansi, wide);
  EXPECT_EQ(UiText(wide, kLanguageFrench, DBFW_TAB_001), QStringLiteral("Mise à jour « été »"));
}

TEST_F(UiTextFileTest, MissingFileReadsNothing) {
  UiTextTables tables;
  tables[0] << QStringLiteral("kept");
  EXPECT_FALSE(ReadUITextFile(PathOf(QStringLiteral("missing.txt")), tables));
  EXPECT_EQ(tables[0], QStringList{QStringLiteral("kept")});
}

TEST_F(UiTextFileTest, ErrorMessagesAndTextsOfTablesThatLackThem) {
  const UiTextTables tables = Read(Write(QStringList{kFrenchHeader} + EntryLines(QStringLiteral("FR"))));
  const ErrorMessages french = CopyErrorMessages(tables, kLanguageFrench);
  for (int k = 0; k < kErrorMessageCount; ++k) EXPECT_EQ(french[k], Expected(QStringLiteral("FR"), 79 + k));
  // An empty table, language 3 and a language the profile should never hold: empty texts.
  for (int language : {kLanguageEnglish, 3, 4, 0, 5, -1}) {
    for (const QString& message : CopyErrorMessages(tables, language)) EXPECT_TRUE(message.isEmpty()) << language;
    EXPECT_TRUE(UiText(tables, language, MAIN_TAB_001).isEmpty()) << language;
  }
  EXPECT_TRUE(UiText(tables, kLanguageFrench, -1).isEmpty());
  EXPECT_TRUE(UiText(tables, kLanguageFrench, kUiTextCount).isEmpty());
}

TEST(UiTextTable, KeyTableHasTheNinetyTwoKeysInOrder) {
  const auto& keys = UiTextKeys();
  EXPECT_EQ(keys[LANGUAGE_001], QStringLiteral("LANGUAGE_001"));
  EXPECT_EQ(keys[DBAREA_001], QStringLiteral("DBAREA_001"));
  EXPECT_EQ(keys[UiIndex(MAIN_TAB_001, 12)], QStringLiteral("MAIN_TAB_012"));
  EXPECT_EQ(keys[UiIndex(DBFW_TAB_001, 27)], QStringLiteral("DBFW_TAB_027"));
  EXPECT_EQ(keys[UiIndex(POI_TAB_001, 15)], QStringLiteral("POI_TAB_015"));
  EXPECT_EQ(keys[UiIndex(OPTION_TAB_001, 4)], QStringLiteral("OPTION_TAB_004"));
  EXPECT_EQ(keys[UiIndex(RESET_TAB_001, 18)], QStringLiteral("RESET_TAB_018"));
  EXPECT_EQ(keys[UiIndex(ERROR_MSG_001, 12)], QStringLiteral("ERROR_MSG_012"));
  EXPECT_EQ(keys[BANNER_URL_001], QStringLiteral("BANNER_URL_001"));
  EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), kUiTextCount);
}

TEST(UiTextTable, ExtractValueLeavesTheValueAloneWithoutThePrefix) {
  QString value = QStringLiteral("old");
  EXPECT_FALSE(ExtractValue(QStringLiteral("FR_MAIN_TAB_001.Accueil"), QStringLiteral("EN_MAIN_TAB_001."), value));
  EXPECT_EQ(value, QStringLiteral("old"));
  EXPECT_FALSE(ExtractValue(QStringLiteral(" EN_MAIN_TAB_001.Main"), QStringLiteral("EN_MAIN_TAB_001."), value));
  EXPECT_TRUE(ExtractValue(QStringLiteral("EN_MAIN_TAB_001.  Main  "), QStringLiteral("EN_MAIN_TAB_001."), value));
  EXPECT_EQ(value, QStringLiteral("Main"));
}

TEST(UiTextTable, ListValues) {
  EXPECT_EQ(ParseListValue(QStringLiteral("2/English/French/")), (QStringList{"English", "French"}));
  EXPECT_EQ(ParseListValue(QStringLiteral("3/A/B/C/")), (QStringList{"A", "B", "C"}));
  // An item with no "/" after it, or one that is not there at all, is an empty name.
  EXPECT_EQ(ParseListValue(QStringLiteral("3/A/B/C")), (QStringList{"A", "B", ""}));
  EXPECT_EQ(ParseListValue(QStringLiteral("4/A/")), (QStringList{"A", "", "", ""}));
  EXPECT_EQ(ParseListValue(QStringLiteral("1/A/B/C/")), QStringList{"A"});
  EXPECT_EQ(ParseListValue(QStringLiteral(" 2 /x//")), (QStringList{"x", ""}));
  EXPECT_EQ(ParseListValue(QStringLiteral("2x/a/b/")), (QStringList{"a", "b"}));  // read as atoi reads
  EXPECT_TRUE(ParseListValue(QStringLiteral("0/A/")).isEmpty());
  EXPECT_TRUE(ParseListValue(QStringLiteral("-3/A/")).isEmpty());
  EXPECT_TRUE(ParseListValue(QStringLiteral("A/B/")).isEmpty());
  EXPECT_TRUE(ParseListValue(QStringLiteral("English")).isEmpty());
  EXPECT_TRUE(ParseListValue(QString()).isEmpty());
  // A count far beyond the items is held to what a selector can show.
  EXPECT_EQ(ParseListValue(QStringLiteral("2147483647/A/")).size(), kMaxListItems);
  EXPECT_EQ(ParseListValue(QStringLiteral("99999999999999999999/A/")).size(), kMaxListItems);
}

// Files that are broken in the ways files get broken: whatever can be read is read.
TEST_F(UiTextFileTest, BadFilesNeverStopTheReading) {
  UiTextTables tables = Read(Write(QByteArray()));
  EXPECT_TRUE(tables[0].isEmpty() && tables[1].isEmpty());

  // Cut short in the middle of an entry line.
  QByteArray whole = (QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN"))).join(QStringLiteral("\r\n")).toUtf8();
  tables = Read(Write(whole.left(whole.indexOf("EN_MAIN_TAB_004") + 10)));
  ASSERT_EQ(tables[0].size(), UiIndex(MAIN_TAB_001, 4) + 1);
  EXPECT_EQ(tables[0][MAIN_TAB_001], Expected(QStringLiteral("EN"), 3));
  EXPECT_EQ(tables[0].last(), QString());

  // A UTF-8 signature before the first header does not hide the section.
  tables = Read(Write(QByteArray("\xEF\xBB\xBF") + whole));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0][LANGUAGE_001], Expected(QStringLiteral("EN"), 0));

  // A line of several megabytes takes one index and nothing more.
  QStringList lines = QStringList{kEnglishHeader} + EntryLines(QStringLiteral("EN"));
  lines[1 + MAIN_TAB_001] = QStringLiteral("EN_MAIN_TAB_001.") + QString(4 * 1024 * 1024, QLatin1Char('m'));
  tables = Read(Write(lines));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0][MAIN_TAB_001].size(), 4 * 1024 * 1024);
  EXPECT_EQ(tables[0][BANNER_URL_001], Expected(QStringLiteral("EN"), 91));
  // In UTF-16 it arrives in pieces: they use up indexes, but a section still ends at 92.
  tables = Read(Write(TextTest::Utf16WithBom(lines.join(QStringLiteral("\r\n")))));
  EXPECT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0][MAIN_TAB_001].size(), 4095 - QStringLiteral("EN_MAIN_TAB_001.").size());

  // A million short lines are read in a moment, not line by line at a locale look-up's cost.
  QElapsedTimer timer;
  timer.start();
  tables = Read(Write(kEnglishHeader.toUtf8() + "\n" + QByteArray(1000000, '\n') + QByteArray(300000, 'x').replace("x", "a\r\n")));
  EXPECT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_LT(timer.elapsed(), 30000);

  // Binary bytes, alone and inside a section.
  QByteArray binary;
  for (int i = 0; i < 200000; ++i) binary.append(char((i * 7919) % 256));
  tables = Read(Write(binary));
  EXPECT_LE(tables[0].size() + tables[1].size(), 2 * kUiTextCount);
  tables = Read(Write(kEnglishHeader.toUtf8() + "\r\n" + binary));
  EXPECT_LE(tables[0].size(), kUiTextCount);
  EXPECT_GT(tables[0].size(), 0);
}

}  // namespace
