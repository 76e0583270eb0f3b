#pragma once

#include "app/CPropertyPage.h"

// The option page of the sheet.
class COptionTab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit COptionTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
};
