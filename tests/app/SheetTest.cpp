#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include "app/CV700UpdaterApp.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/InternetState.h"
#include "platform/Profile.h"
#include "platform/UiSeams.h"
#include "support/TestSupport.h"

namespace {

const QStringList kDataFiles = {QStringLiteral("V770UIText_New_v12.txt"),
                                QStringLiteral("V770_VersionInfo_v12.txt")};

class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_work.isValid());
    m_previousDir = QDir::currentPath();
    Profile::SetFilePathForTesting(m_work.filePath(QStringLiteral("profile.ini")));
    InternetState::SetForTesting(false);
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages << request.text;
      return QMessageBox::Ok;
    });
    EnterFolder(m_work.path(), true);
  }

  void TearDown() override {
    QDir::setCurrent(m_previousDir);
    UiSeams::SetMessageHandler({});
    InternetState::SetForTesting(std::nullopt);
  }

  void EnterFolder(const QString& folder, bool withDataFiles) {
    ASSERT_TRUE(QDir().mkpath(folder));
    if (withDataFiles) {
      for (const QString& name : kDataFiles) {
        QFile::remove(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(QFile::copy(TestSupport::ShippedDataPath(name), folder + QLatin1Char('/') + name))
            << name.toStdString();
      }
    }
    ASSERT_TRUE(QDir::setCurrent(folder));
  }

  QStringList TabLabels(const CV700UpdaterDlg& sheet) const {
    QStringList labels;
    for (int i = 0; i < sheet.GetPageCount(); ++i) labels << sheet.TabLabel(i);
    return labels;
  }

  QTemporaryDir m_work;
  QString m_previousDir;
  QStringList m_messages;
};

TEST_F(SheetTest, StartsWithMainAndResetTabsAndTheProgramVersionInTheCaption) {
  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());
  EXPECT_EQ(TabLabels(sheet), (QStringList{"Main", "Reset"}));
  EXPECT_EQ(sheet.windowTitle(), QStringLiteral("V770 PC Software v1.0.1.18"));
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(sheet.m_arrText[0].size(), kUiTextCount);
  EXPECT_EQ(sheet.m_arrText[1].size(), kUiTextCount);
  EXPECT_FALSE(sheet.m_strErrorMsg[0].isEmpty());
  EXPECT_FALSE(sheet.m_listDB.isEmpty());
  EXPECT_FALSE(sheet.m_strFWFile.isEmpty());
  EXPECT_TRUE(sheet.m_pageMain.HasWindow());
  EXPECT_FALSE(sheet.m_pageReset.HasWindow()) << "only the active page is created at start";
}

TEST_F(SheetTest, MissingDataFilesAreReportedAndStartUpGoesOn) {
  EnterFolder(m_work.filePath(QStringLiteral("empty")), false);
  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());
  EXPECT_EQ(m_messages,
            (QStringList{"Fail to read the Version File. Check this file on your PC!",
                         "Fail to read the V770UIText_New File. Check this file is on your PC!"}));
  EXPECT_EQ(TabLabels(sheet), (QStringList{"Main", "Reset"}));
  EXPECT_TRUE(sheet.m_listDB.isEmpty());
  EXPECT_TRUE(sheet.m_strErrorMsg[0].isEmpty());
  // Asking for texts that were never read gives empty texts, not a crash.
  EXPECT_TRUE(sheet.Text(MAIN_TAB_001).isEmpty());
  sheet.SetLanguage(kLanguageFrench);
  sheet.ShowDevicePages(true);
  EXPECT_EQ(sheet.GetPageCount(), 5);
}

TEST_F(SheetTest, AWorkingDirectoryOfOverAHundredCharactersIsUsedWhole) {
  QString deep = m_work.path();
  while (deep.size() < 140) deep += QStringLiteral("/a-rather-long-folder-name");
  EnterFolder(deep, true);
  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(sheet.m_strCurDir, QDir::currentPath());
  EXPECT_EQ(sheet.m_arrText[0].size(), kUiTextCount);
}

TEST_F(SheetTest, SwitchingLanguageRelabelsTheTabsAndRemembersOnlyAChange) {
  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());
  const QString profile = Profile::FilePath();

  sheet.SetLanguage(kLanguageFrench);
  EXPECT_EQ(sheet.m_nLanguageID, kLanguageFrench);
  EXPECT_EQ(TabLabels(sheet), (QStringList{UiText(sheet.m_arrText, kLanguageFrench, MAIN_TAB_001),
                                           UiText(sheet.m_arrText, kLanguageFrench, RESET_TAB_001)}));
  EXPECT_NE(TabLabels(sheet), (QStringList{"Main", "Reset"}));
  EXPECT_EQ(Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, 0), kLanguageFrench);
  // Error messages stay in the start-up language until the next start.
  EXPECT_EQ(sheet.m_strErrorMsg[0], UiText(sheet.m_arrText, kLanguageEnglish, ERROR_MSG_001));

  ASSERT_TRUE(QFile::remove(profile));
  sheet.SetLanguage(kLanguageFrench);
  EXPECT_FALSE(QFile::exists(profile)) << "the same language must not write the profile";

  sheet.SetLanguage(kLanguageEnglish);
  EXPECT_EQ(TabLabels(sheet), (QStringList{UiText(sheet.m_arrText, kLanguageEnglish, MAIN_TAB_001),
                                           UiText(sheet.m_arrText, kLanguageEnglish, RESET_TAB_001)}));
  EXPECT_EQ(Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, 0), kLanguageEnglish);
  EXPECT_EQ(sheet.GetPageCount(), 2) << "a language switch never adds the device pages";
}

TEST_F(SheetTest, DevicePagesAreAddedOnceInOrderAndRemovedOnlyAfterBeingShown) {
  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());

  sheet.ShowDevicePages(false);
  EXPECT_EQ(sheet.GetPageCount(), 2);

  sheet.ShowDevicePages(true);
  sheet.ShowDevicePages(true);
  const UiTextTables& t = sheet.m_arrText;
  EXPECT_EQ(TabLabels(sheet), (QStringList{"Main", UiText(t, 1, DBFW_TAB_001), UiText(t, 1, POI_TAB_001),
                                           UiText(t, 1, OPTION_TAB_001), UiText(t, 1, RESET_TAB_001)}));
  EXPECT_EQ(sheet.GetPageIndex(&sheet.m_pageReset), 4);

  sheet.SetLanguage(kLanguageFrench);
  EXPECT_EQ(sheet.TabLabel(2), UiText(t, kLanguageFrench, POI_TAB_001));

  sheet.ShowDevicePages(false);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  EXPECT_EQ(sheet.GetPageIndex(&sheet.m_pageMain), 0);
  EXPECT_EQ(sheet.GetPageIndex(&sheet.m_pageReset), 1);
  EXPECT_EQ(sheet.GetPageIndex(&sheet.m_pageUpdate), -1);
  sheet.ShowDevicePages(false);
  EXPECT_EQ(sheet.GetPageCount(), 2);
}

TEST_F(SheetTest, EnterEscapeAndFunctionKeysNeverReachTheWindow) {
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape), int(Qt::Key_F1),
                  int(Qt::Key_F12), int(Qt::Key_F24)})
    EXPECT_TRUE(IsSheetSwallowedKey(key)) << key;
  for (int key : {int(Qt::Key_A), int(Qt::Key_Tab), int(Qt::Key_Space), int(Qt::Key_F25)})
    EXPECT_FALSE(IsSheetSwallowedKey(key)) << key;

  CV700UpdaterDlg sheet;
  sheet.AddStartupPages();
  ASSERT_TRUE(sheet.OnInitDialog());
  auto* edit = new QLineEdit(&sheet.m_pageMain);
  sheet.show();
  edit->setFocus();

  auto press = [](QWidget* target, int key, const QString& text = QString()) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &event);
  };
  press(&sheet, Qt::Key_Escape);
  press(edit, Qt::Key_Escape);
  press(edit, Qt::Key_Return);
  press(edit, Qt::Key_F1);
  EXPECT_TRUE(sheet.isVisible()) << "Escape or Enter closed the sheet";
  EXPECT_EQ(sheet.result(), 0);
  press(edit, Qt::Key_A, QStringLiteral("a"));
  EXPECT_EQ(edit->text(), QStringLiteral("a")) << "ordinary keys still reach the controls";
  sheet.hide();
}

TEST_F(SheetTest, SplashClosesOnTheThirdTickOfItsTimer) {
  {
    InternetState::SetForTesting(false);
    CV700UpdaterDlg sheet;
    sheet.AddStartupPages();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sheet.OnInitDialog());
    const qint64 offlineMs = clock.elapsed();
    EXPECT_GE(offlineMs, 3 * CV700UpdaterDlg::kSplashTimerOfflineMs - 50);
    EXPECT_LT(offlineMs, 2000);
    EXPECT_FALSE(sheet.m_bInternetConnected);
    EXPECT_EQ(sheet.m_nSplashTicks, 0);
    EXPECT_FALSE(sheet.m_dlgSplash.isVisible());
  }
  {
    InternetState::SetForTesting(true);
    CV700UpdaterDlg sheet;
    sheet.AddStartupPages();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sheet.OnInitDialog());
    const qint64 onlineMs = clock.elapsed();
    EXPECT_GE(onlineMs, 3 * CV700UpdaterDlg::kSplashTimerOnlineMs - 50);
    EXPECT_LT(onlineMs, 6000);
    EXPECT_TRUE(sheet.m_bInternetConnected);
    EXPECT_FALSE(sheet.m_bSplashWait);
  }
}

TEST_F(SheetTest, StartupLanguageFallsBackToEnglishForNumbersWithoutTexts) {
  EXPECT_EQ(StartupLanguage(), kLanguageEnglish) << "nothing remembered yet";
  for (int remembered : {0, 3, 4, -1, 99}) {
    Profile::WriteProfileInt(Profile::kSection, Profile::kLanguageKey, remembered);
    EXPECT_EQ(StartupLanguage(), kLanguageEnglish) << remembered;
  }
  Profile::WriteProfileInt(Profile::kSection, Profile::kLanguageKey, kLanguageFrench);
  EXPECT_EQ(StartupLanguage(), kLanguageFrench);
}

}  // namespace
