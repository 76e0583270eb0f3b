#include "update/UpdateRun.h"

#include <QFile>
#include <QPointer>
#include <thread>

#include "device/PageReport.h"
#include "device/UnitLibrary.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadQueuedSink.h"

UpdateRun::UpdateRun(QObject* parent) : QObject(parent) {
  const std::pair<QTimer*, const char*> timers[] = {
      {&m_timerWatchdog, "watchdog"},
      {&m_timerDownloadDB, "downloadDB"},
      {&m_timerDownloadVoice, "downloadVoice"},
      {&m_timerDownloadFW, "downloadFW"},
      {&m_timerStartSending, "startSending"},
      {&m_timerPauseAfterPackage, "pauseAfterPackage"},
  };
  for (const auto& [timer, name] : timers) timer->setObjectName(QString::fromLatin1(name));
  m_timerWatchdog.setInterval(kWatchdogPeriodMs);
  m_timerDownloadDB.setInterval(kStepPeriodMs);
  m_timerDownloadVoice.setInterval(kStepPeriodMs);
  m_timerDownloadFW.setInterval(kStepPeriodMs);
  m_timerStartSending.setInterval(kStepPeriodMs);
  m_timerPauseAfterPackage.setInterval(kPauseAfterPackageMs);
  m_timerPauseAfterPackage.setSingleShot(true);

  connect(&m_timerWatchdog, &QTimer::timeout, this, &UpdateRun::OnWatchdogTick);
  connect(&m_timerDownloadDB, &QTimer::timeout, this, &UpdateRun::OnDownloadDBStep);
  connect(&m_timerDownloadVoice, &QTimer::timeout, this, &UpdateRun::OnDownloadVoiceStep);
  connect(&m_timerDownloadFW, &QTimer::timeout, this, &UpdateRun::OnDownloadFWStep);
  connect(&m_timerStartSending, &QTimer::timeout, this, &UpdateRun::OnStartSendingStep);
  connect(&m_timerPauseAfterPackage, &QTimer::timeout, this, &UpdateRun::OnPauseAfterPackageEnded);
  connect(&m_sender, &PackageSender::progress, this, &UpdateRun::OnSenderProgress);
  connect(&m_sender, &PackageSender::finished, this, &UpdateRun::OnSenderFinished);
}

UpdateRun::~UpdateRun() { Stop(); }

void UpdateRun::Start(const UpdateRunPlan& plan) {
  Stop();
  m_plan = plan;
  std::fill(std::begin(m_bDownloadFailed), std::end(m_bDownloadFailed), false);
  if (m_plan.bAuto) {
    m_timerDownloadDB.start(kStepPeriodMs);
  } else {
    m_timerStartSending.start(kManualStartPeriodMs);
  }
}

void UpdateRun::Stop() {
  for (QTimer* timer : {&m_timerWatchdog, &m_timerDownloadDB, &m_timerDownloadVoice,
                        &m_timerDownloadFW, &m_timerStartSending, &m_timerPauseAfterPackage})
    timer->stop();
  if (m_download) m_download->RequestAbort();
  m_download.reset();
  ++m_nDownloadJob;  // a download still returning belongs to no run any more
  m_sender.Cancel();
  m_nDownloadState = kDownloadNone;
}

void UpdateRun::DeletePackageFiles() const {
  const std::pair<bool, const QString*> packages[] = {
      {m_plan.bUpdateDB, &m_plan.at.strPathDB},
      {m_plan.bUpdateVoice, &m_plan.at.strPathVoice},
      {m_plan.bUpdateFW, &m_plan.at.strPathFW},
  };
  for (const auto& [marked, path] : packages) {
    if (marked && !path->isEmpty()) QFile::remove(*path);
  }
}

void UpdateRun::ResetRunState() {
  m_nTransferKind = kTransferFW;
  m_nWatchdogTicks = 0;
}

void UpdateRun::OnDownloadProgress(const QString& /*statusText*/, const QString& progressText,
                                   int /*percent*/, quint64 bytesDone, quint64 bytesTotal) {
  emit downloadProgress(progressText, bytesDone, bytesTotal);
}

// Download chain: each step downloads its package when it is marked, else hands on at once.

void UpdateRun::OnDownloadDBStep() {
  m_timerDownloadDB.stop();
  emit timerStep(kTimerDownloadDB);
  if (m_plan.bUpdateDB) {
    StartDownloadWorker(kDownloadDB);
  } else if (m_plan.bUpdateVoice) {
    m_nDownloadState = kDownloadVoice;
    m_timerDownloadVoice.start(kStepPeriodMs);
  } else if (m_plan.bUpdateFW) {
    m_nDownloadState = kDownloadFW;
    m_timerDownloadFW.start(kStepPeriodMs);
  }
}

void UpdateRun::OnDownloadVoiceStep() {
  m_timerDownloadVoice.stop();
  emit timerStep(kTimerDownloadVoice);
  if (m_plan.bUpdateVoice) {
    StartDownloadWorker(kDownloadVoice);
  } else if (m_plan.bUpdateFW) {
    m_nDownloadState = kDownloadFW;
    m_timerDownloadFW.start(kStepPeriodMs);
  } else {
    m_timerStartSending.start(kStepPeriodMs);
  }
}

void UpdateRun::OnDownloadFWStep() {
  m_timerDownloadFW.stop();
  emit timerStep(kTimerDownloadFW);
  if (m_plan.bUpdateFW) {
    StartDownloadWorker(kDownloadFW);
  } else {
    m_timerStartSending.start(kStepPeriodMs);
  }
}

void UpdateRun::StartDownloadWorker(int downloadState) {
  m_nDownloadState = downloadState;
  emit downloadStarted(downloadState);
  QString url, path;
  switch (downloadState) {
    case kDownloadDB: url = m_plan.at.strUrlDB, path = m_plan.at.strPathDB; break;
    case kDownloadVoice: url = m_plan.at.strUrlVoice, path = m_plan.at.strPathVoice; break;
    default: url = m_plan.at.strUrlFW, path = m_plan.at.strPathFW; break;
  }
  auto sink = std::make_shared<CDownloadQueuedSink>(this, this);
  m_download = std::make_shared<CDownloadStatusCallback>(sink.get());
  const quint64 job = ++m_nDownloadJob;
  const QPointer<UpdateRun> self(this);
  std::thread([self, job, downloadState, url, path, sink, callback = m_download,
               options = m_downloadOptions] {
    DownloadResult result = DownloadResult::WriteFailed;
    // An earlier file of the same name is removed first: only what this download brings
    // may be sent.
    if (!path.isEmpty() && (!QFile::exists(path) || QFile::remove(path)))
      result = DownloadToFile(url, path, *callback, options);
    PostToPage(self, [job, downloadState, result](UpdateRun* run) {
      run->OnDownloadWorkerReturned(job, downloadState, result);
    });
  }).detach();
}

void UpdateRun::OnDownloadWorkerReturned(quint64 job, int downloadState, DownloadResult result) {
  if (job != m_nDownloadJob) return;
  m_download.reset();
  m_bDownloadFailed[downloadState] = result != DownloadResult::Done;
  emit downloadFinished(downloadState, result);
  // Whatever the outcome, the chain goes on; a package that did not arrive is not sent.
  switch (downloadState) {
    case kDownloadDB:
      m_nDownloadState = kDownloadVoice;
      m_timerDownloadVoice.start(kStepPeriodMs);
      break;
    case kDownloadVoice:
      m_nDownloadState = kDownloadFW;
      m_timerDownloadFW.start(kStepPeriodMs);
      break;
    default:
      m_nDownloadState = kDownloadNone;
      m_timerStartSending.start(kStepPeriodMs);
      break;
  }
}

// Sending.

void UpdateRun::OnStartSendingStep() {
  m_nDownloadState = kDownloadNone;
  m_timerStartSending.stop();
  emit timerStep(kTimerStartSending);
  // A count left over from an earlier stalled run must not cut this one short.
  m_nWatchdogTicks = 0;
  StartWatchdog();
  if (m_plan.bUpdateDB) {
    SendPackageOf(kTransferDB);
  } else if (m_plan.bUpdateVoice) {
    SendPackageOf(kTransferVoice);
  } else if (m_plan.bUpdateFW) {
    SendPackageOf(kTransferFW);
  }
}

void UpdateRun::SendPackageOf(int transferKind) {
  emit sendStarted(transferKind);
  switch (transferKind) {
    case kTransferDB: StartTransfer(m_plan.at.strPathDB, transferKind); break;
    case kTransferVoice: StartTransfer(m_plan.at.strPathVoice, transferKind); break;
    default: StartTransfer(m_plan.at.strPathFW, transferKind); break;
  }
}

bool UpdateRun::DownloadFailed(int transferKind) const {
  if (!m_plan.bAuto) return false;
  switch (transferKind) {
    case kTransferDB: return m_bDownloadFailed[kDownloadDB];
    case kTransferVoice: return m_bDownloadFailed[kDownloadVoice];
    default: return m_bDownloadFailed[kDownloadFW];
  }
}

bool UpdateRun::StartTransfer(const QString& path, int transferKind) {
  m_nTransferKind = transferKind;
  if (DownloadFailed(transferKind)) return false;
  std::optional<QByteArray> file = ReadPackageFile(path);
  if (!file) return false;
  m_sender.Start(std::move(*file), UnitChannels::kUpdateWrite);
  return true;
}

void UpdateRun::StartWatchdog() { m_timerWatchdog.start(); }

void UpdateRun::OnWatchdogTick() {
  emit timerStep(kTimerWatchdog);
  ++m_nWatchdogTicks;
  if (m_nWatchdogTicks <= kWatchdogTickLimit) return;
  m_timerWatchdog.stop();
  // The run is given up: a transfer still trying must not finish behind the message.
  m_sender.Cancel();
  emit watchdogExpired();
}

void UpdateRun::OnSenderProgress(unsigned value) {
  m_nWatchdogTicks = 0;
  emit progressChanged(static_cast<int>(value));
}

void UpdateRun::OnSenderFinished(PackageSender::Outcome outcome) {
  switch (outcome) {
    case PackageSender::Outcome::Sent:
      m_timerWatchdog.stop();
      m_timerPauseAfterPackage.start();
      break;
    case PackageSender::Outcome::GaveUp:
      emit transferGaveUp();
      break;
    case PackageSender::Outcome::ChannelNotOpen:
      emit channelNotOpen();
      break;
    case PackageSender::Outcome::Cancelled:
      break;
  }
}

void UpdateRun::OnPauseAfterPackageEnded() {
  m_nWatchdogTicks = 0;
  switch (m_nTransferKind) {
    case kTransferDB:
      emit progressChanged(m_plan.bUpdateVoice || m_plan.bUpdateFW ? 0 : kProgressFull);
      if (m_plan.bUpdateVoice) {
        StartWatchdog();
        SendPackageOf(kTransferVoice);
      } else if (m_plan.bUpdateFW) {
        StartWatchdog();
        SendPackageOf(kTransferFW);
      } else {
        emit finished();
      }
      break;
    case kTransferVoice:
      if (m_plan.bUpdateFW) {
        emit progressChanged(0);
        StartWatchdog();
        SendPackageOf(kTransferFW);
      } else {
        emit progressChanged(kProgressFull);
        emit finished();
      }
      break;
    default:
      emit progressChanged(kProgressFull);
      emit finished();
      break;
  }
}
