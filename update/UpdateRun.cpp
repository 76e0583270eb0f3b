#include "update/UpdateRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "device/UnitLibrary.h"
#include "update/CDownloadStatusCallback.h"
#include "update/FolderGuard.h"

UpdateRun::UpdateRun(QObject* parent) : QObject(parent) {
  const std::pair<QTimer*, const char*> timers[] = {
      {&m_timerWatchdog, "watchdog"},
      {&m_timerDownloadDB, "downloadDB"},
      {&m_timerDownloadVoice, "downloadVoice"},
      {&m_timerDownloadFW, "downloadFW"},
      {&m_timerStartSending, "startSending"},
      {&m_timerPauseAfterPackage, "pauseAfterPackage"},
      {&m_timerUnitCheck, "unitCheck"},
  };
  // A coarse timer may fire up to 5 % early: the unit would get its next package too soon.
  for (const auto& [timer, name] : timers) {
    timer->setObjectName(QString::fromLatin1(name));
    timer->setTimerType(Qt::PreciseTimer);
  }
  // The step timers are given their period each time they start.
  m_timerWatchdog.setInterval(kWatchdogPeriodMs);
  m_timerPauseAfterPackage.setInterval(kPauseAfterPackageMs);
  m_timerPauseAfterPackage.setSingleShot(true);
  m_timerUnitCheck.setInterval(kUnitCheckTimeoutMs);
  m_timerUnitCheck.setSingleShot(true);

  connect(&m_timerWatchdog, &QTimer::timeout, this, &UpdateRun::OnWatchdogTick);
  for (int package = kDownloadDB; package <= kDownloadFW; ++package)
    connect(m_stepTimers[package], &QTimer::timeout, this, [this, package] { OnDownloadStep(package); });
  connect(&m_timerStartSending, &QTimer::timeout, this, &UpdateRun::OnStartSendingStep);
  connect(&m_timerPauseAfterPackage, &QTimer::timeout, this, &UpdateRun::OnPauseAfterPackageEnded);
  connect(&m_timerUnitCheck, &QTimer::timeout, this, [this] {
    m_bAwaitingCheck = false;
    emit unitCheckTimedOut();
  });
  connect(&m_sender, &PackageSender::progress, this, &UpdateRun::OnSenderProgress);
  connect(&m_sender, &PackageSender::finished, this, &UpdateRun::OnSenderFinished);
}

UpdateRun::~UpdateRun() { Stop(); }

void UpdateRun::Start(const UpdateRunPlan& plan) {
  Stop();
  m_plan = plan;
  m_bRunning = true;
  std::fill(std::begin(m_bDownloaded), std::end(m_bDownloaded), false);
  if (m_plan.bAuto) {
    m_timerDownloadDB.start(kStepPeriodMs);
  } else {
    m_timerStartSending.start(kManualStartPeriodMs);
  }
}

void UpdateRun::Stop() {
  for (QTimer* timer : {&m_timerWatchdog, &m_timerDownloadDB, &m_timerDownloadVoice,
                        &m_timerDownloadFW, &m_timerStartSending, &m_timerPauseAfterPackage, &m_timerUnitCheck})
    timer->stop();
  m_downloader.RequestStop();  // a download still returning belongs to no run any more
  m_sender.Cancel();
  m_nDownloadState = kDownloadNone;
  m_bRunning = false;
  m_bAwaitingCheck = false;
}

void UpdateRun::StopAndWait() {
  Stop();
  m_downloader.Stop();
  m_sender.Stop();
}

QList<int> UpdateRun::CheckUnit(const UpdateCatalogue::UnitVersions& unit) {
  m_bAwaitingCheck = false;
  m_timerUnitCheck.stop();
  return PackagesNotTaken(m_plan, unit);
}

bool UpdateRun::DeleteInFolder(const QString& path) const {
  if (path.isEmpty()) return false;
  const QString folder = m_plan.strFolder.isEmpty() ? QDir::currentPath() : m_plan.strFolder;
  // A link may stand for the file itself (removing it removes only the link), never for a
  // folder on the way out of the working folder.
  if (!StaysInFolder(folder, QFileInfo(QDir(folder), path).path())) return false;
  return QFile::remove(QDir(folder).absoluteFilePath(path));
}

void UpdateRun::DeletePackageFiles() const {
  for (int package = kDownloadDB; package <= kDownloadFW; ++package) {
    if (m_plan.Marked(package)) DeleteInFolder(PathOf(package));
  }
}

void UpdateRun::EndRun(bool bFinished) {
  if (!m_bRunning) return;
  m_bRunning = false;
  m_bAwaitingCheck = bFinished && m_plan.bAuto;
  if (m_bAwaitingCheck) m_timerUnitCheck.start();
  if (bFinished) return;
  for (int package = kDownloadDB; package <= kDownloadFW; ++package) {
    if (m_bDownloaded[package]) DeleteInFolder(PathOf(package));
    m_bDownloaded[package] = false;
  }
}

int UpdateRun::KindOf(int package) {
  switch (package) {
    case kDownloadDB: return kTransferDB;
    case kDownloadVoice: return kTransferVoice;
    default: return kTransferFW;
  }
}

int UpdateRun::PackageOfKind(int transferKind) {
  switch (transferKind) {
    case kTransferDB: return kDownloadDB;
    case kTransferVoice: return kDownloadVoice;
    default: return kDownloadFW;
  }
}

const QString& UpdateRun::UrlOf(int package) const {
  return package == kDownloadDB      ? m_plan.at.strUrlDB
         : package == kDownloadVoice ? m_plan.at.strUrlVoice
                                     : m_plan.at.strUrlFW;
}

const QString& UpdateRun::PathOf(int package) const {
  return package == kDownloadDB      ? m_plan.at.strPathDB
         : package == kDownloadVoice ? m_plan.at.strPathVoice
                                     : m_plan.at.strPathFW;
}

int UpdateRun::NextMarked(int package) const {
  int next = package + 1;
  while (next <= kDownloadFW && !m_plan.Marked(next)) ++next;
  return next;
}

void UpdateRun::ResetRunState() {
  m_nTransferKind = kTransferFW;
  m_nWatchdogTicks = 0;
}

void UpdateRun::OnDownloadProgress(const QString& /*statusText*/, const QString& progressText,
                                   int /*percent*/, quint64 bytesDone, quint64 bytesTotal) {
  if (m_nDownloadState == kDownloadNone) return;
  emit downloadProgress(progressText, bytesDone, bytesTotal);
}

// Download chain: each step downloads its package when it is marked, else hands on at once
// to the next marked one.

void UpdateRun::OnDownloadStep(int package) {
  m_stepTimers[package]->stop();
  emit timerStep(kTimerDownloadDB + package - kDownloadDB);
  if (m_plan.Marked(package)) {
    StartDownloadWorker(package);
  } else {
    StartStep(NextMarked(package));
  }
}

void UpdateRun::StartStep(int package) {
  if (package > kDownloadFW) {
    m_timerStartSending.start(kStepPeriodMs);
    return;
  }
  m_nDownloadState = package;
  m_stepTimers[package]->start(kStepPeriodMs);
}

void UpdateRun::StartDownloadWorker(int package) {
  m_nDownloadState = package;
  emit downloadStarted(package);
  const QString url = UrlOf(package);
  const QString path = PathOf(package);
  m_downloader.Start([package, url, path, options = m_downloadOptions](const WorkerRun<UpdateRun>& run) {
    // Reports go through the run, so those of a stopped run are dropped.
    WorkerDownloadSink<UpdateRun> sink(run);
    CDownloadStatusCallback callback(&sink);
    const std::stop_callback abortOnStop(run.StopToken(), [&callback] { callback.RequestAbort(); });
    // A file of the package's name that is already there is replaced only by a whole
    // download, and after a failed one it is left as it was: the run did not write it.
    DownloadResult result = DownloadResult::WriteFailed;
    QString errorText;
    if (!path.isEmpty()) result = DownloadToFile(url, path, callback, options, &errorText);
    const bool taken = run.Send([package, result, errorText](UpdateRun* self) {
      self->OnDownloadWorkerReturned(package, result, errorText);
    });
    // A run stopped while its download was finishing no longer wants the file.
    if (!taken && result == DownloadResult::Done) QFile::remove(path);
  });
}

void UpdateRun::OnDownloadWorkerReturned(int package, DownloadResult result, const QString& errorText) {
  emit downloadFinished(package, result);
  if (result != DownloadResult::Done) {
    // Without the package there is nothing to send: the run ends here, before the unit's
    // channel is ever opened.
    m_nDownloadState = kDownloadNone;
    EndRun(false);
    emit downloadFailed(package, result, errorText);
    return;
  }
  m_bDownloaded[package] = true;
  if (package == kDownloadFW) m_nDownloadState = kDownloadNone;
  StartStep(package + 1);
}

// Sending.

void UpdateRun::OnStartSendingStep() {
  m_nDownloadState = kDownloadNone;
  m_timerStartSending.stop();
  emit timerStep(kTimerStartSending);
  // A count left over from an earlier stalled run must not cut this one short.
  m_nWatchdogTicks = 0;
  StartWatchdog();
  const int first = NextMarked(kDownloadNone);
  if (first <= kDownloadFW) SendPackageOf(first);
}

void UpdateRun::SendPackageOf(int package) {
  emit sendStarted(KindOf(package));
  StartTransfer(PathOf(package), KindOf(package));
}

bool UpdateRun::StartTransfer(const QString& path, int transferKind) {
  m_nTransferKind = transferKind;
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
  EndRun(false);
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
      EndRun(false);
      emit transferGaveUp();
      break;
    case PackageSender::Outcome::ChannelNotOpen:
      EndRun(false);
      emit channelNotOpen();
      break;
    case PackageSender::Outcome::Cancelled:
      break;
  }
}

void UpdateRun::OnPauseAfterPackageEnded() {
  m_nWatchdogTicks = 0;
  const int next = NextMarked(PackageOfKind(m_nTransferKind));
  if (next <= kDownloadFW) {
    emit progressChanged(0);
    StartWatchdog();
    SendPackageOf(next);
  } else {
    emit progressChanged(kProgressFull);
    EndRun(true);
    emit finished();
  }
}
