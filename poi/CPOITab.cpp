#include "poi/CPOITab.h"
#include "text/ExtraTexts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CV700UpdaterDlg.h"
#include "device/StoppableChannel.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "poi/CBusyGuard.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFile.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiMapLink.h"
#include "poi/PoiReadTask.h"
#include "poi/PoiRecordTable.h"
#include "poi/PoiWriteTask.h"

namespace {

// The POI page lets every row go.
bool AlwaysMayDelete(quint32, quintptr) { return true; }

QString Fixed(const char* text) { return QString::fromLatin1(text); }

}  // namespace

CPOITab::CPOITab(CV700UpdaterDlg* sheet)
    : CPropertyPage(sheet, UnitJob::PoiExchange),
      m_listPOI(new CSortableListCtrl(this)),
      m_staticCountLabel(new QLabel(Fixed("POI Count :"), this)),
      m_staticCount(new QLabel(Fixed("ea"), this)),
      m_btnRead(new QPushButton(Fixed("Read"), this)),
      m_btnReadFromPC(new QPushButton(Fixed("Read from PC"), this)),
      m_btnDeleteAll(new QPushButton(Fixed("Delete All"), this)),
      m_btnDeleteSelected(new QPushButton(Fixed("Delete selected"), this)),
      m_btnSave(new QPushButton(Fixed("Save"), this)),
      m_btnExport(new QPushButton(ExtraText(ExtraTextId::POI_EXPORT_BUTTON), this)) {
  auto* countRow = new QHBoxLayout;
  countRow->addWidget(m_staticCountLabel);
  countRow->addWidget(m_staticCount);
  countRow->addStretch();
  auto* buttonRow = new QHBoxLayout;
  for (QPushButton* button : {m_btnRead, m_btnReadFromPC, m_btnDeleteAll, m_btnDeleteSelected, m_btnSave, m_btnExport}) {
    button->setAutoDefault(false);
    // Read and Save talk to the unit: they wait while another page's job holds it.
    buttonRow->addWidget(button == m_btnRead || button == m_btnSave ? GuardUnitAction(button) : button);
  }
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_listPOI, 1);
  layout->addLayout(countRow);
  layout->addLayout(buttonRow);

  connect(m_btnRead, &QPushButton::clicked, this, &CPOITab::OnRead);
  connect(m_btnReadFromPC, &QPushButton::clicked, this, &CPOITab::ImportPoiFile);
  connect(m_btnDeleteAll, &QPushButton::clicked, this, &CPOITab::OnDeleteAll);
  connect(m_btnDeleteSelected, &QPushButton::clicked, this, &CPOITab::OnDeleteSelected);
  connect(m_btnSave, &QPushButton::clicked, this, &CPOITab::OnSave);
  connect(m_btnExport, &QPushButton::clicked, this, &CPOITab::OnExport);
  connect(m_listPOI, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { OpenPoiMap(index.isValid() ? index.row() : -1); });

  m_timerSaveLock.setInterval(PoiConstants::kSaveLockPeriodMs);
  connect(&m_timerSaveLock, &QTimer::timeout, this, &CPOITab::OnSaveLockTimer);
  UpdateButtons();
}

CPOITab::~CPOITab() = default;

void CPOITab::SetTimings(int saveLockPeriodMs, int writePacingMs) {
  m_timerSaveLock.setInterval(saveLockPeriodMs);
  m_nWritePacingMs = writePacingMs;
}

// ---- sheet contract ----

void CPOITab::ApplyLanguage(int nLanguage) {
  const auto text = [this, nLanguage](int number) {
    return Sheet() ? UiText(Sheet()->m_arrText, nLanguage, UiIndex(POI_TAB_001, number)) : QString();
  };
  m_strColumnSpec = Fixed(PoiConstants::kColumnSpecFormat)
                        .arg(text(2), text(3), text(4), text(5), text(6), text(7));
  m_staticCountLabel->setText(text(10));
  m_btnRead->setText(text(11));
  m_btnReadFromPC->setText(text(12));
  m_btnDeleteAll->setText(text(13));
  m_btnDeleteSelected->setText(text(14));
  m_btnSave->setText(text(15));
  m_btnExport->setText(ExtraText(ExtraTextId::POI_EXPORT_BUTTON));
  m_bTextsPending = false;
}

void CPOITab::EnableControls(bool bEnable) {
  m_bControlsEnabled = bEnable;
  UpdateButtons();
}

void CPOITab::OnInitDialog() {
  m_staticCountLabel->setText(Fixed(PoiConstants::kInitialCountLabel));
  ShowCount(0);
  CPropertyPage::OnInitDialog();
  EnableControls(Sheet() && Sheet()->m_bUnitConnected);
  // A window created afresh starts with an empty list of the current columns.
  m_listPOI->DeleteAllItems(AlwaysMayDelete);
  m_listPOI->DeleteAllColumns();
  m_listPOI->SetColumns(m_strColumnSpec);
  m_listPOI->SetGridLines(true);
  m_listPOI->SetCheckboxes(true);
  OpenPoiChannels();
}

void CPOITab::OnDestroyWindow() {
  m_timerSaveLock.stop();
  m_nSaveLockTicks = 0;
  // A running task keeps its own share of the pipes until it ends.
  m_channels = {};
  UpdateButtons();
}

void CPOITab::OpenPoiChannels() {
  // Pipes of an earlier initialisation are let go before new ones are opened.
  m_channels = {};
  m_channels = ::OpenPoiChannels();
}

// ---- state shown ----

void CPOITab::UpdateButtons() {
  const bool enabled = m_bControlsEnabled && !m_bTaskRunning;
  for (QPushButton* button : {m_btnRead, m_btnReadFromPC, m_btnDeleteAll, m_btnDeleteSelected, m_btnExport})
    button->setEnabled(enabled);
  m_btnSave->setEnabled(enabled && !IsSaveLocked());
}

void CPOITab::ShowBadRow(int row) {
  m_listPOI->UnselectAllItems();
  m_listPOI->SelectItem(row);
  m_listPOI->scrollTo(m_listPOI->model()->index(row, 0));
}

void CPOITab::ShowCount(int count) { m_staticCount->setText(QString::number(count)); }

void CPOITab::ShowPois(const QList<PoiTexts>& pois) {
  const int first = m_listPOI->GetItemCount() + 1;
  QList<QStringList> rows;
  rows.reserve(pois.size());
  for (const PoiTexts& poi : pois)
    rows.append({QString::number(first + rows.size()), poi.date, poi.time, poi.latitude, poi.longitude, poi.heading});
  m_listPOI->AppendItems(rows);
  m_nPOICount = m_listPOI->GetItemCount();
  ShowCount(m_nPOICount);
}

QList<PoiTexts> CPOITab::ListRows() const {
  QList<PoiTexts> rows;
  rows.reserve(m_listPOI->GetItemCount());
  for (int row = 0; row < m_listPOI->GetItemCount(); ++row)
    rows.append({m_listPOI->GetItemText(row, 1), m_listPOI->GetItemText(row, 2), m_listPOI->GetItemText(row, 3),
                 m_listPOI->GetItemText(row, 4), m_listPOI->GetItemText(row, 5)});
  return rows;
}

void CPOITab::PauseMainPoll() {
  if (!Sheet()) return;
  Sheet()->m_pageMain.m_bBusy = true;
  Sheet()->m_pageMain.StopPollTimer();
}

void CPOITab::ResumeMainPoll() {
  if (!Sheet()) return;
  Sheet()->m_pageMain.m_bBusy = false;
  Sheet()->m_pageMain.StartPollTimer(PoiConstants::kMainPollPeriodMs);
}

// ---- read ----

void CPOITab::OnRead() {
  if (UnitHeldByOther()) return;
  PauseMainPoll();
  // The list is replaced only by what the unit answered: rows not saved yet survive a read
  // that fails.
  if (!m_channels.IsOpen()) {
    ResumeMainPoll();
    UiSeams::ShowMessage(this, Fixed(PoiConstants::kHandleNotOpenMessage));
    return;
  }
  m_bTaskRunning = true;
  m_bSaving = false;
  BeginUnitJob();
  UpdateButtons();
  m_task.Start([channels = m_channels, connected = Sheet() && Sheet()->m_bUnitConnected,
                table = &ThePoiRecordTable()](const WorkerRun<CPOITab>& run) {
    const PoiReadResult result = PoiReadTask::Run(channels, connected, *table, run.StopToken());
    run.Post([result](CPOITab* page) { page->OnReadFinished(result); });
  });
}

void CPOITab::OnReadFinished(const PoiReadResult& result) {
  m_bTaskRunning = false;
  EndUnitJob();
  UpdateButtons();
  switch (result.outcome) {
    case PoiTaskOutcome::HandlesNotOpen:
      ResumeMainPoll();
      UiSeams::ShowMessage(this, Fixed(PoiConstants::kHandleNotOpenMessage));
      return;
    case PoiTaskOutcome::NoAnswer:
    case PoiTaskOutcome::NotKept:  // a read's count is what it announces: never
      ResumeMainPoll();
      UiSeams::ShowMessage(this, ExtraText(ExtraTextId::UNIT_NO_ANSWER));
      return;
    case PoiTaskOutcome::Done: break;
  }
  FillFromTable(result.count);
  if (result.announced > result.count)
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::POI_TOO_MANY_RECORDS).arg(result.announced).arg(result.count));
}

void CPOITab::FillFromTable(int count) {
  m_listPOI->DeleteAllItems(AlwaysMayDelete);
  m_nPOICount = 0;
  ShowPois(ExportPoiFile(WorkingFolder::Current(), QDateTime::currentDateTime(), ThePoiRecordTable(), count));
  StartSaveLock();
  ResumeMainPoll();
}

// ---- save lock ----

void CPOITab::StartSaveLock() {
  // Every read locks Save for the whole period, however far an earlier lock had run.
  m_nSaveLockTicks = 0;
  m_timerSaveLock.start();
  UpdateButtons();
}

void CPOITab::OnSaveLockTimer() {
  if (++m_nSaveLockTicks < PoiConstants::kSaveLockTicks) return;
  m_timerSaveLock.stop();
  m_nSaveLockTicks = 0;
  UpdateButtons();
}

// ---- save ----

void CPOITab::OnSave() {
  if (UnitHeldByOther()) return;
  PauseMainPoll();
  m_nPOICount = m_listPOI->GetItemCount();
  const PoiConversion conversion =
      SavePoiBackup(WorkingFolder::Current(), QDateTime::currentDateTime(), ListRows(), ThePoiRecordTable());
  if (conversion.result != PoiConversion::Done) {
    ResumeMainPoll();
    if (conversion.result == PoiConversion::TooManyRows) {
      UiSeams::ShowMessage(
          this, ExtraText(ExtraTextId::POI_TOO_MANY_ROWS).arg(PoiRecordTable::kSlotCount).arg(m_nPOICount));
    } else {
      ShowBadRow(conversion.badRow);
      UiSeams::ShowMessage(this, ExtraText(ExtraTextId::POI_CONVERSION_FAILED));
    }
    return;
  }
  if (!m_channels.IsOpen()) {
    ResumeMainPoll();
    UiSeams::ShowMessage(this, Fixed(PoiConstants::kHandleNotOpenMessage));
    return;
  }
  PoiWriteParams params;
  params.unitConnected = Sheet() && Sheet()->m_bUnitConnected;
  params.erasePending = m_nPOICount == 0;  // an empty list: one command empties the unit
  params.count = m_nPOICount;
  params.pacingMs = m_nWritePacingMs;
  m_bTaskRunning = true;
  m_bSaving = true;
  BeginUnitJob();
  UpdateButtons();
  // The backup file above holds the list before anything goes to the unit; what the unit
  // holds goes to an export file first, whether or not this window read it, and then the
  // unit is to hold exactly the list: the slots it held past the list are emptied.
  m_task.Start([channels = m_channels, params, table = &ThePoiRecordTable(),
                folder = WorkingFolder::Current()](const WorkerRun<CPOITab>& run) mutable {
    PoiRecordTable held;
    const PoiUnitCopy copy = PoiReadTask::CopyToExportFile(channels, params.unitConnected, folder,
                                                           QDateTime::currentDateTime(), held, run.StopToken());
    PoiWriteResult result;
    result.outcome = copy.read.outcome;
    if (copy.kept) {
      const auto pause = [&run](int ms) { StoppableSleep(run.StopToken(), ms); };
      params.unitFilled = copy.read.count;
      result = PoiWriteTask::Run(channels, params, *table, pause, run.StopToken());
    }
    run.Post([copy, result](CPOITab* page) { page->OnWriteFinished(copy, result); });
  });
}

void CPOITab::OnWriteFinished(const PoiUnitCopy& copy, const PoiWriteResult& result) {
  m_bTaskRunning = false;
  EndUnitJob();
  UpdateButtons();
  ResumeMainPoll();
  if (result.outcome == PoiTaskOutcome::HandlesNotOpen)
    UiSeams::ShowMessage(this, Fixed(PoiConstants::kHandleNotOpenMessage));
  else if (result.outcome == PoiTaskOutcome::NoAnswer)
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::UNIT_NO_ANSWER));
  else if (result.outcome == PoiTaskOutcome::NotKept)
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::POI_SAVE_NOT_KEPT));
  else if (!copy.kept)
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::POI_UNIT_NOT_KEPT).arg(copy.fileName));
}

// ---- list commands ----

void CPOITab::OnDeleteAll() {
  m_listPOI->DeleteAllItems(AlwaysMayDelete);
  ShowCount(0);
  m_nPOICount = 0;
  ThePoiRecordTable().Clear();
}

void CPOITab::OnDeleteSelected() {
  m_listPOI->DeleteAllChecked(AlwaysMayDelete);
  m_listPOI->setFocus();
  ShowCount(m_listPOI->GetItemCount());
}

void CPOITab::ImportPoiFile() {
  UiSeams::FileDialogRequest request;
  request.parent = this;
  request.folder = WorkingFolder::Current();
  request.filter = PoiOpenDialogFilter();
  const QString path = UiSeams::ChooseFile(request);
  if (path.isEmpty()) return;

  // A map tool's file runs to tens of megabytes: it is read on the worker, while the
  // window paints and shows the wait cursor. The worker sifts against the rows as they are
  // now; the buttons stay disabled until the rows it chose are shown.
  m_importBusy.emplace();
  m_bTaskRunning = true;
  m_bSaving = false;
  UpdateButtons();
  m_task.Start([path, rows = ListRows()](const WorkerRun<CPOITab>& run) {
    const PoiImport import = PlanPoiImport(rows, ReadPoiFile(path, run.StopToken()));
    run.Post([path, import](CPOITab* page) { page->OnImportFinished(path, import); });
  });
}

void CPOITab::OnImportFinished(const QString& path, const PoiImport& import) {
  m_bTaskRunning = false;
  m_importBusy.reset();
  UpdateButtons();
  // A file that cannot be taken leaves the list as it was.
  QString message = PoiFileErrorText(import, path, PoiAudience::Window);
  if (import.status == PoiFileContent::Read) {
    if (import.bReplacesList) m_listPOI->DeleteAllItems(AlwaysMayDelete);
    ShowPois(import.report.added);
    // Another tool's POIs were sifted: the user learns what was left out and why.
    if (!import.bReplacesList) message = PoiImportReportText(import.report, PoiAudience::Window);
  }
  if (!message.isEmpty()) UiSeams::ShowMessage(this, message);
}

void CPOITab::OnExport() {
  QString chosenFilter;
  UiSeams::FileDialogRequest request;
  request.parent = this;
  request.caption = ExtraText(ExtraTextId::POI_EXPORT_CAPTION);
  request.folder = WorkingFolder::Current();
  request.filter = PoiSaveDialogFilter();
  request.save = true;
  request.selectedFilter = &chosenFilter;
  const QString path = UiSeams::ChooseFile(request);
  if (path.isEmpty()) return;

  const PoiExportTarget target = PoiExportTargetFor(path, chosenFilter);
  // The dialog asked about replacing the name it was given, not the one with its suffix added.
  if (target.path != path && QFileInfo::exists(target.path) &&
      UiSeams::ShowMessage(this, ExtraText(ExtraTextId::POI_EXPORT_REPLACE).arg(QDir::toNativeSeparators(target.path)),
                           UiSeams::MessageIcon::Question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  const PoiWriteOutcome outcome = WritePoiFile(target.path, target.format, ListRows());
  if (outcome.result == PoiWriteOutcome::BadRow) ShowBadRow(outcome.badRow);
  if (outcome.result != PoiWriteOutcome::Written) UiSeams::ShowMessage(this, PoiWriteErrorText(outcome, target.path));
}

void CPOITab::OpenPoiMap(int row) {
  if (row < 0 || row >= m_listPOI->GetItemCount()) return;
  PoiMapLink::Open(PoiMapLink::MapUrl(m_listPOI->GetItemText(row, 3), m_listPOI->GetItemText(row, 4),
                                      m_listPOI->GetItemText(row, 5)));
}
