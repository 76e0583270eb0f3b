#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include "TextTestSupport.h"
#include "app/VersionFile.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

namespace {

// The UI text file and the catalogue that ship beside the program.
class ShippedUiTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ReadUITextFile(TestSupport::ShippedDataPath(QStringLiteral("V770UIText_New_v12.txt")), m_tables));
    ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), m_catalogue));
  }

  // The names the catalogue's entries end in ("100412_Europe" -> "Europe"), in file order.
  static QStringList CatalogueNames(const QList<VersionEntry>& entries) {
    QStringList names;
    for (const VersionEntry& entry : entries) names << entry.strText.section(QLatin1Char('_'), -1);
    return names;
  }

  QString Text(int language, int index) const { return UiText(m_tables, language, index); }

  UiTextTables m_tables;
  VersionInfo m_catalogue;
};

TEST_F(ShippedUiTextTest, IsUtf16WithByteOrderMarkAndCrLfLineEnds) {
  const QByteArray bytes = TestSupport::ReadFile(TestSupport::ShippedDataPath(QStringLiteral("V770UIText_New_v12.txt")));
  ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
  ASSERT_EQ(bytes.size() % 2, 0);
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), bytes.size() / 2 - 1);
  EXPECT_EQ(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("[English version]")));
  EXPECT_TRUE(text.contains(QStringLiteral("[Franch version]")));
}

TEST_F(ShippedUiTextTest, BothLanguagesHoldAllTextsUnderTheirOwnKeys) {
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    ASSERT_EQ(m_tables[language - 1].size(), kUiTextCount) << language;
    for (int i = 0; i < kUiTextCount; ++i) {
      const QString text = Text(language, i);
      EXPECT_FALSE(text.isEmpty()) << language << " " << UiTextKeys()[i].toStdString();
      // The pages put texts into format patterns and the POI column description.
      EXPECT_FALSE(text.contains(QLatin1Char('%'))) << text.toStdString();
      EXPECT_FALSE(text.startsWith(QStringLiteral("EN_")) || text.startsWith(QStringLiteral("FR_")));
    }
    for (int column = 0; column < 6; ++column) {
      const QString title = Text(language, UiIndex(POI_TAB_001, 2 + column));
      EXPECT_FALSE(title.contains(QLatin1Char(',')) || title.contains(QLatin1Char(';'))) << title.toStdString();
    }
    EXPECT_EQ(Text(language, UiIndex(OPTION_TAB_001, 2)), QStringLiteral("km/h"));
    EXPECT_EQ(Text(language, UiIndex(OPTION_TAB_001, 3)), QStringLiteral("mph"));
  }
  EXPECT_TRUE(m_tables[2].isEmpty() && m_tables[3].isEmpty());
  EXPECT_EQ(Text(kLanguageEnglish, MAIN_TAB_001), QStringLiteral("Main"));
  EXPECT_EQ(Text(kLanguageFrench, DBFW_TAB_001), QStringLiteral("Mise à jour"));

  // The French section is a translation, not a copy: only names and units may agree.
  int same = 0;
  for (int i = 0; i < kUiTextCount; ++i) same += Text(kLanguageEnglish, i) == Text(kLanguageFrench, i);
  EXPECT_LE(same, 10);
}

TEST_F(ShippedUiTextTest, ListsMatchTheCatalogue) {
  // The update page looks the catalogue up with the English name at the chosen position.
  const QStringList areas = ParseListValue(Text(kLanguageEnglish, DBAREA_001));
  const QStringList voices = ParseListValue(Text(kLanguageEnglish, VOICELIST_001));
  EXPECT_EQ(areas, CatalogueNames(m_catalogue.listDB));
  EXPECT_EQ(voices, CatalogueNames(m_catalogue.listVoice));
  for (int i = 0; i < m_catalogue.listDB.size(); ++i) EXPECT_EQ(m_catalogue.listDB[i].nIndex, i);
  for (int i = 0; i < m_catalogue.listVoice.size(); ++i) EXPECT_EQ(m_catalogue.listVoice[i].nIndex, i);

  const QStringList frenchAreas = ParseListValue(Text(kLanguageFrench, DBAREA_001));
  const QStringList frenchVoices = ParseListValue(Text(kLanguageFrench, VOICELIST_001));
  ASSERT_EQ(frenchAreas.size(), areas.size());
  ASSERT_EQ(frenchVoices.size(), voices.size());
  EXPECT_EQ(frenchAreas[2], QStringLiteral("Allemagne"));
  EXPECT_EQ(frenchVoices[1], QStringLiteral("Français"));
  for (const QString& name : frenchAreas + frenchVoices) EXPECT_FALSE(name.isEmpty());

  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    const QStringList languages = ParseListValue(Text(language, LANGUAGE_001));
    ASSERT_EQ(languages.size(), 2);
    EXPECT_EQ(languages[kLanguageEnglish - 1], QStringLiteral("English"));
    EXPECT_EQ(languages[kLanguageFrench - 1], QStringLiteral("Français"));
  }
}

TEST_F(ShippedUiTextTest, BannerIsThePcSoftwarePageOfTheMakersSite) {
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    const QUrl url(Text(language, BANNER_URL_001), QUrl::StrictMode);
    ASSERT_TRUE(url.isValid()) << language;
    EXPECT_EQ(url.scheme(), QStringLiteral("http"));
    EXPECT_EQ(url.host(), QStringLiteral("www.v770.example"));
    EXPECT_EQ(url.path(), QStringLiteral("/pc_soft_hardware.asp"));
    const QUrlQuery query(url);
    EXPECT_TRUE(query.hasQueryItem(QStringLiteral("lang")));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("model")), QStringLiteral("V770"));
  }
}

TEST_F(ShippedUiTextTest, SavedInTheUsersCodePageItGivesTheSameTables) {
  const QByteArray bytes = TestSupport::ReadFile(TestSupport::ShippedDataPath(QStringLiteral("V770UIText_New_v12.txt")));
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), bytes.size() / 2 - 1);
  QTemporaryDir dir;
  const QString ansiPath = dir.filePath(QStringLiteral("V770UIText_New_v12.txt"));
  ASSERT_TRUE(TestSupport::WriteFile(ansiPath, text.toUtf8()));  // the pinned locale is UTF-8
  UiTextTables ansi;
  ASSERT_TRUE(ReadUITextFile(ansiPath, ansi));
  EXPECT_EQ(ansi, m_tables);
}

// The program's own messages: every key in both languages, with the same placeholders, so a
// French user never meets an English sentence or a missing argument.
TEST(ShippedExtraTextTest, EveryMessageInBothLanguagesWithTheSamePlaceholders) {
  ExtraTextTable table;
  ASSERT_TRUE(ReadExtraTextFile(TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName)), table));
  static const QRegularExpression placeholder(QStringLiteral("%\\d"));
  for (int i = 0; i < kExtraTextCount; ++i) {
    const QString key = ExtraTextKey(static_cast<ExtraTextId>(i));
    const QString english = table[kLanguageEnglish - 1][i];
    const QString french = table[kLanguageFrench - 1][i];
    ASSERT_FALSE(english.isEmpty() || french.isEmpty()) << key.toStdString();
    EXPECT_NE(english, french) << key.toStdString();
    QStringList englishArgs, frenchArgs;
    for (const auto& m : placeholder.globalMatch(english)) englishArgs << m.captured();
    for (const auto& m : placeholder.globalMatch(french)) frenchArgs << m.captured();
    englishArgs.sort();
    frenchArgs.sort();
    EXPECT_EQ(englishArgs, frenchArgs) << key.toStdString();
  }
}

// Keys, not positions: an unknown or misspelt line is skipped without shifting the others, and
// a message the current language lacks falls back to English, then to its key.
TEST(ExtraTextTest, MatchesByKeyAndFallsBackToEnglishThenTheKey) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QString::fromLatin1(kExtraTextFileName));
  ASSERT_TRUE(TestSupport::WriteFile(path, QByteArrayLiteral("[English version]\nEN_NOT_A_KEY.x\n"
                                                              "EN_UNIT_NO_ANSWER.  No answer.  \nFR_DOWNLOAD_ABORTED.wrong section\n"
                                                              "EN_DOWNLOAD_ABORTED.Stopped.\n[Franch version]\n"
                                                              "FR_UNIT_NO_ANSWER.Pas de r\xC3\xA9ponse.\n")));
  ASSERT_TRUE(LoadExtraTexts(path));
  SetExtraTextLanguage(kLanguageFrench);
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), QStringLiteral("Pas de réponse."));
  EXPECT_EQ(ExtraText(ExtraTextId::DOWNLOAD_ABORTED), QStringLiteral("Stopped."));
  EXPECT_EQ(ExtraText(ExtraTextId::UNZIP_UNKNOWN_ERROR), QStringLiteral("UNZIP_UNKNOWN_ERROR"));
  SetExtraTextLanguage(kLanguageEnglish);
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), QStringLiteral("No answer."));
  EXPECT_FALSE(LoadExtraTexts(dir.filePath(QStringLiteral("missing.txt"))));
  EXPECT_EQ(ExtraText(ExtraTextId::UNIT_NO_ANSWER), QStringLiteral("No answer.")) << "a failed load keeps the table";
  LoadExtraTexts(TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName)));
}

}  // namespace
