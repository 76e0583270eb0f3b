#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "platform/Worker.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"
#include "update/PackageSender.h"
#include "update/UnitCheck.h"
#include "update/UpdateRunPlan.h"

class CDownloadStatusCallback;

// The update page's run: downloads the marked packages one after the other (automatic
// runs), then sends them to the unit, database, voice, firmware, watched by a watchdog.
// Its steps are chained by the page's timers, by the download worker and by the sender's
// reports; the page shows what the signals say. A run ends when the last package was sent
// (finished), or without finishing when a download fails, a transfer gives up or cannot
// open the channel, or the watchdog expires; then it deletes the files it downloaded.
class UpdateRun : public QObject, public IDownloadSink {
  Q_OBJECT
 public:
  // Timer ids of the page, and their periods.
  static constexpr int kTimerWatchdog = 3;
  static constexpr int kTimerDownloadDB = 5;
  static constexpr int kTimerDownloadVoice = 6;
  static constexpr int kTimerDownloadFW = 7;
  static constexpr int kTimerStartSending = 8;
  static constexpr int kWatchdogPeriodMs = 1000;
  static constexpr int kStepPeriodMs = 100;
  static constexpr int kManualStartPeriodMs = 10;
  // The watchdog gives up when more ticks than this passed without a progress report.
  static constexpr int kWatchdogTickLimit = 20;
  // Pause after each package, before the next one is sent or the run ends.
  static constexpr int kPauseAfterPackageMs = 1500;
  static constexpr int kProgressFull = 100;
  // After a finished automatic run the unit has this long to tell its versions.
  static constexpr int kUnitCheckTimeoutMs =
      static_cast<int>(std::chrono::milliseconds(UnitCheck::kTimeout).count());

  // Values of m_nDownloadState and m_nTransferKind.
  enum DownloadState {
    kDownloadNone = 0,
    kDownloadDB = kPackageDB,
    kDownloadVoice = kPackageVoice,
    kDownloadFW = kPackageFW
  };
  enum TransferKind { kTransferFW = 0, kTransferDB = 2, kTransferVoice = 3 };

  explicit UpdateRun(QObject* parent = nullptr);
  ~UpdateRun() override;

  // Starts a run: an automatic one at the first download step, a manual one at the send
  // step. Anything left of an earlier run is stopped first.
  void Start(const UpdateRunPlan& plan);
  // Stops every timer, the download and the transfer; reports of them are dropped. Does not
  // wait for the workers (StopAndWait does).
  void Stop();
  void StopAndWait();
  // From Start to the run's end, whichever way it ends.
  bool IsRunning() const { return m_bRunning; }
  // A package is on its way to the unit.
  bool IsSending() const { return m_sender.IsRunning(); }

  const UpdateRunPlan& Plan() const { return m_plan; }
  // After a finished automatic run, the unit's next identification shows whether it took
  // the packages sent; unitCheckTimedOut ends the wait when none comes in time.
  bool AwaitsUnitCheck() const { return m_bAwaitingCheck; }
  // The packages the unit did not take (see PackagesNotTaken); ends the wait.
  QList<int> CheckUnit(const UpdateCatalogue::UnitVersions& unit);
  // Deletes the file of each marked package, unless it lies outside the working folder
  // (a manual name may lead through a link).
  void DeletePackageFiles() const;
  void StopWatchdog() { m_timerWatchdog.stop(); }
  // Transfer kind and watchdog count back to 0.
  void ResetRunState();

  // Tests shorten the watchdog and the pause; the run uses the constants above.
  void SetWatchdogPeriodMs(int ms) { m_timerWatchdog.setInterval(ms); }
  void SetPauseAfterPackageMs(int ms) { m_timerPauseAfterPackage.setInterval(ms); }
  void SetUnitCheckTimeoutMs(int ms) { m_timerUnitCheck.setInterval(ms); }
  void SetDownloadOptions(const DownloadOptions& options) { m_downloadOptions = options; }

  int m_nDownloadState = kDownloadNone;
  int m_nTransferKind = kTransferFW;
  int m_nWatchdogTicks = 0;

  // IDownloadSink, on the user-interface thread (carried over from the worker); a report of
  // a download that no longer belongs to a run is dropped.
  void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                          quint64 bytesDone, quint64 bytesTotal) override;

 signals:
  // A timer of the chain fired (ids above, the watchdog included).
  void timerStep(int timerId);
  void downloadStarted(int downloadState);
  void downloadProgress(const QString& progressText, quint64 bytesDone, quint64 bytesTotal);
  void downloadFinished(int downloadState, DownloadResult result);
  // A download failed: the run has ended, nothing was sent. errorText says why in short.
  void downloadFailed(int downloadState, DownloadResult result, const QString& errorText);
  void sendStarted(int transferKind);
  void progressChanged(int value);
  // A write kept failing and the transfer gave up; the run has ended.
  void transferGaveUp();
  // The channel did not open; the run has ended.
  void channelNotOpen();
  // No progress for longer than the watchdog allows; the transfer is stopped. The watchdog
  // still runs after a give-up or a closed channel, so this may come after the run ended.
  void watchdogExpired();
  // The last marked package was sent.
  void finished();
  // The unit did not tell its versions in time after a finished automatic run.
  void unitCheckTimedOut();

 private:
  // Packages are numbered by their download state: 1 database, 2 voice, 3 firmware.
  static int KindOf(int package);
  static int PackageOfKind(int transferKind);
  const QString& UrlOf(int package) const;
  const QString& PathOf(int package) const;
  // The first marked package after `package`; past the firmware when none is.
  int NextMarked(int package) const;

  void OnDownloadStep(int package);
  // Arms the download step of `package`, or the start of sending past the firmware.
  void StartStep(int package);
  void OnStartSendingStep();
  void OnWatchdogTick();
  void OnSenderProgress(unsigned value);
  void OnSenderFinished(PackageSender::Outcome outcome);
  void OnPauseAfterPackageEnded();

  void StartDownloadWorker(int package);
  void OnDownloadWorkerReturned(int package, DownloadResult result, const QString& errorText);
  // The run is over; one that did not finish takes its downloads away.
  void EndRun(bool bFinished);
  bool DeleteInFolder(const QString& path) const;
  void StartWatchdog();
  // Sends the next package; false when its file is missing, short or unreadable (the
  // watchdog then reports the stall).
  bool StartTransfer(const QString& path, int transferKind);
  void SendPackageOf(int package);

  UpdateRunPlan m_plan;
  QTimer m_timerWatchdog{this};
  QTimer m_timerDownloadDB{this};
  QTimer m_timerDownloadVoice{this};
  QTimer m_timerDownloadFW{this};
  QTimer* const m_stepTimers[4] = {nullptr, &m_timerDownloadDB, &m_timerDownloadVoice,
                                   &m_timerDownloadFW};  // by package
  QTimer m_timerStartSending{this};
  QTimer m_timerPauseAfterPackage{this};
  QTimer m_timerUnitCheck{this};
  PackageSender m_sender;
  DownloadOptions m_downloadOptions;
  bool m_bRunning = false;
  bool m_bAwaitingCheck = false;
  bool m_bDownloaded[4] = {};  // by package: this run brought its file
  Worker<UpdateRun> m_downloader{this};  // last member: stopped and joined first
};
