#pragma once

#include "app/CPropertyPage.h"

// The POI page of the sheet.
class CPOITab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CPOITab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
};
