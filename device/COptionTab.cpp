#include "device/COptionTab.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CV700UpdaterDlg.h"
#include "device/ComboSelection.h"
#include "device/UnitStatus.h"
#include "platform/UiSeams.h"
#include "text/ExtraTexts.h"

namespace {
constexpr int kErrorMsg012 = 11;       // slot of ERROR_MSG_012 in the sheet's error texts
constexpr int kSpeedUnitReplyByte = 11;  // the unit's current speed unit in its "$VER>" reply
}  // namespace

COptionTab::COptionTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet, UnitJob::SpeedUnit) {
  m_groupUnit = new QGroupBox(this);
  m_comboUnit = new QComboBox(m_groupUnit);
  m_comboUnit->setEditable(true);
  m_comboUnit->setInsertPolicy(QComboBox::NoInsert);
  m_buttonApply = new QPushButton(m_groupUnit);
  auto* row = new QHBoxLayout(m_groupUnit);
  row->addWidget(m_comboUnit, 1);
  row->addWidget(GuardUnitAction(m_buttonApply));
  auto* page = new QVBoxLayout(this);
  page->addWidget(m_groupUnit);
  page->addStretch();

  connect(m_buttonApply, &QPushButton::clicked, this, &COptionTab::OnApply);
  connect(m_comboUnit->lineEdit(), &QLineEdit::textEdited, this, &COptionTab::OnEditchangeUnit);
}

void COptionTab::OnInitDialog() {
  EnableControls(Sheet()->m_bUnitConnected);
  if (m_bTextsPending) ApplyLanguage(Sheet()->m_nLanguageID);
}

void COptionTab::ApplyLanguage(int nLanguage) {
  const auto text = [&](int number) {
    return UiText(Sheet()->m_arrText, nLanguage, UiIndex(OPTION_TAB_001, number));
  };
  m_groupUnit->setTitle(text(1));
  m_comboUnit->clear();
  m_comboUnit->addItem(text(2));
  m_comboUnit->addItem(text(3));
  // A value the combo does not hold leaves no entry selected.
  m_nUnitSel = Sheet()->m_pageMain.m_byVersionReply[kSpeedUnitReplyByte];
  RestoreComboSelection(m_comboUnit, m_nUnitSel);
  m_buttonApply->setText(text(4));
  m_bTextsPending = false;
}

void COptionTab::EnableControls(bool bEnable) {
  m_comboUnit->setEnabled(bEnable);
  m_buttonApply->setEnabled(bEnable);
}

void COptionTab::OnApply() {
  m_nUnitSel = m_comboUnit->currentIndex();
  // Nothing chosen, nothing to tell the unit: the user is asked to choose.
  if (m_nUnitSel < 0) {
    UiSeams::ShowMessage(this, ExtraText(ExtraTextId::SPEED_UNIT_NOT_CHOSEN));
    return;
  }
  if (!BeginUnitJob()) return;
  const bool unitConnected = Sheet()->m_bUnitConnected;
  const int selection = m_nUnitSel;
  const QByteArray command = BuildSpeedUnitCommand(selection);
  // A command still going is stopped and finished first, so two never share the channel.
  m_unitCommand.Start([unitConnected, command, selection](const WorkerRun<COptionTab>& run) {
    const SpeedUnitOutcome outcome =
        RunSpeedUnitCommand(unitConnected, command, UnitExchange::RealSleep, run.StopToken());
    run.Post([outcome, selection](COptionTab* self) { self->OnUnitCommandDone(outcome, selection); });
  });
}

void COptionTab::OnUnitCommandDone(SpeedUnitOutcome outcome, int selection) {
  EndUnitJob();
  switch (outcome) {
    case SpeedUnitOutcome::Sent:
      // The unit never tells its speed unit: this computer remembers what it set.
      RememberSpeedUnit(Sheet()->m_pageMain.m_byVersionReply[UnitReply::kHardwareId], selection);
      EnableControls(true);
      UiSeams::ShowMessage(this, QString::fromLatin1(kUnitChangedMessage));
      break;
    case SpeedUnitOutcome::NotSent:
      UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorMsg012], UiSeams::MessageIcon::Information);
      break;
    case SpeedUnitOutcome::Failed:
      // The page keeps its state; Apply can be pressed again.
      UiSeams::ShowMessage(this, ExtraText(ExtraTextId::UNIT_NO_ANSWER));
      break;
  }
}

void COptionTab::OnEditchangeUnit() {
  RestoreComboSelection(m_comboUnit, m_nUnitSel);
}
