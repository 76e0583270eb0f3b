#include "device/CMainTab.h"

#include "app/CV700UpdaterDlg.h"

CMainTab::CMainTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {}

void CMainTab::ApplyLanguage(int /*nLanguage*/) { m_bTextsPending = false; }

void CMainTab::EnableControls(bool /*bEnable*/) {}

void CMainTab::StopPollTimer() {}

void CMainTab::StartPollTimer(int /*periodMs*/) {}
