#include "update/CUnzipPackDlg.h"

#include <QDir>
#include <QVBoxLayout>

#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "update/UnzipManualPack.h"
#include "widgets/TextProgressBar.h"

namespace {

constexpr const char* kTitle = "UNZIP PCK";
constexpr const char* kErrorCaption = "Error";
// Same bar look as the update page: a teal-to-navy ramp with green text.
constexpr COLORREF kBarStartColour = 0x808000;
constexpr COLORREF kBarEndColour = 0x800000;
constexpr COLORREF kBarTextColour = 0x008000;
// 187 x 39 dialog units at the usual dialog font.
constexpr int kDialogWidth = 280;
constexpr int kDialogHeight = 64;

}  // namespace

CUnzipPackDlg::CUnzipPackDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setFixedSize(kDialogWidth, kDialogHeight);
  m_pProgress = new TextProgressBar(this);
  m_pProgress->setObjectName(QString::number(kProgressControlId));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_pProgress);

  m_pProgress->SetRange(0, kUnpackProgressUpper);
  m_pProgress->SetPos(0);
  m_pProgress->ShowPercentage(true);
  m_pProgress->SetStartColour(kBarStartColour);
  m_pProgress->SetEndColour(kBarEndColour);
  m_pProgress->SetTextColour(kBarTextColour);
  m_strPackFile = QString::fromLatin1(kManualPackFileName);

  m_timerStart.setSingleShot(true);
  m_timerStart.setInterval(kStartDelayMs);
  connect(&m_timerStart, &QTimer::timeout, this, &CUnzipPackDlg::OnStartTimer);
}

void CUnzipPackDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_bStarted) {
    m_bStarted = true;
    m_timerStart.start();
  }
}

void CUnzipPackDlg::OnStartTimer() {
  m_timerStart.stop();
  UnpackManualPack();
}

void CUnzipPackDlg::UnpackManualPack() {
  const QString folder = m_strTargetFolder.isEmpty() ? WorkingFolder::Current() : m_strTargetFolder;
  const QString pack = QDir(folder).absoluteFilePath(m_strPackFile);
  m_worker.Start([pack, folder](const WorkerRun<CUnzipPackDlg>& run) {
    const auto setPos = [&run](int pos) {
      run.Post([pos](CUnzipPackDlg* dlg) { dlg->m_pProgress->SetPos(pos); });
    };
    QString error;
    const int result = ::UnpackManualPack(pack, folder, setPos, &error, run.StopToken());
    run.Post([result, error](CUnzipPackDlg* dlg) { dlg->OnUnpackDone(result, error); });
  });
}

void CUnzipPackDlg::OnUnpackDone(int result, const QString& error) {
  if (result == 1) return accept();
  UiSeams::MessageRequest request;
  request.parent = this;
  request.text = error;
  request.caption = QString::fromLatin1(kErrorCaption);
  UiSeams::ShowMessage(request);
  reject();
}

void CUnzipPackDlg::Stop() {
  m_bStopped = true;
  reject();
}

void CUnzipPackDlg::reject() {
  m_timerStart.stop();
  m_worker.Stop();
  QDialog::reject();
}
