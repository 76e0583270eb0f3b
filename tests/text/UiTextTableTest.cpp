#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "support/TestSupport.h"
#include "text/UiTextTable.h"

namespace {

const QString kEnglishHeader = QStringLiteral("[English version]");
const QString kFrenchHeader = QStringLiteral("[Franch version]");
const QString kEn = QStringLiteral("EN"), kFr = QStringLiteral("FR");

// A header and the entry lines "EN_<KEY>.EN text <index>" of indexes from..to-1.
QStringList Section(const QString& lang, int from = 0, int to = kUiTextCount) {
  QStringList lines{lang == kEn ? kEnglishHeader : kFrenchHeader};
  for (int i = from; i < to; ++i) lines << QStringLiteral("%1_%2.%1 text %3").arg(lang, UiTextKeys()[i]).arg(i);
  return lines;
}

QString Expected(const QString& lang, int index) { return QStringLiteral("%1 text %2").arg(lang).arg(index); }

class UiTextFileTest : public TestSupport::FileTest {
 protected:
  UiTextTables Read(const QByteArray& bytes) {
    UiTextTables tables;
    EXPECT_TRUE(ReadUITextFile(Write(bytes), tables));
    return tables;
  }
  UiTextTables Read(const QStringList& lines) { return Read(lines.join(QStringLiteral("\r\n")).toUtf8()); }
};

TEST_F(UiTextFileTest, SectionsInEitherOrderFillTheSameTablesAndARepeatedHeaderAppends) {
  QStringList french = Section(kFr);
  french[0] += QStringLiteral(" - French texts");  // what follows a header does not matter
  const QStringList start = Section(kFr, 0, 10);
  const UiTextTables first = Read(start + Section(kEn) + french);
  EXPECT_EQ(first, Read(start + french + Section(kEn)));
  ASSERT_EQ(first[0].size(), kUiTextCount);
  ASSERT_EQ(first[1].size(), 10 + kUiTextCount);
  EXPECT_TRUE(first[2].isEmpty() && first[3].isEmpty());
  EXPECT_EQ(first[1][10], Expected(kFr, 0));
  EXPECT_EQ(UiText(first, kLanguageEnglish, BANNER_URL_001), Expected(kEn, 91));
}

TEST_F(UiTextFileTest, EntriesAreMatchedByPositionAndBlankLinesUseNoIndex) {
  QStringList lines = Section(kEn);
  const std::pair<int, const char*> changed[] = {
      {MAIN_TAB_001, "EN_MAIN_TAB_001."},                                  // the prefix alone: empty title
      {UiIndex(MAIN_TAB_001, 2), "EN_MAIN_TAB_003.Wrong key"},             // empty, and the index is used
      {UiIndex(MAIN_TAB_001, 3), "FR_MAIN_TAB_003.Wrong language"},
      {UiIndex(MAIN_TAB_001, 4), "MAIN_TAB_004.No language"},
      {UiIndex(MAIN_TAB_001, 5), "EN_MAIN_TAB_005.a EN_MAIN_TAB_005.b"},  // every occurrence removed
      {UiIndex(MAIN_TAB_001, 6), "\t EN_MAIN_TAB_006.  spaced  \t"}};
  for (const auto& [index, line] : changed) lines[1 + index] = QString::fromUtf8(line);
  lines[0] = QStringLiteral("  [English version]  ");
  lines.insert(40, QString());
  lines.insert(20, QStringLiteral(" \t "));
  const UiTextTables tables = Read(QStringList{QStringLiteral("V770 texts"), QStringLiteral("EN_LANGUAGE_001.early")} +
                                   lines + QStringList{QStringLiteral("EN_LANGUAGE_001.a 93rd line"),
                                                       QStringLiteral("[French version]")} + Section(kFr).mid(1));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  const QStringList values = {"", "", "", "", "a b", "spaced"};
  for (int i = 0; i < kUiTextCount; ++i) {
    const int n = i - MAIN_TAB_001;
    EXPECT_EQ(tables[0][i], n >= 0 && n < values.size() ? values[n] : Expected(kEn, i)) << i;
  }
  // Only "[Franch version]", as the file has always spelled it, opens the French section.
  EXPECT_TRUE(tables[1].isEmpty());

  // A missing line shifts every later entry off its key.
  lines = Section(kEn);
  lines.removeAt(1 + 10);
  const UiTextTables shifted = Read(lines);
  ASSERT_EQ(shifted[0].size(), kUiTextCount - 1);
  EXPECT_EQ(shifted[0][9], Expected(kEn, 9));
  for (int i = 10; i < kUiTextCount - 1; ++i) EXPECT_EQ(shifted[0][i], QString()) << i;
}

TEST_F(UiTextFileTest, MissingLanguagesIndexesAndFilesGiveEmptyTexts) {
  const UiTextTables tables = Read(Section(kFr));
  const ErrorMessages french = CopyErrorMessages(tables, kLanguageFrench);
  for (int k = 0; k < kErrorMessageCount; ++k) EXPECT_EQ(french[k], Expected(kFr, ERROR_MSG_001 + k));
  for (int language : {kLanguageEnglish, 3, 4, 0, 5, -1}) {
    for (const QString& message : CopyErrorMessages(tables, language)) EXPECT_TRUE(message.isEmpty()) << language;
    EXPECT_TRUE(UiText(tables, language, MAIN_TAB_001).isEmpty()) << language;
  }
  EXPECT_TRUE(UiText(tables, kLanguageFrench, -1).isEmpty());
  EXPECT_TRUE(UiText(tables, kLanguageFrench, kUiTextCount).isEmpty());

  UiTextTables kept = tables;
  EXPECT_FALSE(ReadUITextFile(PathOf(QStringLiteral("missing.txt")), kept));
  EXPECT_EQ(kept, tables);
}

TEST(UiTextTable, ListValues) {
  const std::pair<const char*, QStringList> cases[] = {
      {"2/English/French/", {"English", "French"}},
      {"3/A/B/C", {"A", "B", ""}},  // an item with no "/" after it is an empty name
      {"4/A/", {"A", "", "", ""}},
      {"1/A/B/C/", {"A"}},
      {" 2 /x//", {"x", ""}},
      {"2x/a/b/", {"a", "b"}},  // the count is read as atoi reads it
      {"0/A/", {}},
      {"-3/A/", {}},
      {"A/B/", {}},
      {"English", {}},
      {"", {}}};
  for (const auto& [value, items] : cases) EXPECT_EQ(ParseListValue(QString::fromUtf8(value)), items) << value;
  // A count far beyond the items is held to what a selector can show.
  EXPECT_EQ(ParseListValue(QStringLiteral("2147483647/A/")).size(), kMaxListItems);
  EXPECT_EQ(ParseListValue(QStringLiteral("99999999999999999999/A/")).size(), kMaxListItems);
}

// Files that are broken in the ways files get broken: whatever can be read is read, soon.
TEST_F(UiTextFileTest, BadFilesNeverStopTheReading) {
  QStringList lines = Section(kEn);
  const QByteArray whole = lines.join(QStringLiteral("\r\n")).toUtf8();
  lines[1 + MAIN_TAB_001] = QStringLiteral("EN_MAIN_TAB_001.") + QString(4 * 1024 * 1024, u'm');
  QByteArray binary;
  for (int i = 0; i < 200000; ++i) binary.append(char((i * 7919) % 256));
  QElapsedTimer timer;
  timer.start();
  const std::pair<QByteArray, int> files[] = {
      {QByteArray(), 0},
      {whole.left(whole.indexOf("EN_MAIN_TAB_004") + 10), UiIndex(MAIN_TAB_001, 4) + 1},  // cut in an entry
      {"\xEF\xBB\xBF" + whole, kUiTextCount},  // a UTF-8 signature does not hide the header
      {lines.join(QStringLiteral("\r\n")).toUtf8(), kUiTextCount},  // a line of megabytes takes one index
      {kEnglishHeader.toUtf8() + "\n" + QByteArray(1000000, '\n') + QByteArray(300000, 'x').replace("x", "a\r\n"),
       kUiTextCount},
      {kEnglishHeader.toUtf8() + "\r\n" + binary, -1}};
  for (const auto& [bytes, size] : files) {
    const UiTextTables tables = Read(bytes);
    EXPECT_TRUE(size < 0 || tables[0].size() == size) << bytes.left(40).toStdString();
    EXPECT_TRUE(tables[0].size() <= kUiTextCount && tables[1].isEmpty());
  }
  EXPECT_LT(timer.elapsed(), 30000);
  EXPECT_EQ(Read(lines.join(QStringLiteral("\r\n")).toUtf8())[0][BANNER_URL_001], Expected(kEn, 91));
}

}  // namespace
