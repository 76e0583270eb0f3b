#include "app/CPropertyPage.h"

#include <QVBoxLayout>

#include "app/CV700UpdaterDlg.h"

CPropertyPage::CPropertyPage(CV700UpdaterDlg* sheet, UnitJob job) : m_pSheet(sheet), m_job(job) {}

CPropertyPage::~CPropertyPage() = default;

void CPropertyPage::CreatePageWindow() {
  if (m_bWindowCreated) return;
  m_bWindowCreated = true;
  OnInitDialog();
}

void CPropertyPage::DestroyPageWindow() {
  if (!m_bWindowCreated) return;
  OnDestroyWindow();
  m_bWindowCreated = false;
}

void CPropertyPage::OnInitDialog() {
  if (m_bTextsPending && m_pSheet) ApplyLanguage(m_pSheet->m_nLanguageID);
}

QWidget* CPropertyPage::GuardUnitAction(QWidget* control) {
  auto* guard = new QWidget(this);
  auto* layout = new QVBoxLayout(guard);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(control);
  guard->setEnabled(!UnitHeldByOther());
  m_unitActionGuards.append(guard);
  return guard;
}

void CPropertyPage::OnUnitJobChanged(bool bHeldByOther) {
  // A disabled holder keeps its control disabled; the control's own state comes back with it.
  for (QWidget* guard : m_unitActionGuards) guard->setEnabled(!bHeldByOther);
}

bool CPropertyPage::BeginUnitJob() { return !m_pSheet || m_pSheet->m_unitJobs.Begin(m_job); }

void CPropertyPage::EndUnitJob() {
  if (m_pSheet) m_pSheet->m_unitJobs.End(m_job);
}

bool CPropertyPage::UnitHeldByOther() const { return m_pSheet && m_pSheet->m_unitJobs.HeldByOther(m_job); }
