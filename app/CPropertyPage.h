#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "app/UnitJobs.h"

class CV700UpdaterDlg;

// What every page of the main sheet offers the sheet. A page's "window" exists from the
// first time the sheet shows it until the sheet removes it again; creating it runs
// OnInitDialog, as a page added again is initialised afresh.
class CPropertyPage : public QWidget {
  Q_OBJECT
 public:
  // `job`: what the page does with the unit; None for a page that never sends to it.
  explicit CPropertyPage(CV700UpdaterDlg* sheet, UnitJob job = UnitJob::None);
  ~CPropertyPage() override;

  // Texts must be applied when the window is created next.
  bool m_bTextsPending = true;

  // Loads the page's texts of that language from the sheet's text table.
  virtual void ApplyLanguage(int nLanguage) = 0;
  // Enables or disables the controls that need a unit.
  virtual void EnableControls(bool bEnable) = 0;

  // Called by the sheet whenever the page becomes the active tab; returns whether it may.
  virtual bool OnSetActive() { return true; }

  // Whether the page is sending to the unit now (a package, a recovery, a POI save): closing
  // the program then may leave the unit with an incomplete package.
  virtual bool IsSendingToUnit() const { return false; }
  // The program is closing: stops the page's background tasks and waits until they ended.
  virtual void StopWorkers() {}

  UnitJob Job() const { return m_job; }
  // Another page's job took the unit (or gave it back): the page's unit actions are disabled
  // until it ends, whatever the page's own state says; the page's own enabling stands.
  virtual void OnUnitJobChanged(bool bHeldByOther);

  bool HasWindow() const { return m_bWindowCreated; }
  void CreatePageWindow();   // runs OnInitDialog once per creation
  void DestroyPageWindow();  // runs OnDestroyWindow when the page leaves the sheet

  const QString& Title() const { return m_strTitle; }
  void SetTitle(const QString& title) { m_strTitle = title; }

  CV700UpdaterDlg* Sheet() const { return m_pSheet; }

 protected:
  // Default: apply the texts of the sheet's language when they are pending.
  virtual void OnInitDialog();
  virtual void OnDestroyWindow() {}

  // Places `control` (a control that sends to the unit) in a holder of the page, which is
  // what the page lays out; the holder is disabled while another page's job holds the unit.
  QWidget* GuardUnitAction(QWidget* control);
  // Takes the unit for the page's job; false when another page's job holds it.
  bool BeginUnitJob();
  // The page's job is over, whichever way it ended.
  void EndUnitJob();
  bool UnitHeldByOther() const;

 private:
  CV700UpdaterDlg* m_pSheet;
  QString m_strTitle;
  UnitJob m_job;
  QList<QWidget*> m_unitActionGuards;
  bool m_bWindowCreated = false;
};
