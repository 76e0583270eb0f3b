#include "poi/CPOITab.h"

#include "app/CV700UpdaterDlg.h"

CPOITab::CPOITab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {}

void CPOITab::ApplyLanguage(int /*nLanguage*/) { m_bTextsPending = false; }

void CPOITab::EnableControls(bool /*bEnable*/) {}
