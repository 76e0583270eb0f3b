#include "update/CDBUpdateTab.h"
#include "text/ExtraTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "text/UiTextTable.h"
#include "update/CUnzipPackDlg.h"
#include "update/DownloadFailureText.h"
#include "update/UnitCheck.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateServer.h"
#include "widgets/GradientLabel.h"
#include "widgets/TextProgressBar.h"

using namespace UpdateCatalogue;

namespace {

// The main page polls at this period again once a run is over.
constexpr int kPollPeriodAfterRunMs = 1000;
// A lamp's size (73 x 24 units of the page's template).
constexpr QSize kLampSize(117, 36);

// A group box holding `rows` one under the other, topmost first.
QGroupBox* PackageGroup(QWidget* page, std::initializer_list<QLayout*> rows) {
  auto* group = new QGroupBox(page);
  auto* column = new QVBoxLayout(group);
  for (QLayout* row : rows) column->addLayout(row);
  column->addStretch();
  return group;
}

QLayout* Row(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (QWidget* widget : widgets) row->addWidget(widget);
  row->addStretch();
  return row;
}

// Text indexes of the page.
constexpr int kTextUpToDate = 2;
constexpr int kTextRadioAuto = 3;
constexpr int kTextRadioManual = 4;
constexpr int kTextToSend = 5;
constexpr int kTextErrorLine = 6;
constexpr int kTextPackMissing = 10;
constexpr int kTextDownloadDB = 12;
constexpr int kTextDownloadVoice = 13;
constexpr int kTextDownloadFW = 14;
constexpr int kTextUpdateButton = 15;
constexpr int kTextSendDB = 16;
constexpr int kTextSendVoice = 17;
constexpr int kTextSendFW = 18;
constexpr int kTextRunFinished = 19;
constexpr int kTextCaptionFW = 25;
constexpr int kTextCaptionDB = 26;
constexpr int kTextCaptionVoice = 27;
constexpr int kTextUnpackFailed = 18;  // of the recovery page's group

// Error messages of the run.
// (Refusals to start take theirs from RunRefusal.)
constexpr int kErrorServerUnreachable = 2;
constexpr int kErrorRestartUnit = 10;
constexpr int kErrorNoProgress = 11;
constexpr int kErrorChannelNotOpen = 12;

int DBFW(int number) { return UiIndex(DBFW_TAB_001, number); }

}  // namespace

CDBUpdateTab::CDBUpdateTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet, UnitJob::UpdateRun) {
  CreateControls();
  ConnectRun();
}

CDBUpdateTab::~CDBUpdateTab() = default;

void CDBUpdateTab::CreateControls() {
  // The arrangement of the page's template, laid out by the page's font: every text keeps
  // the room it needs, in either language, at the window's smallest size.
  m_radioAuto = new QRadioButton(QStringLiteral("Auto Update"));
  m_radioManual = new QRadioButton(QStringLiteral("Manual Update"));
  m_comboDB = new QComboBox;
  m_editDB = new QLineEdit;
  m_checkDB = new QCheckBox(QStringLiteral("Update"));
  m_labelDBVersion = new QLabel(QStringLiteral("Db Ver -"));
  m_lampDB = new GradientLabel;
  m_labelDBState = new QLabel(QStringLiteral("Update?"));
  m_comboVoice = new QComboBox;
  m_editVoice = new QLineEdit;
  m_checkVoice = new QCheckBox(QStringLiteral("Update"));
  m_labelVoiceVersion = new QLabel(QStringLiteral("Voice Ver -"));
  m_lampVoice = new GradientLabel;
  m_labelVoiceState = new QLabel(QStringLiteral("Update?"));
  m_editFW = new QLineEdit;
  m_checkFW = new QCheckBox(QStringLiteral("Update"));
  m_labelFWVersion = new QLabel(QStringLiteral("Fimware Ver -"));
  m_lampFW = new GradientLabel;
  m_labelFWState = new QLabel(QStringLiteral("UPdate?"));
  m_checkForce = new QCheckBox(QStringLiteral("ForceUpdate"));
  m_buttonUpdate = new QPushButton(QStringLiteral("UPdate"));
  m_progress = new TextProgressBar;
  m_labelDownloadPhase = new QLabel;
  m_labelDownloadSize = new QLabel;
  m_labelSendPhase = new QLabel(QStringLiteral("Db download in.."));
  m_labelError = new QLabel;
  m_labelError->setWordWrap(true);
  for (GradientLabel* lamp : {m_lampDB, m_lampVoice, m_lampFW}) lamp->setFixedSize(kLampSize);
  // Lines that come and go keep their room, so nothing below them jumps.
  for (QWidget* line : std::initializer_list<QWidget*>{m_labelDownloadPhase, m_labelDownloadSize, m_labelSendPhase,
                                                       m_labelError}) {
    QSizePolicy policy = line->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    line->setSizePolicy(policy);
  }

  auto* downloads = new QVBoxLayout;
  downloads->addWidget(m_labelDownloadPhase);
  downloads->addWidget(m_labelDownloadSize);
  downloads->addStretch();
  auto* grid = new QGridLayout(this);
  grid->addWidget(m_radioAuto, 0, 0);
  grid->addWidget(m_radioManual, 0, 1);
  grid->addWidget(PackageGroup(this, {Row({m_comboDB}), Row({m_editDB, m_checkDB}), Row({m_labelDBVersion}),
                                      Row({m_lampDB}), Row({m_labelDBState})}),
                  1, 0);
  grid->addWidget(PackageGroup(this, {Row({m_comboVoice}), Row({m_editVoice, m_checkVoice}), Row({m_labelVoiceVersion}),
                                      Row({m_lampVoice}), Row({m_labelVoiceState})}),
                  1, 1);
  grid->addWidget(PackageGroup(this, {Row({m_editFW, m_checkFW}), Row({m_labelFWVersion}), Row({m_lampFW}),
                                      Row({m_labelFWState})}),
                  2, 0);
  grid->addLayout(downloads, 2, 1);
  // After the package groups, so that the page's children list the button after the package
  // boxes, as the template's order has it.
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_checkForce);
  buttons->addStretch();
  buttons->addWidget(GuardUnitAction(m_buttonUpdate));
  buttons->addStretch();
  grid->addLayout(buttons, 3, 0, 1, 2);
  grid->addWidget(m_labelError, 4, 0, 1, 2);
  grid->addWidget(m_progress, 5, 0, 1, 2);
  grid->addWidget(m_labelSendPhase, 6, 0, 1, 2);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  // Only listed names can be chosen: the combo boxes' edit fields take no typing that stays.
  for (QComboBox* combo : {m_comboDB, m_comboVoice}) combo->setEditable(true);
  // The file names come from the manual pack's list; typing one changes nothing.
  for (QLineEdit* edit : {m_editDB, m_editVoice, m_editFW}) edit->setReadOnly(true);

  connect(m_radioAuto, &QRadioButton::clicked, this, &CDBUpdateTab::EnterAutoMode);
  connect(m_radioManual, &QRadioButton::clicked, this, &CDBUpdateTab::EnterManualMode);
  connect(m_comboDB, &QComboBox::activated, this, &CDBUpdateTab::OnDBAreaSelected);
  connect(m_comboVoice, &QComboBox::activated, this, &CDBUpdateTab::OnVoiceSelected);
  connect(m_comboDB->lineEdit(), &QLineEdit::textEdited, this,
          [this] { m_comboDB->setCurrentIndex(m_nDBSel); });
  connect(m_comboVoice->lineEdit(), &QLineEdit::textEdited, this,
          [this] { m_comboVoice->setCurrentIndex(m_nVoiceSel); });
  connect(m_checkDB, &QCheckBox::clicked, this, [this] { OnPackageCheckClicked(kCheckDBId); });
  connect(m_checkVoice, &QCheckBox::clicked, this, [this] { OnPackageCheckClicked(kCheckVoiceId); });
  connect(m_checkFW, &QCheckBox::clicked, this, [this] { OnPackageCheckClicked(kCheckFWId); });
  connect(m_checkForce, &QCheckBox::clicked, this, &CDBUpdateTab::OnForceClicked);
  connect(m_buttonUpdate, &QPushButton::clicked, this, &CDBUpdateTab::OnUpdateClicked);
}

void CDBUpdateTab::ConnectRun() {
  connect(&m_run, &UpdateRun::downloadStarted, this, &CDBUpdateTab::OnRunDownloadStarted);
  connect(&m_run, &UpdateRun::downloadProgress, this, &CDBUpdateTab::OnDownloadProgress);
  connect(&m_run, &UpdateRun::sendStarted, this, &CDBUpdateTab::OnRunSendStarted);
  connect(&m_run, &UpdateRun::progressChanged, this, [this](int value) {
    m_progress->SetPos(value);
    update();
  });
  // A run that ends without finishing gives the page back at once; the watchdog's message
  // may still follow a give-up or a closed channel.
  connect(&m_run, &UpdateRun::downloadFailed, this, &CDBUpdateTab::OnRunDownloadFailed);
  connect(&m_run, &UpdateRun::transferGaveUp, this, [this] {
    ShowRunAtRest();
    m_labelError->setText(m_strErrorLine);
    m_labelError->show();
  });
  connect(&m_run, &UpdateRun::channelNotOpen, this, [this] {
    ShowRunAtRest();
    UiSeams::ShowMessage(this, ErrorMessage(kErrorChannelNotOpen),
                         UiSeams::MessageIcon::Information);
  });
  connect(&m_run, &UpdateRun::watchdogExpired, this, [this] {
    ShowRunAtRest();
    UiSeams::ShowMessage(this, ErrorMessage(kErrorNoProgress));
  });
  connect(&m_run, &UpdateRun::finished, this, &CDBUpdateTab::FinishRun);
  // Once the page has shown how the run ended, the unit is free for the other pages' jobs.
  const auto endJob = [this] { EndUnitJob(); };
  connect(&m_run, &UpdateRun::downloadFailed, this, endJob);
  connect(&m_run, &UpdateRun::transferGaveUp, this, endJob);
  connect(&m_run, &UpdateRun::channelNotOpen, this, endJob);
  connect(&m_run, &UpdateRun::watchdogExpired, this, endJob);
  connect(&m_run, &UpdateRun::finished, this, endJob);
  connect(&m_run, &UpdateRun::unitCheckTimedOut, this, [this] { OnUnitChecked(false); });
}

QString CDBUpdateTab::PageText(int nLanguage, int index) const {
  return Sheet() ? UiText(Sheet()->m_arrText, nLanguage, index) : QString();
}

QString CDBUpdateTab::ErrorMessage(int number) const {
  if (!Sheet() || number < 1 || number > kErrorMessageCount) return QString();
  return Sheet()->m_strErrorMsg[static_cast<size_t>(number - 1)];
}

UpdateCatalogue::UnitVersions CDBUpdateTab::UnitVersions() const {
  return UpdateCatalogue::UnitVersions::FromReply(Sheet()->m_pageMain.m_byVersionReply.data());
}

void CDBUpdateTab::OnInitDialog() {
  m_labelSendPhase->hide();
  for (GradientLabel* lamp : {m_lampFW, m_lampDB, m_lampVoice}) lamp->SetColors(kLampIdle, kLampIdle, 0);
  m_labelDownloadPhase->clear();
  m_labelDownloadSize->clear();
  m_bManualListShown = false;
  m_bLampsShown = false;
  m_run.ResetRunState();
  m_progress->SetRange(0, UpdateRun::kProgressFull);
  m_progress->SetPos(0);
  m_progress->ShowPercentage(true);
  m_progress->SetStartColour(kProgressStartColour);
  m_progress->SetEndColour(kProgressEndColour);
  m_progress->SetTextColour(kProgressTextColour);
  m_labelError->setFont(Sheet()->m_fontBold);
  m_labelError->hide();

  EnableControls(Sheet()->m_bUnitConnected);
  if (m_bTextsPending) ApplyLanguage(Sheet()->m_nLanguageID);

  for (QRadioButton* radio : {m_radioAuto, m_radioManual}) radio->show();
  // Without an Internet connection the automatic mode is not offered, until the unit is
  // (again) found.
  m_bAutoRadioHeld = !Sheet()->m_bInternetConnected;
  if (m_bAutoRadioHeld) {
    EnterManualMode();
  } else {
    EnterAutoMode();
  }
}

void CDBUpdateTab::ApplyLanguage(int nLanguage) {
  const auto text = [&](int index) { return PageText(nLanguage, index); };
  m_radioAuto->setText(text(DBFW(kTextRadioAuto)));
  m_radioManual->setText(text(DBFW(kTextRadioManual)));
  m_strUpToDate = text(DBFW(kTextUpToDate));
  m_strToSend = text(DBFW(kTextToSend));
  m_strErrorLine = text(DBFW(kTextErrorLine));
  m_strPackMissing = text(DBFW(kTextPackMissing));
  m_strDownloadDB = text(DBFW(kTextDownloadDB));
  m_strDownloadVoice = text(DBFW(kTextDownloadVoice));
  m_strDownloadFW = text(DBFW(kTextDownloadFW));
  m_strSendDB = text(DBFW(kTextSendDB));
  m_strSendVoice = text(DBFW(kTextSendVoice));
  m_strSendFW = text(DBFW(kTextSendFW));
  m_strRunFinished = text(DBFW(kTextRunFinished));
  m_strCaptionFW = text(DBFW(kTextCaptionFW));
  m_strCaptionDB = text(DBFW(kTextCaptionDB));
  m_strCaptionVoice = text(DBFW(kTextCaptionVoice));
  m_strUnpackFailed = text(UiIndex(RESET_TAB_001, kTextUnpackFailed));
  m_buttonUpdate->setText(text(DBFW(kTextUpdateButton)));
  ShowVersionLabels();
  if (m_bLampsShown) ShowUpdateLamps();  // their state texts in the new language

  m_listDBNames = ParseListValue(text(DBAREA_001));
  m_comboDB->clear();
  m_comboDB->addItems(m_listDBNames);
  SelectUnitDBArea();

  m_listVoiceNames = ParseListValue(text(VOICELIST_001));
  m_comboVoice->clear();
  m_comboVoice->addItems(m_listVoiceNames);
  SelectUnitVoice();

  m_listDBNamesLang1.clear();
  m_listVoiceNamesLang1.clear();
  if (nLanguage != kLanguageEnglish) {
    m_listDBNamesLang1 = ParseListValue(PageText(kLanguageEnglish, DBAREA_001));
    m_listVoiceNamesLang1 = ParseListValue(PageText(kLanguageEnglish, VOICELIST_001));
  }
  m_bTextsPending = false;
}

void CDBUpdateTab::OnUnitIdentified() {
  // A unit that comes (back) starts the choice afresh: its own area and voice, nothing
  // picked. A page without its window selects them when it is created again.
  m_bDBAreaChanged = false;
  m_bVoiceLangChanged = false;
  if (HasWindow()) {
    ShowVersionLabels();
    SelectUnitDBArea();
    SelectUnitVoice();
    if (m_nMode == kModeAuto && Sheet()->m_bUnitConnected) EvaluateUpdates();
  }
  // A unit that restarted after a firmware comes back with its pages closed: the run's
  // outcome is told all the same.
  if (m_run.AwaitsUnitCheck()) OnUnitChecked(true);
}

void CDBUpdateTab::EnableControls(bool bEnable) {
  m_bControlsEnabled = bEnable;
  m_bAutoRadioHeld = false;
  UpdateControlStates();
}

void CDBUpdateTab::UpdateControlStates() {
  // Nothing changes while a run goes: it keeps its controls locked until it ends.
  const bool on = m_bControlsEnabled && Sheet()->m_bUnitConnected && !m_run.IsRunning();
  const bool manual = m_nMode == kModeManual;
  const bool listShown = manual && m_bManualListShown;
  m_radioAuto->setEnabled(on && !m_bAutoRadioHeld);
  m_radioManual->setEnabled(on);
  m_checkForce->setEnabled(on);
  m_comboDB->setEnabled(on && !manual);
  m_comboVoice->setEnabled(on && !manual);
  const std::tuple<QCheckBox*, QLineEdit*, bool> packages[] = {
      {m_checkDB, m_editDB, m_bUpdateDB}, {m_checkVoice, m_editVoice, m_bUpdateVoice}, {m_checkFW, m_editFW, m_bUpdateFW}};
  for (const auto& [check, edit, marked] : packages) {
    check->setEnabled(on && listShown);
    edit->setEnabled(on && listShown && marked);
  }
  // Update starts the run the auto radio asks for: in manual mode only once the pack's list
  // is shown, unless the auto radio is ticked because the pack is missing.
  const bool runnable = !manual || listShown || m_radioAuto->isChecked();
  m_buttonUpdate->setEnabled(on && runnable && (m_bUpdateDB || m_bUpdateVoice || m_bUpdateFW));
}

// Lamps and labels.

void CDBUpdateTab::ShowLamp(bool bToSend, QLabel* state, GradientLabel* lamp) {
  state->setText(bToSend ? m_strToSend : m_strUpToDate);
  const COLORREF colour = bToSend ? kLampToSend : kLampUpToDate;
  lamp->SetColors(colour, colour, 0);
}

void CDBUpdateTab::ShowUpdateLamps() {
  m_bLampsShown = true;
  ShowLamp(m_bUpdateDB, m_labelDBState, m_lampDB);
  ShowLamp(m_bUpdateVoice, m_labelVoiceState, m_lampVoice);
  ShowLamp(m_bUpdateFW, m_labelFWState, m_lampFW);
}

void CDBUpdateTab::ShowVersionLabels() {
  m_labelDBVersion->setText(QStringLiteral("%1 - %2").arg(m_strCaptionDB).arg(m_nUnitDBVersion));
  m_labelVoiceVersion->setText(
      QStringLiteral("%1 - %2").arg(m_strCaptionVoice).arg(m_nUnitVoiceVersion));
  const auto unit = UnitVersions();
  m_labelFWVersion->setText(
      QStringLiteral("%1 - %2.%3").arg(m_strCaptionFW).arg(unit.nFWMajor).arg(unit.nFWMinor));
}

// Catalogue decisions.

void CDBUpdateTab::SelectUnitDBArea() {
  m_nDBSel = UpdateCatalogue::SelectUnitDBArea(Sheet()->m_listDB, UnitVersions());
  m_comboDB->setCurrentIndex(m_nDBSel);
}

void CDBUpdateTab::SelectUnitVoice() {
  m_nVoiceSel = UpdateCatalogue::SelectUnitVoice(Sheet()->m_listVoice, UnitVersions());
  m_comboVoice->setCurrentIndex(m_nVoiceSel);
}

QString CDBUpdateTab::CatalogueDBName() const {
  const int position = m_comboDB->currentIndex();
  return CatalogueName(Sheet()->m_nLanguageID, m_comboDB->itemText(position), m_listDBNamesLang1,
                       position);
}

QString CDBUpdateTab::CatalogueVoiceName() const {
  const int position = m_comboVoice->currentIndex();
  return CatalogueName(Sheet()->m_nLanguageID, m_comboVoice->itemText(position),
                       m_listVoiceNamesLang1, position);
}

// The entry found for the current choice, or none: a name left from an earlier choice would
// send another area's (or language's) package.
// The file name is the entry's only when it is to be sent, and empty otherwise: a name left
// from an earlier choice, or the entry of an area nobody chose, would be sent in its place.
void CDBUpdateTab::ApplyDBCheck(const PackageCheck& check) {
  if (check.bFound) m_nServerDBVersion = check.nServerVersion;
  m_strFileDB = check.bSend ? check.strEntry : QString();
}

void CDBUpdateTab::ApplyVoiceCheck(const PackageCheck& check) {
  if (check.bFound) m_nServerVoiceVersion = check.nServerVersion;
  m_strFileVoice = check.bSend ? check.strEntry : QString();
}

int CDBUpdateTab::CheckDBPackage() {
  const PackageCheck check = UpdateCatalogue::CheckDBPackage(
      Sheet()->m_listDB, CatalogueDBName(), m_bDBAreaChanged, m_bForce, UnitVersions());
  ApplyDBCheck(check);
  return check.bSend ? 1 : 0;
}

int CDBUpdateTab::CheckVoicePackage() {
  const PackageCheck check = UpdateCatalogue::CheckVoicePackage(
      Sheet()->m_listVoice, CatalogueVoiceName(), m_bVoiceLangChanged, m_bForce, UnitVersions());
  ApplyVoiceCheck(check);
  return check.bSend ? 1 : 0;
}

void CDBUpdateTab::EvaluateUpdates() {
  EvaluateInputs in;
  in.listDB = &Sheet()->m_listDB;
  in.listVoice = &Sheet()->m_listVoice;
  in.strFWVersion = Sheet()->m_strFWVersion;
  in.unit = UnitVersions();
  in.nDBPosition = m_comboDB->currentIndex();
  in.nVoicePosition = m_comboVoice->currentIndex();
  in.strDBName = CatalogueDBName();
  in.strVoiceName = CatalogueVoiceName();
  in.bDBAreaChanged = m_bDBAreaChanged;
  in.bVoiceLangChanged = m_bVoiceLangChanged;
  in.bForce = m_bForce;
  const UpdateDecision decision = UpdateCatalogue::EvaluateUpdates(in);
  ApplyDBCheck(decision.db);
  ApplyVoiceCheck(decision.voice);
  m_bUpdateDB = decision.bUpdateDB;
  m_bUpdateVoice = decision.bUpdateVoice;
  m_bUpdateFW = decision.bUpdateFW;
  ShowUpdateLamps();
  ShowVersionLabels();
  UpdateControlStates();
}

int CDBUpdateTab::ReadZipList() {
  const auto list = UpdateCatalogue::ReadZipList(
      WorkingFolder::FilePath(WorkingFolder::Current(), QString::fromLatin1(kZipListFileName)));
  if (!list) {
    UiSeams::ShowMessage(this, QString::fromLatin1(kZipListMissingMessage));
    return 0;
  }
  if (list->bDB) {
    m_strManualDB = list->strDB;
    m_editDB->setText(m_strManualDB);
    m_bUpdateDB = true;
    m_checkDB->setChecked(true);
  }
  if (list->bVoice) {
    m_strManualVoice = list->strVoice;
    m_editVoice->setText(m_strManualVoice);
    m_bUpdateVoice = true;
    m_checkVoice->setChecked(true);
  }
  if (list->bFW) {
    m_strManualFW = list->strFW;
    m_editFW->setText(m_strManualFW);
    m_bUpdateFW = true;
    m_checkFW->setChecked(true);
  }
  const std::pair<ExtraTextId, const QStringList*> leftOut[] = {
      {ExtraTextId::ZIPLIST_NAME_EMPTY, &list->emptyNames},
      {ExtraTextId::ZIPLIST_NAME_OUTSIDE, &list->refused}};
  for (const auto& [textId, names] : leftOut) {
    if (names->isEmpty()) continue;
    UiSeams::ShowMessage(this, ExtraText(textId) + QLatin1Char('\n') + names->join(QLatin1Char('\n')),
                         UiSeams::MessageIcon::Warning);
  }
  m_bManualListShown = true;
  UpdateControlStates();
  update();
  return 1;
}

// Modes and control notifications.

void CDBUpdateTab::EnterAutoMode() {
  if (m_run.IsRunning()) return;
  m_strManualDB.clear();
  m_radioAuto->setChecked(true);
  m_nMode = kModeAuto;
  m_bManualListShown = false;
  for (QLineEdit* edit : {m_editDB, m_editVoice, m_editFW}) edit->clear();
  for (QCheckBox* check : {m_checkDB, m_checkVoice, m_checkFW}) check->setChecked(false);
  m_labelDownloadSize->show();
  m_labelDownloadPhase->show();
  if (Sheet()->m_bUnitConnected) EvaluateUpdates();
  UpdateControlStates();
  update();
}

void CDBUpdateTab::EnterManualMode() {
  if (m_run.IsRunning()) return;
  m_strManualDB.clear();
  m_radioManual->setChecked(true);
  m_nMode = kModeManual;
  m_bManualListShown = false;
  m_labelDownloadSize->hide();
  m_labelDownloadPhase->hide();
  UpdateControlStates();
  if (!Sheet()->m_bUnitConnected) return;
  const QString pack =
      WorkingFolder::FilePath(WorkingFolder::Current(), QString::fromLatin1(kManualPackFileName));
  if (!QFile::exists(pack)) {
    UiSeams::ShowMessage(this, m_strPackMissing);
    // The auto radio is ticked while the page stays in manual mode: the next run reads the
    // radio and runs automatically.
    QSignalBlocker block(m_radioAuto);
    m_radioAuto->setChecked(true);
    UpdateControlStates();
    return;
  }
  // Manual marks are exactly the pack's ticked packages: a mark left from the automatic mode
  // would send a package the pack does not hold. Lamps and button show the cleared marks
  // until the list ticks its packages, and stay so when there is no list.
  m_bUpdateDB = m_bUpdateVoice = m_bUpdateFW = false;
  m_strManualVoice.clear();
  m_strManualFW.clear();
  for (QCheckBox* check : {m_checkDB, m_checkVoice, m_checkFW}) check->setChecked(false);
  for (QLineEdit* edit : {m_editDB, m_editVoice, m_editFW}) edit->clear();
  ShowUpdateLamps();
  UpdateControlStates();
  CUnzipPackDlg dialog(this);
  m_pUnpackDialog = &dialog;
  const int outcome = dialog.DoModal();
  if (dialog.WasStopped()) return;  // the program is closing: nothing more to say
  if (outcome == QDialog::Accepted) {
    if (ReadZipList() == 1) ShowUpdateLamps();
  } else {
    UiSeams::ShowMessage(this, m_strUnpackFailed);
  }
}

void CDBUpdateTab::StopWorkers() {
  if (m_pUnpackDialog) m_pUnpackDialog->Stop();
  m_run.StopAndWait();
}

void CDBUpdateTab::OnDBAreaSelected(int position) {
  if (m_run.IsRunning()) return;
  m_nDBSel = position;
  const QString text = m_comboDB->itemText(position);
  if (!text.contains(m_strUnitDBArea)) {
    m_bUpdateDB = true;
    m_bDBAreaChanged = true;
    ShowUpdateLamps();
  } else if (m_nServerDBVersion <= m_nUnitDBVersion) {
    m_bDBAreaChanged = false;
    m_bUpdateDB = m_bForce;
    ShowUpdateLamps();
  }
  // The button follows every mark, not only the other combo's choice: a database or a
  // firmware that is due, or a forced run, still has something to send.
  UpdateControlStates();
}

void CDBUpdateTab::OnVoiceSelected(int position) {
  if (m_run.IsRunning()) return;
  m_bUpdateVoice = true;
  m_nVoiceSel = position;
  if (position != m_nUnitVoiceLanguage) {
    m_bVoiceLangChanged = true;
    ShowUpdateLamps();
  } else if (m_nServerVoiceVersion <= m_nUnitVoiceVersion) {
    m_bVoiceLangChanged = false;
    m_bUpdateVoice = m_bForce;
    ShowUpdateLamps();
  }
  UpdateControlStates();
}

void CDBUpdateTab::OnForceClicked() {
  if (m_run.IsRunning()) return;
  if (m_bForce) {
    m_bForce = false;
    m_checkForce->setChecked(false);
    // An area or a language chosen while forced still asks for its package.
    m_bUpdateDB = m_bSavedDB || m_bDBAreaChanged;
    m_bUpdateVoice = m_bSavedVoice || m_bVoiceLangChanged;
    m_bUpdateFW = m_bSavedFW;
    ShowUpdateLamps();
    UpdateControlStates();
  } else {
    m_bForce = true;
    m_checkForce->setChecked(true);
    m_bSavedDB = m_bUpdateDB;
    m_bSavedVoice = m_bUpdateVoice;
    m_bSavedFW = m_bUpdateFW;
    m_nMode = kModeAuto;
    EnterAutoMode();
  }
}

void CDBUpdateTab::OnPackageCheckClicked(int controlId) {
  if (m_run.IsRunning()) return;
  bool* flag = controlId == kCheckDBId      ? &m_bUpdateDB
               : controlId == kCheckVoiceId ? &m_bUpdateVoice
                                            : &m_bUpdateFW;
  *flag = !*flag;
  ShowUpdateLamps();
  UpdateControlStates();
}

// The run.

void CDBUpdateTab::OnUpdateClicked() {
  if (m_run.IsRunning() || UnitHeldByOther()) return;
  Sheet()->m_pageMain.m_bBusy = true;
  Sheet()->m_pageMain.StopPollTimer();
  m_run.m_nTransferKind = UpdateRun::kTransferFW;
  // A failure line of an earlier run does not belong to this one.
  m_labelError->hide();
  if (m_radioAuto->isChecked()) {
    m_nMode = kModeAuto;
    StartAutoRun();
  } else {
    m_nMode = kModeManual;
    StartManualRun();
  }
}

void CDBUpdateTab::StartAutoRun() {
  EvaluateUpdates();
  AutoRunInputs in;
  in.bUpdateDB = m_bUpdateDB;
  in.bUpdateVoice = m_bUpdateVoice;
  in.bUpdateFW = m_bUpdateFW;
  in.strFileDB = m_strFileDB;
  in.strFileVoice = m_strFileVoice;
  in.nDBArea = m_comboDB->currentIndex() + kDBAreaCodeOffset;
  in.nVoiceLanguage = m_comboVoice->currentIndex();
  in.strFWFile = Sheet()->m_strFWFile;
  in.strFWVersion = Sheet()->m_strFWVersion;
  in.strBaseUrl = UpdateServer::BaseUrl();
  // The whole working directory, however long: a cut one would put the packages elsewhere.
  in.strFolder = WorkingFolder::Current();
  const RunStart start = PlanAutoRun(in);
  switch (start.refusal) {
    case RunRefusal::NoDBEntry: m_bUpdateDB = false; break;
    case RunRefusal::NoVoiceEntry: m_bUpdateVoice = false; break;
    case RunRefusal::NoFWFile: m_bUpdateFW = false; break;
    default: break;
  }
  if (ShowRefusal(start.refusal)) return;
  m_strLocalDir = in.strFolder;
  m_strFileFW = Sheet()->m_strFWFile;
  ShowVersionLabels();
  StartRun(start.plan);
}

void CDBUpdateTab::StartManualRun() {
  ManualRunInputs in;
  in.bUpdateDB = m_bUpdateDB;
  in.bUpdateVoice = m_bUpdateVoice;
  in.bUpdateFW = m_bUpdateFW;
  in.strManualDB = m_strManualDB;
  in.strManualVoice = m_strManualVoice;
  in.strManualFW = m_strManualFW;
  in.strFolder = WorkingFolder::Current();
  const RunStart start = PlanManualRun(in);
  if (ShowRefusal(start.refusal)) return;
  ShowVersionLabels();
  StartRun(start.plan);
}

bool CDBUpdateTab::ShowRefusal(RunRefusal refusal) {
  if (refusal == RunRefusal::None) return false;
  UpdateControlStates();
  UiSeams::ShowMessage(this, RefusalMessage(refusal, Sheet()->m_strErrorMsg));
  return true;
}

void CDBUpdateTab::StartRun(const UpdateRunPlan& plan) {
  const PackageLocations& at = plan.at;
  if (plan.bAuto) {
    m_strUrlDB = at.strUrlDB;
    m_strUrlVoice = at.strUrlVoice;
    m_strUrlFW = at.strUrlFW;
  }
  for (auto [member, path] : {std::pair{&m_strPathDB, &at.strPathDB}, std::pair{&m_strPathVoice, &at.strPathVoice},
                              std::pair{&m_strPathFW, &at.strPathFW}})
    if (plan.bAuto || !path->isEmpty()) *member = *path;
  BeginUnitJob();
  m_run.Start(plan);
  UpdateControlStates();
}

void CDBUpdateTab::OnRunDownloadStarted(int downloadState) {
  switch (downloadState) {
    case UpdateRun::kDownloadDB: m_labelDownloadPhase->setText(m_strDownloadDB); break;
    case UpdateRun::kDownloadVoice: m_labelDownloadPhase->setText(m_strDownloadVoice); break;
    default: m_labelDownloadPhase->setText(m_strDownloadFW); break;
  }
}

void CDBUpdateTab::OnDownloadProgress(const QString& progressText, quint64 bytesDone,
                                      quint64 bytesTotal) {
  m_labelDownloadSize->setText(progressText);
  m_nDownloadProgress = bytesDone;
  m_nDownloadProgressMax = bytesTotal;
}

void CDBUpdateTab::OnRunSendStarted(int transferKind) {
  switch (transferKind) {
    case UpdateRun::kTransferDB: m_labelSendPhase->setText(m_strSendDB); break;
    case UpdateRun::kTransferVoice: m_labelSendPhase->setText(m_strSendVoice); break;
    default: m_labelSendPhase->setText(m_strSendFW); break;
  }
  m_labelSendPhase->show();
}

void CDBUpdateTab::OnRunDownloadFailed(int downloadState, DownloadResult result,
                                       const QString& errorText) {
  ShowRunAtRest();
  UiSeams::ShowMessage(this, DownloadFailureText(result, m_run.Plan().FileName(downloadState), errorText,
                                                 ErrorMessage(kErrorServerUnreachable)));
}

void CDBUpdateTab::ShowRunAtRest() {
  for (QLabel* label : {m_labelDownloadPhase, m_labelDownloadSize, m_labelSendPhase}) label->clear();
  m_progress->SetPos(0);
  UpdateControlStates();
}

void CDBUpdateTab::ShowIdleLamps() {
  m_bLampsShown = false;
  for (QLabel* state : {m_labelDBState, m_labelVoiceState, m_labelFWState}) state->clear();
  for (GradientLabel* lamp : {m_lampDB, m_lampVoice, m_lampFW}) lamp->SetColors(kLampIdle, kLampIdle, 0);
}

void CDBUpdateTab::FinishRun() {
  const UpdateRunPlan plan = m_run.Plan();
  m_run.DeletePackageFiles();
  for (QLineEdit* edit : {m_editDB, m_editVoice, m_editFW}) edit->clear();
  for (QCheckBox* check : {m_checkDB, m_checkVoice, m_checkFW}) check->setChecked(false);
  m_run.StopWatchdog();
  m_run.m_nTransferKind = UpdateRun::kTransferFW;
  m_bDBAreaChanged = false;
  m_bVoiceLangChanged = false;
  m_bUpdateDB = m_bUpdateVoice = m_bUpdateFW = false;
  m_bForce = false;
  // What the unit now holds is known only from its next identification: until then the
  // lamps claim nothing.
  ShowIdleLamps();
  for (QLabel* label : {m_labelDownloadPhase, m_labelDownloadSize}) {
    label->clear();
    label->hide();
  }
  m_progress->SetPos(0);
  ResetRunState();
  // The page goes on in the mode whose radio is ticked: the unit's next identification must
  // not lay a manual page out as an automatic one.
  const bool manual = !m_radioAuto->isChecked();
  m_nMode = manual ? kModeManual : kModeAuto;
  m_bManualListShown = false;
  UpdateControlStates();
  Sheet()->m_pageMain.m_bBusy = false;
  Sheet()->m_pageMain.IdentifyUnitAgain();
  Sheet()->m_pageMain.StartPollTimer(kPollPeriodAfterRunMs);

  // The end message comes now, whether or not the unit answers afterwards; what it took is
  // told once it has said its versions.
  const bool checking = m_run.AwaitsUnitCheck();
  m_labelSendPhase->setText(checking ? ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT) : m_strRunFinished);
  // A new firmware needs the unit restarted: the end message says so.
  const QString message =
      plan.bUpdateFW ? QStringLiteral("%1\n%2").arg(m_strRunFinished, ErrorMessage(kErrorRestartUnit))
                     : m_strRunFinished;
  m_bEndMessageOpen = true;
  UiSeams::ShowMessage(this, message);
  m_bEndMessageOpen = false;
  if (!checking) m_labelSendPhase->clear();
  if (!m_strNoticeWaiting.isEmpty())
    UiSeams::ShowMessage(this, std::exchange(m_strNoticeWaiting, QString()), UiSeams::MessageIcon::Warning);
  // A manual page is laid out again as when the user chose it: the pack unpacked afresh (the
  // run deleted the files it sent) and its list ticked.
  if (manual) EnterManualMode();
}

void CDBUpdateTab::OnUnitChecked(bool bAnswered) {
  m_labelSendPhase->clear();
  QString notice = ExtraText(ExtraTextId::UPDATE_UNIT_NOT_CHECKED).arg(UnitCheck::kTimeout.count());
  if (bAnswered) {
    const UpdateCatalogue::UnitVersions unit = UnitVersions();
    // A package the unit did not take stays marked, so its lamp stays orange.
    for (int package : m_run.CheckUnit(unit)) {
      if (package == kPackageDB) m_bUpdateDB = true;
      else if (package == kPackageVoice) m_bUpdateVoice = true;
      else m_bUpdateFW = true;
    }
    notice = UnitCheck::NotTakenLines(m_run.Plan(), unit).join(QLatin1Char('\n'));
    if (notice.isEmpty()) return;
    ShowUpdateLamps();
    UpdateControlStates();
  }
  // One message at a time: a notice that comes while the end message is open follows it.
  if (m_bEndMessageOpen) m_strNoticeWaiting = notice;
  else UiSeams::ShowMessage(this, notice, UiSeams::MessageIcon::Warning);
}

void CDBUpdateTab::ResetRunState() {
  m_run.ResetRunState();
  m_nMode = kModeAuto;
  m_nDBSel = 0;
  m_nVoiceSel = 0;
  m_strManualDB.clear();
  m_strManualVoice.clear();
  m_strManualFW.clear();
  m_bUpdateDB = m_bUpdateVoice = m_bUpdateFW = false;
  m_strFileDB.clear();
  m_strFileVoice.clear();
  m_strFileFW.clear();
}
