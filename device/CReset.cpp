#include "device/CReset.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CV700UpdaterDlg.h"
#include "device/StoppableChannel.h"
#include "device/UnitLibrary.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadFailureText.h"
#include "update/PackageSender.h"
#include "update/RecoveryCheck.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateRun.h"
#include "update/UnitCheck.h"
#include "update/UpdateServer.h"
#include "widgets/TextProgressBar.h"

namespace {

constexpr int kStepCount = 7;
constexpr int kAutoStepCount = 6;
// Slots of the sheet's error texts (ERROR_MSG_00k is slot k - 1).
constexpr int kErrorServerUnreachable = 1;  // ERROR_MSG_002
constexpr int kErrorNoFirmware = 7;         // ERROR_MSG_008
constexpr int kErrorNoProgress = 10;        // ERROR_MSG_011
constexpr int kErrorChannelNotOpen = 11;    // ERROR_MSG_012

}  // namespace

CReset::CReset(CV700UpdaterDlg* sheet) : CPropertyPage(sheet, UnitJob::Recovery) {
  BuildControls();
  m_timerProbe.setObjectName(QStringLiteral("probe"));
  m_timerWatchdog.setObjectName(QStringLiteral("watchdog"));
  m_timerRestartWait.setObjectName(QStringLiteral("restartWait"));
  // Coarse timers may fire up to 5 % early.
  for (QTimer* timer : {&m_timerProbe, &m_timerWatchdog, &m_timerRestartProbe, &m_timerRestartWait})
    timer->setTimerType(Qt::PreciseTimer);
  m_timerProbe.setInterval(kProbePeriodMs);
  m_timerWatchdog.setInterval(UpdateRun::kWatchdogPeriodMs);
  m_timerRestartProbe.setInterval(UnitCheck::kRestartProbePeriod);
  m_timerRestartWait.setInterval(UnitCheck::kTimeout);
  m_timerRestartWait.setSingleShot(true);
  connect(&m_timerProbe, &QTimer::timeout, this, &CReset::ProbeUnit);
  connect(&m_timerWatchdog, &QTimer::timeout, this, &CReset::OnWatchdogTick);
  connect(&m_timerRestartProbe, &QTimer::timeout, this, &CReset::OnRestartProbe);
  connect(&m_timerRestartWait, &QTimer::timeout, this, [this] { FinishRecovery(std::nullopt); });
}

CReset::~CReset() { CloseRecoveryChannel(m_transfer.hPipe); }

void CReset::StopWorkers() {
  for (QTimer* timer : {&m_timerProbe, &m_timerRestartProbe, &m_timerRestartWait}) timer->stop();
  StopTransferWatch();
  m_worker.Stop();
}

void CReset::BuildControls() {
  m_groupMode = new QGroupBox(this);
  m_radioAuto = new QRadioButton(m_groupMode);
  m_radioManual = new QRadioButton(m_groupMode);
  auto* modeRow = new QHBoxLayout(m_groupMode);
  modeRow->addWidget(m_radioAuto);
  modeRow->addWidget(m_radioManual);

  m_groupSteps = new QGroupBox(this);
  auto* steps = new QVBoxLayout(m_groupSteps);
  for (QLabel*& step : m_staticSteps) {
    step = new QLabel(m_groupSteps);
    step->setWordWrap(true);
    steps->addWidget(step);
  }
  m_editPath = new QLineEdit(m_groupSteps);
  m_editPath->setEnabled(false);
  m_buttonBrowse = new QPushButton(m_groupSteps);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(m_editPath, 1);
  pathRow->addWidget(m_buttonBrowse);
  steps->addLayout(pathRow);

  m_buttonUpdate = new QPushButton;
  m_buttonUpdate->setEnabled(false);
  // The recovery page keeps the bar's own colours and its range of 0 to 100.
  m_progress = new TextProgressBar(this);
  m_staticStatus = new QLabel(this);
  m_staticStatus->setWordWrap(true);

  auto* page = new QVBoxLayout(this);
  page->addWidget(m_groupMode);
  page->addWidget(m_groupSteps);
  auto* updateRow = new QHBoxLayout;
  updateRow->addStretch();
  updateRow->addWidget(GuardUnitAction(m_buttonUpdate));
  updateRow->addStretch();
  page->addLayout(updateRow);
  page->addWidget(m_progress);
  page->addWidget(m_staticStatus);
  page->addStretch();

  connect(m_radioAuto, &QRadioButton::clicked, this, &CReset::OnAutoMode);
  connect(m_radioManual, &QRadioButton::clicked, this, &CReset::OnManualMode);
  connect(m_buttonBrowse, &QPushButton::clicked, this, &CReset::OnBrowse);
  connect(m_buttonUpdate, &QPushButton::clicked, this, &CReset::OnUpdate);
}

void CReset::OnInitDialog() {
  if (m_bTextsPending) ApplyLanguage(Sheet()->m_nLanguageID);
  OnManualMode();
}

void CReset::OnDestroyWindow() {
  // The probe's timer belongs to the window.
  m_timerProbe.stop();
}

void CReset::ApplyLanguage(int nLanguage) {
  const auto text = [&](int index) { return UiText(Sheet()->m_arrText, nLanguage, index); };
  m_nLanguage = nLanguage;
  m_strDownloadPhase = text(UiIndex(DBFW_TAB_001, 14));
  m_groupMode->setTitle(text(UiIndex(RESET_TAB_001, 2)));
  m_radioAuto->setText(text(UiIndex(RESET_TAB_001, 3)));
  m_radioManual->setText(text(UiIndex(RESET_TAB_001, 4)));
  m_groupSteps->setTitle(text(RESET_TAB_001));
  m_buttonUpdate->setText(text(UiIndex(DBFW_TAB_001, 15)));
  m_buttonBrowse->setText(text(UiIndex(DBFW_TAB_001, 8)));

  // Automatic: steps 1 to 6 from RESET_TAB_005; manual: steps 1 to 7 from RESET_TAB_011.
  const int firstStep = m_bAutoMode ? UiIndex(RESET_TAB_001, 5) : UiIndex(RESET_TAB_001, 11);
  const int shownSteps = m_bAutoMode ? kAutoStepCount : kStepCount;
  for (int i = 0; i < kStepCount; ++i) {
    if (i < shownSteps) m_staticSteps[i]->setText(text(firstStep + i));
    m_staticSteps[i]->setVisible(i < shownSteps);
  }
  m_editPath->setVisible(!m_bAutoMode);
  m_buttonBrowse->setVisible(!m_bAutoMode);
  m_bTextsPending = false;
}

void CReset::EnableControls(bool /*bEnable*/) {}

void CReset::OnUnitJobChanged(bool bHeldByOther) {
  CPropertyPage::OnUnitJobChanged(bHeldByOther);
  // A channel opened before another job took the unit may not survive that job (a firmware
  // update restarts the unit): it is let go, and the probe opens a fresh one afterwards.
  if (bHeldByOther && IsChannelOpen(m_transfer.hPipe) && !m_bRecoveryRunning) {
    CloseRecoveryChannel(m_transfer.hPipe);
    m_transfer.hPipe = kChannelNotOpen;
    m_buttonUpdate->setEnabled(false);
    m_timerProbe.start(kProbePeriodMs);
  }
}

void CReset::SetBusy() { Sheet()->m_pageMain.m_bBusy = true; }

void CReset::ReleaseUnit() {
  Sheet()->m_pageMain.m_bBusy = false;
  Sheet()->m_pageMain.StartPollTimer(kPollPeriodAfterRecoveryMs);
}

void CReset::WaitForUnit() {
  SetBusy();
  m_timerProbe.start(kProbePeriodMs);
}

void CReset::SetRecoveryRunning(bool bRunning) {
  m_bRecoveryRunning = bRunning;
  // Nothing may start a second recovery, choose another file or switch modes meanwhile.
  m_radioAuto->setEnabled(!bRunning);
  m_radioManual->setEnabled(!bRunning);
  m_buttonBrowse->setEnabled(!bRunning);
  if (bRunning) m_buttonUpdate->setEnabled(false);
}

bool CReset::BeginRecovery() {
  if (!BeginUnitJob()) return false;
  SetBusy();
  SetRecoveryRunning(true);
  return true;
}

void CReset::EndRecovery(AfterRecovery after) {
  StopTransferWatch();
  SetRecoveryRunning(false);
  EndUnitJob();
  if (after == AfterRecovery::WaitForUnit) WaitForUnit();
  else ReleaseUnit();
}

void CReset::OnAutoMode() {
  if (m_bRecoveryRunning) return;
  SetBusy();
  m_radioAuto->setChecked(true);
  m_radioManual->setChecked(false);
  m_bAutoMode = true;
  ApplyLanguage(m_nLanguage);
  m_staticStatus->show();
  m_timerProbe.start(kProbePeriodMs);
}

void CReset::OnManualMode() {
  if (m_bRecoveryRunning) return;
  m_radioAuto->setChecked(false);
  m_radioManual->setChecked(true);
  m_bAutoMode = false;
  ApplyLanguage(m_nLanguage);
}

void CReset::OnBrowse() {
  if (m_bRecoveryRunning) return;
  UiSeams::FileDialogRequest request;
  request.parent = this;
  request.folder = WorkingFolder::Current();
  request.filter = QString::fromLatin1(kFileFilter);
  const QString path = UiSeams::ChooseFile(request);
  if (!path.isEmpty()) {
    SetBusy();
    m_strLocalPath = path;
    m_editPath->setText(path);
  }
  // Cancelled or not, the page waits for the unit.
  m_timerProbe.start(kProbePeriodMs);
}

void CReset::ProbeUnit() {
  // A recovery under way keeps its channel and its disabled Update button; while another
  // page's job holds the unit its channel is not opened: the probe looks again later.
  if (m_bRecoveryRunning) return;
  if (UnitHeldByOther()) {
    m_buttonUpdate->setEnabled(false);
    return;
  }
  const RecoveryProbe probe = ProbeRecoveryUnit();
  if (!probe.bUnitPresent) {
    m_buttonUpdate->setEnabled(false);
    return;
  }
  m_buttonUpdate->setEnabled(true);
  // Only the newest channel is kept; one a probe opened before is closed.
  if (probe.hPipe != m_transfer.hPipe) CloseRecoveryChannel(m_transfer.hPipe);
  m_transfer.hPipe = probe.hPipe;
  m_timerProbe.stop();
}

void CReset::OnUpdate() {
  if (m_bRecoveryRunning) return;
  if (!m_bAutoMode && m_strLocalPath.isEmpty()) {
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::RESET_NO_FILE_CHOSEN));
    return;
  }
  if (!BeginRecovery()) return;
  // A new recovery starts on a clean page.
  m_staticStatus->clear();
  m_progress->SetPos(0);
  m_strExpectedFW = m_bAutoMode ? Sheet()->m_strFWVersion : QString();
  if (m_bAutoMode) {
    StartDownload();
  } else {
    StartRecoveryTransfer(m_strLocalPath);
  }
}

void CReset::StartDownload() {
  const QString name = Sheet()->m_strFWFile;
  // The catalogue's name, percent-encoded in the address, and a plain file name in the
  // working folder (nothing written through a link: the download refuses one).
  const QString path = UpdateCatalogue::LocalPackagePath(WorkingFolder::Current(), name);
  if (path.isEmpty()) {
    UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorNoFirmware]);
    EndRecovery(AfterRecovery::ReleaseUnit);
    return;
  }
  m_strRemoteURL = UpdateCatalogue::PackageUrl(UpdateServer::BaseUrl(), UpdateCatalogue::kFolderFW, name);
  m_strLocalPath = path;
  m_staticStatus->setText(m_strDownloadPhase);

  // The window stays responsive: the download runs on the page's worker. Its reports go
  // through the run, so those of a stopped download are dropped.
  DownloadOptions options;
  options.stallPeriod = RecoveryCheck::kDownloadSilenceLimit;
  m_worker.Start([options, url = m_strRemoteURL, path](const WorkerRun<CReset>& run) {
    WorkerDownloadSink<CReset> sink(run);
    CDownloadStatusCallback callback(&sink);
    const std::stop_callback abortOnStop(run.StopToken(), [&callback] { callback.RequestAbort(); });
    QString errorText;
    const DownloadResult result = DownloadToFile(url, path, callback, options, &errorText);
    run.Post([result, errorText](CReset* self) { self->OnDownloadDone(result, errorText); });
  });
}

void CReset::OnDownloadDone(DownloadResult result, const QString& errorText) {
  if (result != DownloadResult::Done) {
    // Without the firmware there is nothing to send; the unit waits for another try.
    m_staticStatus->clear();
    UiSeams::ShowMessage(this, DownloadFailureText(result, Sheet()->m_strFWFile, errorText,
                                                   Sheet()->m_strErrorMsg[kErrorServerUnreachable]));
    EndRecovery(AfterRecovery::WaitForUnit);
    return;
  }
  StartRecoveryTransfer(m_strLocalPath);
}

void CReset::OnDownloadProgress(const QString& /*statusText*/, const QString& progressText, int /*percent*/,
                                quint64 bytesDone, quint64 bytesTotal) {
  // The phase and the sizes, as the update page shows them; a report after the download
  // ended has nothing to add.
  if (!m_bRecoveryRunning || m_timerWatchdog.isActive()) return;
  m_staticStatus->setText(m_strDownloadPhase + progressText);
  m_nDownloadProgress = bytesDone;
  m_nDownloadProgressMax = bytesTotal;
}

bool CReset::StartRecoveryTransfer(const QString& path) {
  std::optional<QByteArray> file = ReadPackageFile(path);
  if (!file) {
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE));
    if (m_bRecoveryRunning) EndRecovery(AfterRecovery::ReleaseUnit);
    else ReleaseUnit();
    return false;
  }
  if (!m_bRecoveryRunning && !BeginRecovery()) return false;
  m_strSentFile = QFileInfo(path).fileName();
  RecoveryTransfer transfer;
  transfer.pBuffer = std::move(*file);
  // The worker owns the channel from here on and closes it.
  transfer.hPipe = m_transfer.hPipe;
  m_transfer.hPipe = kChannelNotOpen;
  m_nWatchdogTicks = 0;
  m_timerWatchdog.start();

  m_worker.Start([transfer = std::move(transfer)](const WorkerRun<CReset>& run) mutable {
    // Each report is shown before the next chunk goes out; a stopped run reports nothing.
    const auto report = [&run](int code, unsigned value) {
      run.Send([code, value](CReset* self) { self->OnTransferReport(code, value); });
    };
    const auto progress = [&report](unsigned value) { report(kReportProgress, value); };
    const auto pause = [&run](int ms) { StoppableSleep(run.StopToken(), ms); };
    switch (SendRecoveryPackage(std::move(transfer), progress, pause, run.StopToken())) {
      case RecoveryOutcome::Sent: report(kReportFinished, 0); break;
      case RecoveryOutcome::Failed: report(kReportFailed, 0); break;
      case RecoveryOutcome::ChannelNotOpen: report(kReportChannelNotOpen, 0); break;
      case RecoveryOutcome::Stalled:
      case RecoveryOutcome::Cancelled: break;  // the page has moved on
    }
  });
  return true;
}

void CReset::StopTransferWatch() {
  m_timerWatchdog.stop();
  m_nWatchdogTicks = 0;
}

void CReset::OnWatchdogTick() {
  if (++m_nWatchdogTicks <= UpdateRun::kWatchdogTickLimit) return;
  m_worker.RequestStop();
  // The page waits for the unit again, so Update comes back once the unit is there.
  EndRecovery(AfterRecovery::WaitForUnit);
  UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorNoProgress]);
}

void CReset::AwaitRestart() {
  StopTransferWatch();
  m_staticStatus->setText(ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT));
  m_bAwaitingRestart = true;
  m_bUnitLeft = false;
  m_timerRestartProbe.start();
  m_timerRestartWait.start();
  // The main page watches the unit again and asks it for its versions once it is back.
  Sheet()->m_pageMain.IdentifyUnitAgain();
  ReleaseUnit();
}

void CReset::OnRestartProbe() {
  if (!::ProbeUnit().bUnitPresent) m_bUnitLeft = true;
}

void CReset::OnUnitIdentified() {
  // The unit answering before it ever left has not restarted (yet).
  if (m_bAwaitingRestart && m_bUnitLeft)
    FinishRecovery(UpdateCatalogue::UnitVersions::FromReply(Sheet()->m_pageMain.m_byVersionReply.data()));
}

void CReset::FinishRecovery(const std::optional<UpdateCatalogue::UnitVersions>& unit) {
  if (!m_bAwaitingRestart) return;
  m_bAwaitingRestart = false;
  m_timerRestartProbe.stop();
  m_timerRestartWait.stop();
  m_staticStatus->clear();
  SetRecoveryRunning(false);
  EndUnitJob();
  // Read in the sheet's language now: the user may have switched it during the restart wait,
  // while the unit's return re-created this page's window.
  const QString doneText = UiText(Sheet()->m_arrText, Sheet()->m_nLanguageID, UiIndex(DBFW_TAB_001, 19));
  const RecoveryCheck::Verdict verdict = RecoveryCheck::Judge(unit, m_strExpectedFW, m_strSentFile, doneText);
  UiSeams::ShowMessage(this, verdict.strMessage,
                       verdict.bTaken ? UiSeams::MessageIcon::None : UiSeams::MessageIcon::Warning);
}

int CReset::OnTransferReport(int wParam, unsigned lParam) {
  switch (wParam) {
    case kReportProgress:
      m_nWatchdogTicks = 0;
      m_staticStatus->clear();
      m_progress->SetPos(static_cast<int>(lParam));
      break;
    case kReportFinished:
      AwaitRestart();
      break;
    case kReportChannelNotOpen:
      EndRecovery(AfterRecovery::ReleaseUnit);
      UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorChannelNotOpen],
                           UiSeams::MessageIcon::Information);
      break;
    case kReportFailed:
      // The firmware did not arrive whole: say so on the page, and no completion message.
      // The page waits for the unit again, so a unit plugged back in takes the same file.
      EndRecovery(AfterRecovery::WaitForUnit);
      m_staticStatus->setText(UiText(Sheet()->m_arrText, m_nLanguage, UiIndex(DBFW_TAB_001, 6)));
      m_staticStatus->show();
      break;
    default:
      break;
  }
  return 0;
}
