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
  // The step timers are given their period each time they start.
  m_timerWatchdog.setInterval(kWatchdogPeriodMs);
  m_timerPauseAfterPackage.setInterval(kPauseAfterPackageMs);
  m_timerPauseAfterPackage.setSingleShot(true);

  connect(&m_timerWatchdog, &QTimer::timeout, this, &UpdateRun::OnWatchdogTick);
  for (int package = kDownloadDB; package <= kDownloadFW; ++package)
    connect(m_stepTimers[package], &QTimer::timeout, this, [this, package] { OnDownloadStep(package); });
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
  for (int package = kDownloadDB; package <= kDownloadFW; ++package) {
    if (Marked(package) && !PathOf(package).isEmpty()) QFile::remove(PathOf(package));
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

bool UpdateRun::Marked(int package) const {
  switch (package) {
    case kDownloadDB: return m_plan.bUpdateDB;
    case kDownloadVoice: return m_plan.bUpdateVoice;
    case kDownloadFW: return m_plan.bUpdateFW;
    default: return false;
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
  while (next <= kDownloadFW && !Marked(next)) ++next;
  return next;
}

void UpdateRun::ResetRunState() {
  m_nTransferKind = kTransferFW;
  m_nWatchdogTicks = 0;
}

void UpdateRun::OnDownloadProgress(const QString& /*statusText*/, const QString& progressText,
                                   int /*percent*/, quint64 bytesDone, quint64 bytesTotal) {
  emit downloadProgress(progressText, bytesDone, bytesTotal);
}

// Download chain: each step downloads its package when it is marked, else hands on at once
// to the next marked one.

void UpdateRun::OnDownloadStep(int package) {
  m_stepTimers[package]->stop();
  emit timerStep(kTimerDownloadDB + package - kDownloadDB);
  if (Marked(package)) {
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
  auto sink = std::make_shared<CDownloadQueuedSink>(this, this);
  m_download = std::make_shared<CDownloadStatusCallback>(sink.get());
  const quint64 job = ++m_nDownloadJob;
  const QPointer<UpdateRun> self(this);
  std::thread([self, job, package, url, path, sink, callback = m_download,
               options = m_downloadOptions] {
    DownloadResult result = DownloadResult::WriteFailed;
    // An earlier file of the same name is removed first: only what this download brings
    // may be sent.
    if (!path.isEmpty() && (!QFile::exists(path) || QFile::remove(path)))
      result = DownloadToFile(url, path, *callback, options);
    PostToPage(self, [job, package, result](UpdateRun* run) {
      run->OnDownloadWorkerReturned(job, package, result);
    });
  }).detach();
}

void UpdateRun::OnDownloadWorkerReturned(quint64 job, int package, DownloadResult result) {
  if (job != m_nDownloadJob) return;
  m_download.reset();
  m_bDownloadFailed[package] = result != DownloadResult::Done;
  emit downloadFinished(package, result);
  // Whatever the outcome, the chain goes on with the next step; a package that did not
  // arrive is not sent.
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
  if (m_plan.bAuto && m_bDownloadFailed[PackageOfKind(transferKind)]) return false;
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
  const int next = NextMarked(PackageOfKind(m_nTransferKind));
  if (next <= kDownloadFW) {
    emit progressChanged(0);
    StartWatchdog();
    SendPackageOf(next);
  } else {
    emit progressChanged(kProgressFull);
    emit finished();
  }
}
