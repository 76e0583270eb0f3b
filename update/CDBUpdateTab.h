#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/CPropertyPage.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateRun.h"
#include "widgets/ColorRef.h"

class GradientLabel;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TextProgressBar;
class CUnzipPackDlg;

// The update page of the sheet: keeps the unit's database, voice and firmware current.
// In automatic mode the packages newer than the unit's (or all, when forced) come from the
// update server; in manual mode they come from the unpacked manual pack. The decisions are
// UpdateCatalogue's, the run is UpdateRun's; the page shows them.
class CDBUpdateTab : public CPropertyPage {
  Q_OBJECT
 public:
  // Lamp colours: orange for a package to be sent, green for one up to date, white at start.
  static constexpr COLORREF kLampToSend = 0x00A5FF;
  static constexpr COLORREF kLampUpToDate = 0x01FF00;
  static constexpr COLORREF kLampIdle = 0xFFFFFF;
  static constexpr COLORREF kProgressStartColour = 0x808000;
  static constexpr COLORREF kProgressEndColour = 0x800000;
  static constexpr COLORREF kProgressTextColour = 0x008000;
  // Template ids of the package check boxes.
  static constexpr int kCheckDBId = 1081;
  static constexpr int kCheckVoiceId = 1082;
  static constexpr int kCheckFWId = 1083;
  static constexpr int kModeManual = 0;
  static constexpr int kModeAuto = 1;

  explicit CDBUpdateTab(CV700UpdaterDlg* sheet);
  ~CDBUpdateTab() override;

  void ApplyLanguage(int nLanguage) override;
  // The main page has read the unit's versions again: show them and, in automatic mode,
  // decide afresh which packages it needs.
  void OnUnitIdentified();
  void EnableControls(bool bEnable) override;
  // The whole run counts, its downloads and the pauses between packages too: closing then
  // may leave the unit with only part of what the user asked for.
  bool IsSendingToUnit() const override { return m_run.IsRunning(); }
  void StopWorkers() override;

  void EnterAutoMode();
  void EnterManualMode();
  void ShowUpdateLamps();
  void ShowVersionLabels();
  void ResetRunState();

  // Catalogue decisions on the page's current choice.
  void SelectUnitDBArea();
  void SelectUnitVoice();
  int CheckDBPackage();
  int CheckVoicePackage();
  void EvaluateUpdates();
  int ReadZipList();

  // The run.
  void OnUpdateClicked();
  void StartAutoRun();
  void StartManualRun();
  void FinishRun();
  void OnDownloadProgress(const QString& progressText, quint64 bytesDone, quint64 bytesTotal);

  // Control notifications.
  void OnDBAreaSelected(int position);
  void OnVoiceSelected(int position);
  void OnForceClicked();
  void OnPackageCheckClicked(int controlId);

  // The unit's versions, written by the main page when the unit has identified itself.
  int m_nUnitDBVersion = 0;
  int m_nUnitDBArea = 0;
  int m_nUnitVoiceVersion = 0;
  int m_nUnitVoiceLanguage = 0;
  float m_fUnitFWVersion = 0.0f;
  QString m_strUnitDBArea;

  int m_nMode = kModeAuto;
  bool m_bUpdateDB = false;
  bool m_bUpdateVoice = false;
  bool m_bUpdateFW = false;
  bool m_bForce = false;
  bool m_bDBAreaChanged = false;
  bool m_bVoiceLangChanged = false;
  bool m_bSavedDB = false;
  bool m_bSavedVoice = false;
  bool m_bSavedFW = false;
  int m_nDBSel = 0;
  int m_nVoiceSel = 0;
  int m_nServerDBVersion = 0;
  int m_nServerVoiceVersion = 0;
  QString m_strFileDB, m_strFileVoice, m_strFileFW;
  QString m_strManualDB, m_strManualVoice, m_strManualFW;
  QString m_strUrlDB, m_strUrlVoice, m_strUrlFW;
  QString m_strLocalDir;
  QString m_strPathDB, m_strPathVoice, m_strPathFW;
  QStringList m_listDBNames, m_listVoiceNames;
  QStringList m_listDBNamesLang1, m_listVoiceNamesLang1;
  quint64 m_nDownloadProgress = 0;
  quint64 m_nDownloadProgressMax = 0;

  // Texts of the current language.
  QString m_strUpToDate;      // DBFW_TAB_002
  QString m_strToSend;        // DBFW_TAB_005
  QString m_strErrorLine;     // DBFW_TAB_006
  QString m_strPackMissing;   // DBFW_TAB_010
  QString m_strDownloadDB, m_strDownloadVoice, m_strDownloadFW;  // DBFW_TAB_012..014
  QString m_strSendDB, m_strSendVoice, m_strSendFW;              // DBFW_TAB_016..018
  QString m_strRunFinished;   // DBFW_TAB_019
  QString m_strCaptionFW, m_strCaptionDB, m_strCaptionVoice;     // DBFW_TAB_025..027
  QString m_strUnpackFailed;  // RESET_TAB_018

  // The run, with the page's timers.
  UpdateRun m_run;
  // The manual pack's dialog while it unpacks, so that closing the program ends it.
  QPointer<CUnzipPackDlg> m_pUnpackDialog;

  // Controls, by their template ids.
  QRadioButton* m_radioAuto = nullptr;       // 1025
  QRadioButton* m_radioManual = nullptr;     // 1026
  QComboBox* m_comboDB = nullptr;            // 1034
  QLineEdit* m_editDB = nullptr;             // 1031
  QCheckBox* m_checkDB = nullptr;            // 1081
  QLabel* m_labelDBVersion = nullptr;        // 1042
  GradientLabel* m_lampDB = nullptr;         // 1059
  QLabel* m_labelDBState = nullptr;          // 1032
  QComboBox* m_comboVoice = nullptr;         // 1035
  QLineEdit* m_editVoice = nullptr;          // 1028
  QCheckBox* m_checkVoice = nullptr;         // 1082
  QLabel* m_labelVoiceVersion = nullptr;     // 1043
  GradientLabel* m_lampVoice = nullptr;      // 1060
  QLabel* m_labelVoiceState = nullptr;       // 1030
  QLineEdit* m_editFW = nullptr;             // 1047
  QCheckBox* m_checkFW = nullptr;            // 1083
  QLabel* m_labelFWVersion = nullptr;        // 1041
  GradientLabel* m_lampFW = nullptr;         // 1061
  QLabel* m_labelFWState = nullptr;          // 1046
  QCheckBox* m_checkForce = nullptr;         // 1084
  QPushButton* m_buttonUpdate = nullptr;     // 1001
  TextProgressBar* m_progress = nullptr;     // 1029
  QLabel* m_labelDownloadPhase = nullptr;    // 1045
  QLabel* m_labelDownloadSize = nullptr;     // 1048
  QLabel* m_labelSendPhase = nullptr;        // 1062
  QLabel* m_labelError = nullptr;            // 1063

 protected:
  void OnInitDialog() override;

 private:
  void CreateControls();
  void ConnectRun();
  UpdateCatalogue::UnitVersions UnitVersions() const;
  QString CatalogueDBName() const;
  QString CatalogueVoiceName() const;
  void ApplyDBCheck(const UpdateCatalogue::PackageCheck& check);
  void ApplyVoiceCheck(const UpdateCatalogue::PackageCheck& check);
  QString PageText(int nLanguage, int index) const;
  QString ErrorMessage(int number) const;
  void ShowLamp(bool bToSend, QLabel* state, GradientLabel* lamp);
  // Lamps without a claim: white, no state text.
  void ShowIdleLamps();
  // The one place that enables the controls: each one's state follows from the unit being
  // there, a run going (which locks them all), the mode, the manual list and the marks.
  void UpdateControlStates();
  void OnRunSendStarted(int transferKind);
  // Shows why a run does not start; false when it may.
  bool ShowRefusal(RunRefusal refusal);
  // Keeps the plan's addresses and paths in the page's members and starts the run.
  void StartRun(const UpdateRunPlan& plan);
  void OnRunDownloadStarted(int downloadState);
  // A run that ended without finishing: phase texts and bar back to idle, controls back.
  void ShowRunAtRest();
  // The run ended on a failed download: nothing was sent; the page is back at rest.
  void OnRunDownloadFailed(int downloadState, DownloadResult result, const QString& errorText);
  // After a finished automatic run: the unit told its versions (which packages it did not
  // take, if any), or did not in time.
  void OnUnitChecked(bool bAnswered);

  bool m_bControlsEnabled = false;  // the sheet's last word: a unit is there
  bool m_bAutoRadioHeld = false;    // no Internet at start: no automatic mode for now
  bool m_bManualListShown = false;  // the manual pack's list is read and its boxes offered
  bool m_bLampsShown = false;       // the lamps claim a state (not white)
  // The end message is open; a notice that comes meanwhile waits here for it.
  bool m_bEndMessageOpen = false;
  QString m_strNoticeWaiting;
};
