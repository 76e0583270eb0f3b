// The update page's controls, modes and decisions, without a unit to send to.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "UpdatePageFixture.h"
#include "support/TestSupport.h"
#include "update/UnzipManualPack.h"
#include "widgets/GradientLabel.h"

namespace {

constexpr COLORREF kOrange = 0x00A5FF;
constexpr COLORREF kGreen = 0x01FF00;
constexpr int kUnpackTimeoutMs = 10000;

int DBFW(int number) { return UiIndex(DBFW_TAB_001, number); }

class UpdatePageTest : public UpdatePageFixture {
 protected:
  QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
  }
  void Choose(QComboBox* combo, int position) {
    combo->setCurrentIndex(position);
    emit combo->activated(position);
  }
};

}  // namespace

TEST_F(UpdatePageTest, AutoModeMarksWhatIsNewerThanTheUnit) {
  OpenPage();
  CDBUpdateTab& page = Page();
  EXPECT_TRUE(page.m_radioAuto->isChecked());
  EXPECT_EQ(page.m_nMode, CDBUpdateTab::kModeAuto);
  EXPECT_EQ(Items(page.m_comboDB).first(), QStringLiteral("Europe"));
  EXPECT_EQ(page.m_comboDB->currentIndex(), 0);  // area code 2
  EXPECT_EQ(page.m_comboVoice->currentIndex(), 0);

  // Database 100412 > 100411 and firmware 1.6 > 1.5; the voice 10203 is the unit's.
  EXPECT_TRUE(page.m_bUpdateDB);
  EXPECT_FALSE(page.m_bUpdateVoice);
  EXPECT_TRUE(page.m_bUpdateFW);
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kOrange);
  EXPECT_EQ(page.m_lampVoice->BackgroundColor(), kGreen);
  EXPECT_EQ(page.m_lampFW->BackgroundColor(), kOrange);
  EXPECT_EQ(page.m_labelDBState->text(), Text(DBFW(5)));
  EXPECT_EQ(page.m_labelVoiceState->text(), Text(DBFW(2)));
  EXPECT_EQ(page.m_strFileDB, QStringLiteral("100412_Europe"));
  EXPECT_EQ(page.m_nServerVoiceVersion, 10203);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());

  EXPECT_EQ(page.m_labelDBVersion->text(), Text(DBFW(26)) + QStringLiteral(" - 100411"));
  EXPECT_EQ(page.m_labelVoiceVersion->text(), Text(DBFW(27)) + QStringLiteral(" - 10203"));
  EXPECT_EQ(page.m_labelFWVersion->text(), Text(DBFW(25)) + QStringLiteral(" - 1.5"));
  EXPECT_TRUE(page.m_labelError->isHidden());
  EXPECT_TRUE(page.m_labelSendPhase->isHidden());
  EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(UpdatePageTest, FirmwareMinorNumbersCompareAsWholeNumbers) {
  Sheet().m_strFWVersion = QStringLiteral("1.10");
  SetUnitReply({2, 2, 4, 12, 7, 1, 9, 1, 2, 3, 0, 0});
  OpenPage();
  EXPECT_FALSE(Page().m_bUpdateDB);
  EXPECT_TRUE(Page().m_bUpdateFW);  // 1.10 is newer than 1.9
  EXPECT_EQ(Page().m_lampFW->BackgroundColor(), kOrange);
  EXPECT_EQ(Page().m_labelFWVersion->text(), Text(DBFW(25)) + QStringLiteral(" - 1.9"));
}

TEST_F(UpdatePageTest, ForceMarksEverythingAndRestoresTheMarksWhenCleared) {
  SetUnitReply({2, 2, 4, 12, 7, 1, 6, 1, 2, 3, 0, 0});  // everything up to date
  OpenPage();
  CDBUpdateTab& page = Page();
  EXPECT_FALSE(page.m_bUpdateDB || page.m_bUpdateVoice || page.m_bUpdateFW);
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());

  page.m_checkForce->click();
  EXPECT_TRUE(page.m_bForce);
  EXPECT_TRUE(page.m_checkForce->isChecked());
  EXPECT_TRUE(page.m_bUpdateDB && page.m_bUpdateVoice && page.m_bUpdateFW);
  EXPECT_EQ(page.m_strFileDB, QStringLiteral("100412_Europe"));  // equal version, sent when forced
  EXPECT_EQ(page.m_lampVoice->BackgroundColor(), kOrange);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());

  page.m_checkForce->click();
  EXPECT_FALSE(page.m_bForce);
  EXPECT_FALSE(page.m_checkForce->isChecked());
  EXPECT_FALSE(page.m_bUpdateDB || page.m_bUpdateVoice || page.m_bUpdateFW);
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kGreen);
}

TEST_F(UpdatePageTest, ChoosingAnotherAreaOrVoiceMarksItsPackage) {
  SetUnitReply({2, 2, 4, 12, 7, 1, 6, 1, 2, 3, 0, 0});
  OpenPage();
  CDBUpdateTab& page = Page();

  Choose(page.m_comboDB, 1);  // France
  EXPECT_TRUE(page.m_bDBAreaChanged);
  EXPECT_TRUE(page.m_bUpdateDB);
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kOrange);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());

  Choose(page.m_comboVoice, 2);  // German
  EXPECT_TRUE(page.m_bVoiceLangChanged);
  EXPECT_EQ(page.m_lampVoice->BackgroundColor(), kOrange);

  // Back to the unit's area: the voice choice still needs the button.
  Choose(page.m_comboDB, 0);
  EXPECT_FALSE(page.m_bDBAreaChanged);
  EXPECT_FALSE(page.m_bUpdateDB);
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kGreen);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());

  Choose(page.m_comboVoice, 0);
  EXPECT_FALSE(page.m_bVoiceLangChanged);
  EXPECT_FALSE(page.m_bUpdateVoice);
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
}

TEST_F(UpdatePageTest, SecondLanguageSearchesTheCatalogueWithLanguageOneNames) {
  Sheet().m_nLanguageID = kLanguageFrench;
  SetUnitReply({4, 2, 3, 30, 7, 1, 6, 1, 2, 3, 0, 1});  // Germany 100330, French voice
  OpenPage();
  CDBUpdateTab& page = Page();
  EXPECT_EQ(page.m_comboDB->currentText(), QStringLiteral("Allemagne"));
  EXPECT_EQ(page.m_comboVoice->currentText(), QStringLiteral("Français"));
  EXPECT_EQ(page.m_listDBNamesLang1.value(2), QStringLiteral("Germany"));
  EXPECT_EQ(page.m_nServerDBVersion, 100330);
  EXPECT_FALSE(page.m_bUpdateDB);
  EXPECT_EQ(page.m_labelDBState->text(), Text(DBFW(2)));  // the French text

  // The area test compares the shown French name with the unit's catalogue name.
  Choose(page.m_comboDB, 2);
  EXPECT_TRUE(page.m_bDBAreaChanged);
  EXPECT_TRUE(page.m_bUpdateDB);
  page.EvaluateUpdates();
  EXPECT_EQ(page.m_strFileDB, QStringLiteral("100330_Germany"));
}

TEST_F(UpdatePageTest, TypingIntoAComboBoxKeepsTheListedChoice) {
  OpenPage();
  CDBUpdateTab& page = Page();
  Choose(page.m_comboDB, 3);
  QLineEdit* edit = page.m_comboDB->lineEdit();
  edit->setText(QStringLiteral("Atlantis"));
  emit edit->textEdited(QStringLiteral("Atlantis"));
  EXPECT_EQ(page.m_comboDB->currentIndex(), 3);
  EXPECT_EQ(page.m_comboDB->currentText(), QStringLiteral("UnitedKingdom"));
}

TEST_F(UpdatePageTest, ManualModeWithoutThePackTicksTheAutoRadio) {
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_radioManual->click();
  EXPECT_EQ(m_messages, QStringList{Text(DBFW(10))});
  EXPECT_TRUE(page.m_radioAuto->isChecked());
  EXPECT_EQ(page.m_nMode, CDBUpdateTab::kModeManual);
  EXPECT_TRUE(page.m_labelDownloadPhase->isHidden());
}

TEST_F(UpdatePageTest, ManualModeUnpacksThePackAndTicksItsPackages) {
  ASSERT_TRUE(MakeZip(WorkFile(QString::fromLatin1(kManualPackFileName)),
                      {{QStringLiteral("ZipLIST.txt"),
                        "DB_FNAME = db 1.hdr\r\nVOICE_FNAME=voice.hdr\r\nFW_FNAME=../fw.hdr\r\n"},
                       {QStringLiteral("db1.hdr"), QByteArray(2000, 'd')},
                       {QStringLiteral("voice.hdr"), QByteArray(2000, 'v')}}));
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_radioManual->click();  // the unpack dialog runs modally and closes itself
  EXPECT_TRUE(QFile::exists(WorkFile("db1.hdr")));
  EXPECT_EQ(page.m_strManualDB, QStringLiteral("db1.hdr"));
  EXPECT_EQ(page.m_editVoice->text(), QStringLiteral("voice.hdr"));
  EXPECT_TRUE(page.m_checkDB->isChecked());
  EXPECT_TRUE(page.m_checkVoice->isChecked());
  // The firmware line points outside the working folder: left out, and the user is told.
  EXPECT_FALSE(page.m_checkFW->isChecked());
  EXPECT_TRUE(page.m_strManualFW.isEmpty());
  // The automatic mode had marked the newer firmware; the pack does not hold it.
  EXPECT_FALSE(page.m_bUpdateFW);
  EXPECT_EQ(page.m_lampFW->BackgroundColor(), kGreen);
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains(QStringLiteral("../fw.hdr")));
  EXPECT_FALSE(page.m_comboDB->isEnabled());
  EXPECT_TRUE(page.m_checkFW->isEnabled());
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());

  // Unticking every package leaves nothing to send.
  page.m_checkDB->click();
  page.m_checkVoice->click();
  EXPECT_FALSE(page.m_editDB->isEnabled());
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kGreen);
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
  m_messages.clear();
  page.OnUpdateClicked();
  EXPECT_EQ(m_messages, QStringList{Error(5)});
}

TEST_F(UpdatePageTest, PackWithoutItsListSaysSo) {
  ASSERT_TRUE(MakeZip(WorkFile(QString::fromLatin1(kManualPackFileName)),
                      {{QStringLiteral("db.hdr"), QByteArray(2000, 'd')}}));
  OpenPage();
  Page().m_radioManual->click();
  EXPECT_EQ(m_messages,
            QStringList{QString::fromLatin1(UpdateCatalogue::kZipListMissingMessage)});
  EXPECT_FALSE(Page().m_checkDB->isChecked());
}

TEST_F(UpdatePageTest, BrokenPackSaysTheUnpackingDidNotFinish) {
  ASSERT_TRUE(TestSupport::WriteFile(WorkFile(QString::fromLatin1(kManualPackFileName)),
                                     "this is no zip archive"));
  OpenPage();
  Page().m_radioManual->click();
  ASSERT_FALSE(m_messages.isEmpty());
  EXPECT_EQ(m_messages.last(), UiText(Sheet().m_arrText, kLanguageEnglish,
                                      UiIndex(RESET_TAB_001, 18)));
}

TEST_F(UpdatePageTest, WithoutInternetThePageStartsInManualMode) {
  Sheet().m_bInternetConnected = false;
  OpenPage();
  CDBUpdateTab& page = Page();
  EXPECT_FALSE(page.m_radioAuto->isEnabled());
  EXPECT_EQ(page.m_nMode, CDBUpdateTab::kModeManual);
  EXPECT_EQ(m_messages, QStringList{Text(DBFW(10))});
}

TEST_F(UpdatePageTest, ControlsFollowTheConnectionAndTheMode) {
  OpenPage();
  CDBUpdateTab& page = Page();
  page.EnableControls(false);
  EXPECT_FALSE(page.m_comboDB->isEnabled());
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
  EXPECT_FALSE(page.m_radioManual->isEnabled());
  page.EnableControls(true);
  EXPECT_TRUE(page.m_comboVoice->isEnabled());
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());
  EXPECT_FALSE(page.m_editFW->isEnabled());

  Sheet().m_bUnitConnected = false;
  page.EnterManualMode();  // no unit: nothing to choose, no message
  EXPECT_TRUE(m_messages.isEmpty());
  EXPECT_FALSE(page.m_checkDB->isEnabled());
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
  page.EnableControls(true);
  EXPECT_FALSE(page.m_comboDB->isEnabled());
  EXPECT_TRUE(page.m_editDB->isEnabled());
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
}

TEST_F(UpdatePageTest, NothingNewerRefusesTheRun) {
  SetUnitReply({2, 2, 4, 12, 7, 1, 6, 1, 2, 3, 0, 0});
  OpenPage();
  Page().OnUpdateClicked();
  EXPECT_EQ(m_messages, QStringList{Error(9)});
  EXPECT_TRUE(Sheet().m_pageMain.m_bBusy);
  EXPECT_FALSE(Page().m_buttonUpdate->isEnabled());
}

TEST_F(UpdatePageTest, AnAreaWithoutEntryNeverSendsTheEarlierAreasDatabase) {
  OpenPage();  // the unit's database is older: Europe's package is marked
  CDBUpdateTab& page = Page();
  ASSERT_EQ(page.m_strFileDB, QStringLiteral("100412_Europe"));
  Sheet().m_listDB.removeAt(1);  // no entry for France
  Choose(page.m_comboDB, 1);
  page.m_buttonUpdate->click();
  EXPECT_EQ(m_messages, QStringList{Error(6)});
  EXPECT_FALSE(page.m_bUpdateDB);
  EXPECT_TRUE(page.m_strFileDB.isEmpty());
  EXPECT_TRUE(Sheet().m_pageMain.m_bBusy);  // a refused attempt keeps the main page paused
}
