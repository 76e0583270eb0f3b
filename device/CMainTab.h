#pragma once

#include "app/CPropertyPage.h"

// The main page of the sheet.
class CMainTab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CMainTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
};
