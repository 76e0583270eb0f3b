#include "device/CReset.h"
#include "text/ExtraTexts.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "app/CV700UpdaterDlg.h"
#include "device/StoppableChannel.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "text/UiTextTable.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadQueuedSink.h"
#include "update/PackageSender.h"
#include "update/UpdateRun.h"
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

CReset::CReset(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {
  BuildControls();
  m_timerProbe.setObjectName(QStringLiteral("probe"));
  m_timerWatchdog.setObjectName(QStringLiteral("watchdog"));
  // Coarse timers may fire up to 5 % early.
  m_timerProbe.setTimerType(Qt::PreciseTimer);
  m_timerWatchdog.setTimerType(Qt::PreciseTimer);
  m_timerProbe.setInterval(kProbePeriodMs);
  m_timerWatchdog.setInterval(UpdateRun::kWatchdogPeriodMs);
  connect(&m_timerProbe, &QTimer::timeout, this, &CReset::ProbeUnit);
  connect(&m_timerWatchdog, &QTimer::timeout, this, &CReset::OnWatchdogTick);
}

CReset::~CReset() { CloseRecoveryChannel(m_transfer.hPipe); }

void CReset::StopWorkers() {
  m_timerProbe.stop();
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

  m_buttonUpdate = new QPushButton(this);
  m_buttonUpdate->setEnabled(false);
  // The recovery page keeps the bar's own colours and its range of 0 to 100.
  m_progress = new TextProgressBar(this);
  m_staticStatus = new QLabel(this);

  auto* page = new QVBoxLayout(this);
  page->addWidget(m_groupMode);
  page->addWidget(m_groupSteps);
  auto* updateRow = new QHBoxLayout;
  updateRow->addStretch();
  updateRow->addWidget(m_buttonUpdate);
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
  m_strDoneText = text(UiIndex(DBFW_TAB_001, 19));
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

void CReset::SetBusy() { Sheet()->m_pageMain.m_bBusy = true; }

void CReset::ReleaseUnit() {
  Sheet()->m_pageMain.m_bBusy = false;
  Sheet()->m_pageMain.StartPollTimer(kPollPeriodAfterRecoveryMs);
}

void CReset::SetRecoveryRunning(bool bRunning) {
  m_bRecoveryRunning = bRunning;
  // Nothing may start a second recovery, choose another file or switch modes meanwhile.
  m_radioAuto->setEnabled(!bRunning);
  m_radioManual->setEnabled(!bRunning);
  m_buttonBrowse->setEnabled(!bRunning);
  if (bRunning) m_buttonUpdate->setEnabled(false);
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
  // A recovery under way keeps its channel and its disabled Update button.
  if (m_bRecoveryRunning) return;
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
  SetBusy();
  m_buttonUpdate->setEnabled(false);
  if (m_bAutoMode) {
    StartDownload();
  } else {
    StartRecoveryTransfer(m_strLocalPath);
  }
}

void CReset::StartDownload() {
  const QString name = Sheet()->m_strFWFile;
  if (name.isEmpty()) {
    UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorNoFirmware]);
    ReleaseUnit();
    return;
  }
  const QString fileName = name + QStringLiteral(".hdr");
  m_strRemoteURL = UpdateServer::BaseUrl() + QStringLiteral("/FW/") + fileName;
  m_strLocalPath = WorkingFolder::FilePath(WorkingFolder::Current(), fileName);
  SetRecoveryRunning(true);

  // The window stays responsive: the download runs on the page's worker.
  auto sink = std::make_shared<CDownloadQueuedSink>(this, this);
  m_worker.Start([sink, url = m_strRemoteURL, path = m_strLocalPath](const WorkerRun<CReset>& run) {
    CDownloadStatusCallback callback(sink.get());
    const std::stop_callback abortOnStop(run.StopToken(), [&callback] { callback.RequestAbort(); });
    const DownloadResult result = DownloadToFile(url, path, callback);
    run.Post([result](CReset* self) { self->OnDownloadDone(result); });
  });
}

void CReset::OnDownloadDone(DownloadResult result) {
  SetRecoveryRunning(false);
  if (result != DownloadResult::Done) {
    // Without the firmware there is nothing to send.
    UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorServerUnreachable]);
    ReleaseUnit();
    return;
  }
  StartRecoveryTransfer(m_strLocalPath);
}

void CReset::OnDownloadProgress(const QString& /*statusText*/, const QString& progressText, int /*percent*/,
                                quint64 bytesDone, quint64 bytesTotal) {
  m_staticStatus->setText(progressText);
  m_nDownloadProgress = bytesDone;
  m_nDownloadProgressMax = bytesTotal;
}

bool CReset::StartRecoveryTransfer(const QString& path) {
  std::optional<QByteArray> file = ReadPackageFile(path);
  if (!file) {
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE));
    ReleaseUnit();
    return false;
  }
  RecoveryTransfer transfer;
  transfer.pBuffer = std::move(*file);
  // The worker owns the channel from here on and closes it.
  transfer.hPipe = m_transfer.hPipe;
  m_transfer.hPipe = kChannelNotOpen;
  SetRecoveryRunning(true);
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
  StopTransferWatch();
  m_worker.RequestStop();
  SetRecoveryRunning(false);
  // The page waits for the unit again, so Update comes back once the unit is there.
  SetBusy();
  m_timerProbe.start(kProbePeriodMs);
  UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorNoProgress]);
}

int CReset::OnTransferReport(int wParam, unsigned lParam) {
  switch (wParam) {
    case kReportProgress:
      m_nWatchdogTicks = 0;
      m_staticStatus->clear();
      m_progress->SetPos(static_cast<int>(lParam));
      break;
    case kReportFinished:
      StopTransferWatch();
      SetRecoveryRunning(false);
      Sheet()->m_pageMain.IdentifyUnitAgain();  // it restarts with its new firmware
      ReleaseUnit();
      UiSeams::ShowMessage(this, m_strDoneText);
      break;
    case kReportChannelNotOpen:
      StopTransferWatch();
      SetRecoveryRunning(false);
      UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorChannelNotOpen],
                           UiSeams::MessageIcon::Information);
      ReleaseUnit();
      break;
    case kReportFailed:
      // The firmware did not arrive whole: say so on the page, and no completion message.
      StopTransferWatch();
      SetRecoveryRunning(false);
      m_staticStatus->setText(UiText(Sheet()->m_arrText, m_nLanguage, UiIndex(DBFW_TAB_001, 6)));
      m_staticStatus->show();
      ReleaseUnit();
      break;
    default:
      break;
  }
  return 0;
}
