#pragma once

#include <QString>

#include "app/CPropertyPage.h"

// The update page of the sheet: keeps the unit's database, voice and firmware current.
class CDBUpdateTab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CDBUpdateTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;

  // The unit's versions, written by the main page when the unit has identified itself.
  int m_nUnitDBVersion = 0;
  int m_nUnitDBArea = 0;
  int m_nUnitVoiceVersion = 0;
  int m_nUnitVoiceLanguage = 0;
  float m_fUnitFWVersion = 0.0f;
  QString m_strUnitDBArea;
};
