#include "device/COptionTab.h"

#include "app/CV700UpdaterDlg.h"

COptionTab::COptionTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {}

void COptionTab::ApplyLanguage(int /*nLanguage*/) { m_bTextsPending = false; }

void COptionTab::EnableControls(bool /*bEnable*/) {}
