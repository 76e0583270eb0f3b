#include "app/CV700UpdaterApp.h"

#include "app/CV700UpdaterDlg.h"
#include "app/Screenshot.h"

CV700UpdaterApp theApp;

bool CV700UpdaterApp::InitInstance() {
  CV700UpdaterDlg sheet;
  m_pSheet = &sheet;
  sheet.m_nLanguageID = StartupLanguage();
  sheet.AddStartupPages();
  Screenshot::ArrangeFromEnvironment(&sheet);
  sheet.DoModal();
  m_pSheet = nullptr;
  return false;
}
