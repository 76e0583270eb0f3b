#pragma once

#include "app/CPropertyPage.h"

// The update page of the sheet.
class CDBUpdateTab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CDBUpdateTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
};
