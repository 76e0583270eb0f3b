#include "app/CV700UpdaterApp.h"

#include "app/CV700UpdaterDlg.h"
#include "app/Screenshot.h"
#include "platform/Profile.h"

CV700UpdaterApp theApp;

namespace {
constexpr const char* kMainTitleAtStart = "Main";
constexpr const char* kResetTitleAtStart = "Reset";

// Only English and French have text tables; any other remembered number starts in English.
int SupportedLanguage(int nLanguage) {
  return nLanguage == kLanguageEnglish || nLanguage == kLanguageFrench ? nLanguage : kLanguageEnglish;
}
}  // namespace

bool CV700UpdaterApp::InitInstance() {
  CV700UpdaterDlg sheet;
  m_pSheet = &sheet;
  sheet.m_nLanguageID = SupportedLanguage(
      Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, Profile::kDefaultLanguage));
  sheet.m_pageMain.SetTitle(QString::fromLatin1(kMainTitleAtStart));
  sheet.AddPage(&sheet.m_pageMain);
  sheet.m_pageReset.SetTitle(QString::fromLatin1(kResetTitleAtStart));
  sheet.AddPage(&sheet.m_pageReset);
  Screenshot::ArrangeFromEnvironment(&sheet);
  sheet.DoModal();
  m_pSheet = nullptr;
  return false;
}
