#include "app/CV700UpdaterApp.h"

#include "app/CV700UpdaterDlg.h"
#include "app/Screenshot.h"
#include "platform/Profile.h"

CV700UpdaterApp theApp;

int StartupLanguage() {
  const int remembered =
      Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, Profile::kDefaultLanguage);
  // Only English and French have text tables; any other number starts in English.
  return remembered == kLanguageEnglish || remembered == kLanguageFrench ? remembered : kLanguageEnglish;
}

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
