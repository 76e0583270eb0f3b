#include "update/CDBUpdateTab.h"

#include "app/CV700UpdaterDlg.h"

CDBUpdateTab::CDBUpdateTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {}

void CDBUpdateTab::ApplyLanguage(int /*nLanguage*/) { m_bTextsPending = false; }

void CDBUpdateTab::EnableControls(bool /*bEnable*/) {}
