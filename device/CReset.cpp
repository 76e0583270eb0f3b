#include "device/CReset.h"

#include "app/CV700UpdaterDlg.h"

CReset::CReset(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {}

void CReset::ApplyLanguage(int /*nLanguage*/) { m_bTextsPending = false; }

void CReset::EnableControls(bool /*bEnable*/) {}
