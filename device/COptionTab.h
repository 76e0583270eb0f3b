#pragma once

#include "app/CPropertyPage.h"
#include "device/SpeedUnitCommand.h"
#include "platform/Worker.h"

class QComboBox;
class QGroupBox;
class QPushButton;

// The option page of the sheet: the speed unit the unit uses, sent with "$P1<".
class COptionTab : public CPropertyPage {
  Q_OBJECT
 public:
  static constexpr const char* kUnitChangedMessage = "Unit is changed!";

  explicit COptionTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
  void StopWorkers() override { m_unitCommand.Stop(); }

  // The unit combo's remembered selection.
  int m_nUnitSel = 0;

  // Handlers.
  void OnApply();
  void OnEditchangeUnit();

  // Controls.
  QGroupBox* m_groupUnit = nullptr;     // 1023
  QComboBox* m_comboUnit = nullptr;     // 1021
  QPushButton* m_buttonApply = nullptr;  // 1022

 protected:
  void OnInitDialog() override;

 private:
  void OnUnitCommandDone(SpeedUnitOutcome outcome, int selection);

  // Last: stopped and joined before anything else of the page goes.
  Worker<COptionTab> m_unitCommand{this};
};
