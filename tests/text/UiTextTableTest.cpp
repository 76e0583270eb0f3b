#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"
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
      {"2/English/French/", {"English", "French"}}, {"1/A/B/C/", {"A"}}, {" 2 /x//", {"x", ""}},
      {"3/A/B/C", {"A", "B", ""}},  // an item with no "/" after it is an empty name
      {"4/A/", {"A", "", "", ""}},  {"2x/a/b/", {"a", "b"}},  // the count is read as atoi reads it
      {"0/A/", {}}, {"-3/A/", {}}, {"A/B/", {}}, {"English", {}}, {"", {}}};
  for (const auto& [value, items] : cases) EXPECT_EQ(ParseListValue(QString::fromUtf8(value)), items) << value;
  // A count far beyond the items is held to what a selector can show.
  EXPECT_EQ(ParseListValue(QStringLiteral("2147483647/A/")).size(), kMaxListItems);
  EXPECT_EQ(ParseListValue(QStringLiteral("99999999999999999999/A/")).size(), kMaxListItems);
}

// Files that are broken in the ways files get broken: whatever can be read is read, soon.
TEST_F(UiTextFileTest, BadFilesNeverStopTheReading) {
  const QByteArray whole = Section(kEn).join(QStringLiteral("\r\n")).toUtf8();
  QByteArray binary;
  for (int i = 0; i < 200000; ++i) binary.append(char((i * 7919) % 256));
  TestSupport::Clock timer;
  const std::pair<QByteArray, int> files[] = {
      {QByteArray(), 0},
      {whole.left(whole.indexOf("EN_MAIN_TAB_004") + 10), UiIndex(MAIN_TAB_001, 4) + 1},  // cut in an entry
      {"\xEF\xBB\xBF" + whole, kUiTextCount},  // a UTF-8 signature does not hide the header
      {kEnglishHeader.toUtf8() + "\n" + QByteArray(1000000, '\n') + QByteArray(300000, 'x').replace("x", "a\r\n"),
       kUiTextCount},
      {kEnglishHeader.toUtf8() + "\r\n" + binary, -1}};
  for (const auto& [bytes, size] : files) {
    const UiTextTables tables = Read(bytes);
    EXPECT_TRUE(size < 0 || tables[0].size() == size) << bytes.left(40).toStdString();
    EXPECT_TRUE(tables[0].size() <= kUiTextCount && tables[1].isEmpty());
  }
  EXPECT_LT(timer.elapsed(), 30000);
}

const QString kUiTextFile = TestSupport::ShippedDataPath(QStringLiteral("V770UIText_New_v12.txt"));

// The UI text file and the catalogue that ship beside the program.
class ShippedUiTextTest : public TestSupport::FileTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ReadUITextFile(kUiTextFile, m_tables));
    ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), m_catalogue));
  }
  QString Text(int language, int index) const { return UiText(m_tables, language, index); }

  UiTextTables m_tables;
  VersionInfo m_catalogue;
};

TEST_F(ShippedUiTextTest, BothLanguagesHoldAllTextsUnderTheirOwnKeys) {
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    ASSERT_EQ(m_tables[language - 1].size(), kUiTextCount) << language;
    for (int i = 0; i < kUiTextCount; ++i) {
      const QString text = Text(language, i);
      EXPECT_FALSE(text.isEmpty()) << language << " " << UiTextKeys()[i].toStdString();
      // The pages put texts into format patterns and the POI column description.
      EXPECT_FALSE(text.contains(u'%') || text.startsWith(QStringLiteral("EN_")) || text.startsWith(QStringLiteral("FR_")))
          << text.toStdString();
    }
    for (int column = 0; column < 6; ++column) {
      const QString title = Text(language, UiIndex(POI_TAB_001, 2 + column));
      EXPECT_FALSE(title.contains(u',') || title.contains(u';')) << title.toStdString();
    }
    // The selector shows English at position 0 (language 1) whatever the language.
    EXPECT_EQ(ParseListValue(Text(language, LANGUAGE_001)), (QStringList{"English", "Français"}));
  }
  // The French section is a translation, not a copy: only names and units may agree.
  int same = 0;
  for (int i = 0; i < kUiTextCount; ++i) same += Text(kLanguageEnglish, i) == Text(kLanguageFrench, i);
  EXPECT_LE(same, 10);
}

TEST_F(ShippedUiTextTest, ListsMatchTheCatalogue) {
  // The update page looks the catalogue up with the English name at the chosen position.
  const auto names = [](const QList<VersionEntry>& entries) {
    QStringList names;
    for (int i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].nIndex, i);
      names << entries[i].strText.section(u'_', -1);
    }
    return names;
  };
  EXPECT_EQ(ParseListValue(Text(kLanguageEnglish, DBAREA_001)), names(m_catalogue.listDB));
  EXPECT_EQ(ParseListValue(Text(kLanguageEnglish, VOICELIST_001)), names(m_catalogue.listVoice));
  for (int list : {DBAREA_001, VOICELIST_001}) {
    const QStringList french = ParseListValue(Text(kLanguageFrench, list));
    EXPECT_EQ(french.size(), ParseListValue(Text(kLanguageEnglish, list)).size());
    EXPECT_FALSE(french.contains(QString()));
  }
}

// Shipped as UTF-16 with CR LF (a file saved in the user's code page reads the same: the
// reader's tests).
TEST_F(ShippedUiTextTest, ShippedAsUtf16WithCrLf) {
  const QByteArray bytes = TestSupport::ReadFile(kUiTextFile);
  ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), bytes.size() / 2 - 1);
  EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n")));
}

// The program's own messages: every key in both languages, with the same placeholders, so a
// French user never meets an English sentence or a missing argument, nor a second word for
// the unit ("appareil", as in the UI text file).
TEST_F(ShippedUiTextTest, EveryExtraMessageInBothLanguagesWithTheSamePlaceholders) {
  ExtraTextTable table;
  ASSERT_TRUE(ReadExtraTextFile(TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName)), table));
  static const QRegularExpression placeholder(QStringLiteral("%\\d"));
  const auto placeholders = [](const QString& text) {
    QStringList found;
    for (const auto& match : placeholder.globalMatch(text)) found << match.captured();
    found.sort();
    return found;
  };
  for (int i = 0; i < kExtraTextCount; ++i) {
    const std::string key = ExtraTextKey(static_cast<ExtraTextId>(i)).toStdString();
    const QString english = table[kLanguageEnglish - 1][i];
    const QString french = table[kLanguageFrench - 1][i];
    ASSERT_FALSE(english.isEmpty() || french.isEmpty()) << key;
    EXPECT_NE(english, french) << key;
    EXPECT_EQ(placeholders(english), placeholders(french)) << key;
    EXPECT_FALSE(french.contains(u"boîtier"_qs)) << key;
  }
}

// Keys, not positions: an unknown or misspelt line is skipped without shifting the others, and
// a message the current language lacks falls back to English, then to its key.
TEST_F(ShippedUiTextTest, ExtraTextsMatchByKeyAndFallBackToEnglishThenTheKey) {
  const QString path = Write(QByteArrayLiteral("[English version]\nEN_NOT_A_KEY.x\nEN_UNIT_NO_ANSWER.  No answer.  \n"
                                               "FR_DOWNLOAD_ABORTED.wrong section\nEN_DOWNLOAD_ABORTED.Stopped.\n"
                                               "[Franch version]\nFR_UNIT_NO_ANSWER.Pas de r\xC3\xA9ponse.\n"));
  ASSERT_TRUE(LoadExtraTexts(path));
  SetExtraTextLanguage(kLanguageFrench);
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), QStringLiteral("Pas de réponse."));
  EXPECT_EQ(ExtraText(ExtraTextId::DOWNLOAD_ABORTED), QStringLiteral("Stopped."));
  EXPECT_EQ(ExtraText(ExtraTextId::UNZIP_UNKNOWN_ERROR), QStringLiteral("UNZIP_UNKNOWN_ERROR"));
  SetExtraTextLanguage(kLanguageEnglish);
  EXPECT_FALSE(LoadExtraTexts(PathOf(QStringLiteral("missing.txt"))));
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), QStringLiteral("No answer.")) << "a failed load keeps the table";
  LoadExtraTexts(TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName)));
}

}  // namespace
