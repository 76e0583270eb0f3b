#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

namespace {

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

// Shipped as UTF-16 with CR LF; saved in the user's code page it gives the same tables.
TEST_F(ShippedUiTextTest, SavedInTheUsersCodePageItGivesTheSameTables) {
  const QByteArray bytes = TestSupport::ReadFile(kUiTextFile);
  ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), bytes.size() / 2 - 1);
  EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n")));
  UiTextTables ansi;
  ASSERT_TRUE(ReadUITextFile(Write(text.toUtf8()), ansi));
  EXPECT_EQ(ansi, m_tables);
}

// The program's own messages: every key in both languages, with the same placeholders, so a
// French user never meets an English sentence or a missing argument.
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
