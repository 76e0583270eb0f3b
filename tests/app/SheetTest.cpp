#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "platform/Profile.h"
#include "support/DeviceSheet.h"

namespace {

using Sheet = CV700UpdaterDlg;

QStringList TabLabels(const CV700UpdaterDlg& sheet) {
  QStringList labels;
  for (int i = 0; i < sheet.GetPageCount(); ++i) labels << sheet.TabLabel(i);
  return labels;
}

// Each test remembers its language in a settings file of its own.
class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override { Profile::SetFilePathForTesting(m_profile.filePath(QStringLiteral("profile.ini"))); }
  QTemporaryDir m_profile;
};

// Start-up with the data files and a network, then without either.
TEST_F(SheetTest, StartUpReadsOrMissesTheDataFilesWaitsForTheSplashAndCaptionsExactlyTheVersion) {
  CV700UpdaterApp::SetApplicationNames();
  for (const bool withFiles : {true, false}) {
    SCOPED_TRACE(withFiles);
    DeviceSheet s(false);
    // A working directory of any length is used whole, never cut to a buffer's size.
    QString folder = QDir::currentPath();
    while (folder.size() < 140) folder += QStringLiteral("/a-rather-long-folder-name");
    s.EnterFolder(folder, withFiles);
    InternetState::SetForTesting(withFiles);
    const int splashTickMs = withFiles ? Sheet::kSplashTimerOnlineMs : Sheet::kSplashTimerOfflineMs;
    TestSupport::Clock clock;
    Sheet* const sheet = &s.Start();
    EXPECT_GE(clock.elapsed(), 3 * splashTickMs - 50);  // the splash closes on its timer's third tick
    EXPECT_LT(clock.elapsed(), 3 * splashTickMs + 3000);
    EXPECT_EQ(TabLabels(*sheet), (QStringList{"Main", "Reset"}));
    EXPECT_EQ(sheet->m_strCurDir, QDir::currentPath());
    // Missing files are each told, and start-up goes on without their contents.
    const QStringList told{Sheet::kVersionMissingMessage, Sheet::kUITextMissingMessage};
    EXPECT_EQ(s.Messages(), withFiles ? QStringList() : told);
    EXPECT_EQ(std::tuple(sheet->m_arrText[1].size(), sheet->m_strErrorMsg[0].isEmpty(),
                         sheet->m_strFWFile.isEmpty()),
              std::tuple(withFiles ? kUiTextCount : 0, !withFiles, !withFiles));
    // The title alone: the window system would add an application display name to it.
    sheet->show();
    EXPECT_EQ(sheet->windowHandle()->title(), u"V770 PC Software v1.0.1.18"_qs);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    sheet->SetLanguage(kLanguageFrench);  // texts that were never read are empty, not a crash
    sheet->ShowDevicePages(true);
    EXPECT_EQ(sheet->GetPageCount(), 5);
  }
  // A coarse timer may fire up to 5 % early: a unit asked before its 1.5 s, a probe too soon.
  CV700UpdaterDlg sheet;
  QList<QTimer*> timers = sheet.m_pageMain.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
  timers += sheet.m_pageReset.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
  timers += sheet.m_pageUpdate.m_run.findChildren<QTimer*>();  // a package sent too soon after the last
  // Poll, version query delay, probe, watchdog, restart probe and wait; the update run's seven.
  EXPECT_EQ(timers.size(), 13);
  for (const QTimer* timer : timers)
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << timer->objectName().toStdString();
}

TEST_F(SheetTest, KeysTabsAndTheRememberedLanguage) {
  DeviceSheet s;
  Sheet* const sheet = s.sheet.get();
  // Enter, Escape and the function keys never reach the window: only the close box closes it.
  auto* edit = new QLineEdit(&sheet->m_pageMain);
  sheet->show();
  edit->setFocus();
  const auto press = [](QWidget* target, int key, const QString& text = QString()) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &event);
  };
  press(sheet, Qt::Key_Escape);
  for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_F1}) press(edit, key);
  EXPECT_TRUE(sheet->isVisible()) << "Escape or Enter closed the sheet";
  press(edit, Qt::Key_A, QStringLiteral("a"));
  EXPECT_EQ(edit->text(), QStringLiteral("a")) << "ordinary keys still reach the controls";

  // Tabs follow the language the main page's list chooses, and the unit; typed text is undone.
  const auto t = [&](int language, int index) { return UiText(sheet->m_arrText, language, index); };
  QComboBox* choice = sheet->m_pageMain.m_comboLanguage;
  choice->setCurrentIndex(1);
  emit choice->activated(1);
  choice->lineEdit()->setText("x");
  emit choice->lineEdit()->textEdited("x");
  EXPECT_EQ(choice->currentText(), choice->itemText(1));
  EXPECT_EQ(TabLabels(*sheet), (QStringList{t(2, MAIN_TAB_001), t(2, RESET_TAB_001)}));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), u"&Ouvrir"_qs);  // Qt's own dialogs too
  // Under the pages: the folder the program works in, named in the new language.
  const auto* folder = sheet->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->text(), u"Dossier de travail : "_qs + sheet->m_strCurDir);
  EXPECT_EQ(StartupLanguage(), kLanguageFrench);
  // Error messages follow too: a user who switched never meets the other language.
  EXPECT_EQ(sheet->m_strErrorMsg[0], t(2, ERROR_MSG_001));

  sheet->ShowDevicePages(false);  // never shown: nothing to remove
  sheet->ShowDevicePages(true);
  sheet->ShowDevicePages(true);
  EXPECT_EQ(TabLabels(*sheet), (QStringList{t(2, MAIN_TAB_001), t(2, DBFW_TAB_001), t(2, POI_TAB_001),
                                            t(2, OPTION_TAB_001), t(2, RESET_TAB_001)}));
  sheet->ShowDevicePages(false);
  sheet->ShowDevicePages(false);
  sheet->SetLanguage(kLanguageEnglish);
  EXPECT_EQ(TabLabels(*sheet), (QStringList{t(1, MAIN_TAB_001), t(1, RESET_TAB_001)}));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), u"&Open"_qs);
  // The next start takes the remembered language when it has texts, else English.
  for (int remembered : {0, 3, 4, -1, 99, kLanguageFrench}) {
    Profile::WriteProfileInt(Profile::kSection, Profile::kLanguageKey, remembered);
    EXPECT_EQ(StartupLanguage(), remembered == kLanguageFrench ? remembered : kLanguageEnglish) << remembered;
  }
}

}  // namespace
