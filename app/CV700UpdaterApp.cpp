#include "app/CV700UpdaterApp.h"

#include <QApplication>

#include "app/CV700UpdaterDlg.h"
#include "app/Screenshot.h"
#include "app/ScriptedPresses.h"
#include "platform/SingleInstance.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"

CV700UpdaterApp theApp;

void CV700UpdaterApp::SetApplicationNames() {
  QCoreApplication::setApplicationName(QStringLiteral("V770PCSoft"));
  // Desktops match the window to its menu entry (name and icon) by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.v770pcsoft"));
}

bool CV700UpdaterApp::InitInstance() {
  CV700UpdaterDlg sheet;
  m_pSheet = &sheet;
  sheet.m_nLanguageID = StartupLanguage();
  sheet.AddStartupPages();
  UiSeams::AnswerMessagesFromEnvironment();
  Screenshot::ArrangeFromEnvironment(&sheet);
  ScriptedPresses::ArrangeFromEnvironment(&sheet);
  sheet.DoModal();
  m_pSheet = nullptr;
  return false;
}

void CV700UpdaterApp::RequestClose() {
  if (m_pSheet) m_pSheet->CloseProgram();
}

void CV700UpdaterApp::BringToFront() {
  // During start-up the splash is the window; later a message box may stand before the sheet.
  QWidget* window = QApplication::activeModalWidget();
  if (!window) window = m_pSheet;
  if (!window || !window->isVisible()) return;
  if (window->isMinimized()) window->showNormal();
  window->raise();
  window->activateWindow();
}

int CV700UpdaterApp::HandOverToRunningProgram(SingleInstance& instance) {
  // The command line has no window to bring forward: say at once what holds the unit.
  const bool bCommandLine = instance.HolderName() == QLatin1String(SingleInstance::kCommandLineName);
  if (!bCommandLine && instance.AskRunningToActivate()) return 0;
  LoadExtraTexts(WorkingFolder::FilePath(WorkingFolder::Current(), QString::fromLatin1(kExtraTextFileName)));
  SetExtraTextLanguage(StartupLanguage());
  UiSeams::ShowMessage(nullptr,
                       ExtraText(bCommandLine ? ExtraTextId::INSTANCE_COMMAND_LINE : ExtraTextId::INSTANCE_NOT_ANSWERING),
                       UiSeams::MessageIcon::Warning);
  return 1;
}
