#pragma once

#include "app/CPropertyPage.h"

// The recovery page of the sheet.
class CReset : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CReset(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
};
