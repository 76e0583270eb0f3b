#include <gtest/gtest.h>

#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

namespace {

const QString kEnglishHeader = u"[English version]"_qs, kEn = u"EN"_qs, kFr = u"FR"_qs;
const QString kUiTextFile = TestSupport::ShippedDataPath(u"V770UIText_New_v12.txt"_qs);
const QString kExtraTextFile = TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName));

// A header and the entry lines "EN_<KEY>.EN text <index>" of indexes from..to-1.
QStringList Section(const QString& lang, int from = 0, int to = kUiTextCount) {
  QStringList lines{lang == kEn ? kEnglishHeader : u"[Franch version]"_qs};
  for (int i = from; i < to; ++i) lines << u"%1_%2.%1 text %3"_qs.arg(lang, UiTextKeys()[i]).arg(i);
  return lines;
}

QString Expected(const QString& lang, int index) { return u"%1 text %2"_qs.arg(lang).arg(index); }

class UiTextFileTest : public TestSupport::FileTest {
 protected:
  UiTextTables Read(const QByteArray& bytes) {
    UiTextTables tables;
    EXPECT_TRUE(ReadUITextFile(Write(bytes), tables));
    return tables;
  }
  UiTextTables Read(const QStringList& lines) { return Read(lines.join(u"\r\n"_qs).toUtf8()); }
};

// Sections in either order fill the same tables, a repeated header appends, and a language
// the file lacks gives empty texts, as do indexes outside the table and a missing file.
TEST_F(UiTextFileTest, SectionsLanguagesAndIndexes) {
  QStringList french = Section(kFr);
  french[0] += u" - French texts"_qs;  // what follows a header does not matter
  const QStringList start = Section(kFr, 0, 10);
  const UiTextTables tables = Read(start + Section(kEn) + french);
  EXPECT_EQ(tables, Read(start + french + Section(kEn)));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  ASSERT_EQ(tables[1].size(), 10 + kUiTextCount);
  EXPECT_EQ(tables[1][10], Expected(kFr, 0));
  const ErrorMessages english = CopyErrorMessages(tables, kLanguageEnglish);
  for (int k = 0; k < kErrorMessageCount; ++k) EXPECT_EQ(english[k], Expected(kEn, ERROR_MSG_001 + k));
  for (int language : {3, 0, 5, -1}) {
    EXPECT_TRUE(CopyErrorMessages(tables, language)[0].isEmpty()) << language;
    EXPECT_TRUE(UiText(tables, language, MAIN_TAB_001).isEmpty()) << language;
  }
  for (int index : {-1, kUiTextCount}) EXPECT_TRUE(UiText(tables, kLanguageEnglish, index).isEmpty());
  UiTextTables kept = tables;
  EXPECT_FALSE(ReadUITextFile(PathOf(u"missing.txt"_qs), kept));
  EXPECT_EQ(kept, tables);
}

TEST_F(UiTextFileTest, EntriesAreMatchedByPositionAndBlankLinesUseNoIndex) {
  QStringList lines = Section(kEn);
  const std::pair<int, const char*> changed[] = {
      {MAIN_TAB_001, "EN_MAIN_TAB_001."},                       // the prefix alone: empty title
      {UiIndex(MAIN_TAB_001, 2), "EN_MAIN_TAB_003.Wrong key"},  // empty, and the index is used
      {UiIndex(MAIN_TAB_001, 3), "\t EN_MAIN_TAB_003.  spaced  \t"}};
  for (const auto& [index, line] : changed) lines[1 + index] = QString::fromUtf8(line);
  lines[0] = u"  [English version]  "_qs;
  lines.insert(40, QString());
  lines.insert(20, u" \t "_qs);
  const QStringList after{u"EN_LANGUAGE_001.a 93rd line"_qs, u"[French version]"_qs};
  const UiTextTables tables =
      Read(QStringList{u"EN_LANGUAGE_001.early"_qs} + lines + after + Section(kFr).mid(1));
  ASSERT_EQ(tables[0].size(), kUiTextCount);
  EXPECT_EQ(tables[0].mid(MAIN_TAB_001, 3), (QStringList{"", "", "spaced"}));
  // Everything around them keeps its own text: the blank lines took no index.
  EXPECT_EQ(tables[0].first() + tables[0].last(), Expected(kEn, 0) + Expected(kEn, kUiTextCount - 1));
  // Only "[Franch version]", as the file has always spelled it, opens the French section.
  EXPECT_TRUE(tables[1].isEmpty());
}

// An item with no "/" after it is empty; the count is read as atoi reads it (counts far beyond
// the items: the fuzz target's seeds).
TEST(UiTextTable, ListValues) {
  // The value, "=", and its items joined by "|".
  for (const char* c : {"2/English/French/=English|French", "1/A/B/C/=A", " 2 /x//=x|", "3/A/B/C=A|B|",
                        "4/A/=A|||", "2x/a/b/=a|b", "0/A/=", "-3/A/=", "A/B/=", "English="}) {
    const QString value = QString::fromUtf8(c).section(u'=', 0, 0),
                  items = QString::fromUtf8(c).section(u'=', 1);
    EXPECT_EQ(ParseListValue(value).join(u'|'), items) << c;
  }
}

// Files that are broken in the ways files get broken: whatever can be read is read, soon
// (binary files: the UI text file's fuzz target and seeds).
TEST_F(UiTextFileTest, BadFilesNeverStopTheReading) {
  const QByteArray whole = Section(kEn).join(u"\r\n"_qs).toUtf8();
  const QByteArray blankLines = QByteArray(1000000, '\n') + QByteArray(300000, 'x').replace("x", "a\r\n");
  TestSupport::Clock timer;
  const std::pair<QByteArray, int> files[] = {
      {QByteArray(), 0},
      {whole.left(whole.indexOf("EN_MAIN_TAB_004") + 10), UiIndex(MAIN_TAB_001, 4) + 1},  // cut in an entry
      {"\xEF\xBB\xBF" + whole, kUiTextCount},  // a UTF-8 signature does not hide the header
      {kEnglishHeader.toUtf8() + "\n" + blankLines, kUiTextCount}};
  for (const auto& [bytes, size] : files)
    EXPECT_EQ(Read(bytes)[0].size(), size) << bytes.left(40).toStdString();
  EXPECT_LT(timer.elapsed(), 30000);
}

// The UI text file that ships beside the program: both languages hold every text under its
// own key, usable in the pages' format patterns and the POI column description, shipped as
// UTF-16 with CR LF so that no code page of the user changes its French.
TEST(ShippedTexts, BothLanguagesHoldAllTextsAndTheSameArguments) {
  UiTextTables tables;
  ASSERT_TRUE(ReadUITextFile(kUiTextFile, tables));
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    ASSERT_EQ(tables[language - 1].size(), kUiTextCount) << language;
    for (const QString& text : tables[language - 1])
      EXPECT_FALSE(text.isEmpty() || text.contains(u'%')) << language << " " << text.toStdString();
    for (int column = 0; column < 6; ++column) {
      const QString title = UiText(tables, language, UiIndex(POI_TAB_001, 2 + column));
      EXPECT_FALSE(title.contains(u',') || title.contains(u';')) << title.toStdString();
    }
  }
  // The French section is a translation, not a copy: only names and units may agree.
  int same = 0;
  for (int i = 0; i < kUiTextCount; ++i) same += tables[0][i] == tables[1][i];
  EXPECT_LE(same, 10);
  const QByteArray bytes = TestSupport::ReadFile(kUiTextFile);
  ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
  EXPECT_EQ(bytes.count(QByteArray("\n\0", 2)), bytes.count(QByteArray("\r\0\n\0", 4)));

  // The update page looks the catalogue up with the English name at the chosen position.
  VersionInfo catalogue;
  ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(u"V770_VersionInfo_v12.txt"_qs), catalogue));
  for (const auto& [list, entries] :
       {std::pair{DBAREA_001, catalogue.listDB}, {VOICELIST_001, catalogue.listVoice}}) {
    QStringList names;
    for (const VersionEntry& entry : entries) names << entry.strText.section(u'_', -1);
    EXPECT_EQ(ParseListValue(UiText(tables, kLanguageEnglish, list)), names);
    EXPECT_EQ(ParseListValue(UiText(tables, kLanguageFrench, list)).size(), names.size());
  }

  // The program's own messages: every key in both languages, with the same placeholders, so a
  // French user never meets an English sentence or a missing argument.
  ExtraTextTable table;
  ASSERT_TRUE(ReadExtraTextFile(kExtraTextFile, table));
  for (int i = 0; i < kExtraTextCount; ++i) {
    const std::string key = ExtraTextKey(static_cast<ExtraTextId>(i)).toStdString();
    const QString english = table[kLanguageEnglish - 1][i];
    const QString french = table[kLanguageFrench - 1][i];
    ASSERT_FALSE(english.isEmpty() || french.isEmpty()) << key;
    EXPECT_NE(english, french) << key;
    for (int n = 1; n <= 9; ++n)
      EXPECT_EQ(english.contains(u"%"_qs + QString::number(n)), french.contains(u"%"_qs + QString::number(n)))
          << key;
  }
}

// Keys, not positions: an unknown or misspelt line is skipped without shifting the others, and
// a message the current language lacks falls back to English, then to its key.
TEST_F(UiTextFileTest, ExtraTextsMatchByKeyAndFallBackToEnglishThenTheKey) {
  ASSERT_TRUE(
      LoadExtraTexts(Write("[English version]\nEN_NOT_A_KEY.x\nEN_UNIT_NO_ANSWER.  No answer.  \n"
                           "FR_DOWNLOAD_ABORTED.wrong section\nEN_DOWNLOAD_ABORTED.Stopped.\n"
                           "[Franch version]\nFR_UNIT_NO_ANSWER.Pas de r\xC3\xA9ponse.\n")));
  SetExtraTextLanguage(kLanguageFrench);
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), u"Pas de réponse."_qs);
  EXPECT_EQ(ExtraText(ExtraTextId::DOWNLOAD_ABORTED), u"Stopped."_qs);
  EXPECT_EQ(ExtraText(ExtraTextId::UNZIP_UNKNOWN_ERROR), u"UNZIP_UNKNOWN_ERROR"_qs);
  SetExtraTextLanguage(kLanguageEnglish);
  EXPECT_FALSE(LoadExtraTexts(PathOf(u"missing.txt"_qs)));
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), u"No answer."_qs) << "a failed load keeps the table";
  LoadExtraTexts(kExtraTextFile);
}

}  // namespace
