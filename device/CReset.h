#pragma once

#include <QString>
#include <QTimer>
#include <array>

#include "app/CPropertyPage.h"
#include "device/RecoveryTransfer.h"
#include "platform/Worker.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"
#include "update/UpdateCatalogue.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TextProgressBar;

// The recovery page: rewrites the firmware of a unit from a chosen package file (manual) or
// from the update server (automatic). It watches for the unit with its own probe and sends
// the package over the recovery channel on a worker, showing the progress. A recovery is
// complete only once the unit has restarted with the firmware and identified itself again.
class CReset : public CPropertyPage, public IDownloadSink {
  Q_OBJECT
 public:
  static constexpr int kProbePeriodMs = 1000;
  // The main page polls at this period again once a recovery is over.
  static constexpr int kPollPeriodAfterRecoveryMs = 1000;
  // Codes of the transfer worker's reports.
  static constexpr int kReportProgress = 3;
  static constexpr int kReportFinished = 5;
  static constexpr int kReportFailed = 6;
  static constexpr int kReportChannelNotOpen = 7;
  static constexpr const char* kFileFilter = ".hdr File(*.hdr)";

  explicit CReset(CV700UpdaterDlg* sheet);
  ~CReset() override;

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;  // nothing here depends on the main page's unit
  void OnUnitJobChanged(bool bHeldByOther) override;

  quint64 m_nDownloadProgressMax = 0;
  quint64 m_nDownloadProgress = 0;
  QString m_strLocalPath;
  QString m_strRemoteURL;
  int m_nLanguage = 0;
  bool m_bAutoMode = true;
  // The channel the last probe opened; the package goes to the worker with it.
  RecoveryTransfer m_transfer;

  // Handlers.
  void OnAutoMode();
  void OnManualMode();
  void OnBrowse();
  void OnUpdate();
  void ProbeUnit();
  int OnTransferReport(int wParam, unsigned lParam);
  // Shows a report of the firmware download (on the user-interface thread).
  void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                          quint64 bytesDone, quint64 bytesTotal) override;
  // Reads the package and starts the worker that sends it; false when the file is missing,
  // unreadable or too short to be a package (the user is told), or another page's job holds
  // the unit.
  bool StartRecoveryTransfer(const QString& path);
  // The main page has the unit's identification: after a transfer, the one that follows
  // the unit's restart decides whether it took the firmware.
  void OnUnitIdentified();

  bool IsProbeTimerActive() const { return m_timerProbe.isActive(); }
  // Tests shorten the watchdog's tick and the wait for the restart; the page uses the update
  // page's period and UnitCheck::kTimeout.
  void SetWatchdogPeriodMs(int ms) { m_timerWatchdog.setInterval(ms); }
  void SetRestartWaitMs(int ms) { m_timerRestartWait.setInterval(ms); }
  // A recovery is under way: download, transfer, or the wait for the unit's restart.
  bool IsRecoveryRunning() const { return m_bRecoveryRunning; }
  // The firmware is on its way to the unit (the watchdog guards exactly that span).
  bool IsSendingToUnit() const override { return m_timerWatchdog.isActive(); }
  void StopWorkers() override;

  // Controls.
  QGroupBox* m_groupMode = nullptr;        // 1067
  QRadioButton* m_radioAuto = nullptr;     // 1065
  QRadioButton* m_radioManual = nullptr;   // 1066
  QGroupBox* m_groupSteps = nullptr;       // 1068
  std::array<QLabel*, 7> m_staticSteps{};  // 1069 to 1075
  QLineEdit* m_editPath = nullptr;         // 1076
  QPushButton* m_buttonBrowse = nullptr;   // 1077
  QPushButton* m_buttonUpdate = nullptr;   // 1078
  TextProgressBar* m_progress = nullptr;   // 1079
  QLabel* m_staticStatus = nullptr;        // 1080

 protected:
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  // How a recovery that did not complete leaves the page.
  enum class AfterRecovery { ReleaseUnit, WaitForUnit };

  void BuildControls();
  void StartDownload();
  void OnDownloadDone(DownloadResult result, const QString& errorText);
  // Takes the unit and locks the page's controls; false when another page's job holds it.
  bool BeginRecovery();
  // The recovery is over without a verdict: the controls and the unit are given back, and
  // the page either waits for the unit again (so Update comes back with the same file) or
  // leaves it to the main page's poll.
  void EndRecovery(AfterRecovery after);
  void SetRecoveryRunning(bool bRunning);
  // Gives the unit back to the main page's poll.
  void ReleaseUnit();
  void SetBusy();
  void WaitForUnit();
  // A transfer that has not reported progress for too long is given up.
  void OnWatchdogTick();
  void StopTransferWatch();
  // After the transfer: the unit is watched until it has restarted or the wait is over.
  void AwaitRestart();
  void OnRestartProbe();
  void FinishRecovery(const std::optional<UpdateCatalogue::UnitVersions>& unit);

  // Children of the page, found by their names ("probe", "watchdog", "restartWait").
  QTimer m_timerProbe{this};
  QTimer m_timerWatchdog{this};
  QTimer m_timerRestartProbe{this};
  QTimer m_timerRestartWait{this};
  int m_nWatchdogTicks = 0;
  bool m_bRecoveryRunning = false;
  bool m_bAwaitingRestart = false;
  bool m_bUnitLeft = false;  // the unit has left the USB since the transfer ended
  QString m_strDownloadPhase;  // DBFW_TAB_014
  QString m_strSentFile;       // the file sent, as the messages name it
  QString m_strExpectedFW;     // the version a downloaded firmware was published as
  // The download, then the transfer: one at a time. Last member, so it is stopped and
  // joined before anything it reports to goes.
  Worker<CReset> m_worker{this};
};
