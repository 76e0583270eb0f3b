#include "app/CPropertyPage.h"

#include "app/CV700UpdaterDlg.h"

CPropertyPage::CPropertyPage(CV700UpdaterDlg* sheet) : m_pSheet(sheet) {}

CPropertyPage::~CPropertyPage() = default;

void CPropertyPage::CreatePageWindow() {
  if (m_bWindowCreated) return;
  m_bWindowCreated = true;
  OnInitDialog();
}

void CPropertyPage::DestroyPageWindow() {
  if (!m_bWindowCreated) return;
  OnDestroyWindow();
  m_bWindowCreated = false;
}

void CPropertyPage::OnInitDialog() {
  if (m_bTextsPending && m_pSheet) ApplyLanguage(m_pSheet->m_nLanguageID);
}
