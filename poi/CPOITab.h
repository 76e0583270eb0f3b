#pragma once

#include <QList>
#include <QTimer>
#include <optional>

#include "app/CPropertyPage.h"
#include "platform/Worker.h"
#include "poi/CBusyGuard.h"
#include "poi/PoiChannels.h"
#include "poi/PoiConstants.h"
#include "poi/PoiTexts.h"

class CSortableListCtrl;
class QLabel;
class QPushButton;
struct PoiImport;
struct PoiReadResult;
struct PoiUnitCopy;
struct PoiWriteResult;

// The POI page: reads the unit's POIs into a sortable list, imports a POI file, deletes all
// or the ticked rows, writes the list back, and opens a POI on the maker's map. Reads, saves
// and imports run on the page's worker, which reports back to the page; while one runs the
// command buttons are disabled, and while a read or save runs the main page's poll is paused.
class CPOITab : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CPOITab(CV700UpdaterDlg* sheet);
  ~CPOITab() override;

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;

  // The five commands, the import behind Read from PC and the double click on a row.
  void OnRead();
  void OnDeleteAll();
  void OnDeleteSelected();
  void OnSave();
  void ImportPoiFile();
  void OpenPoiMap(int row);  // -1: no row, nothing happens
  // Writes the list to a file in a format the user chooses.
  void OnExport();
  // The rows' texts, in the list's order.
  QList<PoiTexts> ListRows() const;

  // Controls.
  CSortableListCtrl* m_listPOI;
  QLabel* m_staticCountLabel;
  QLabel* m_staticCount;
  QPushButton* m_btnRead;
  QPushButton* m_btnReadFromPC;
  QPushButton* m_btnDeleteAll;
  QPushButton* m_btnDeleteSelected;
  QPushButton* m_btnSave;
  QPushButton* m_btnExport;

  // Page state.
  int m_nPOICount = 0;  // records the next save sends
  QString m_strColumnSpec;
  PoiChannels m_channels;

  bool IsSaveLocked() const { return m_timerSaveLock.isActive(); }
  bool IsTaskRunning() const { return m_bTaskRunning; }
  bool IsSendingToUnit() const override { return m_bTaskRunning && m_bSaving; }
  void StopWorkers() override { m_task.Stop(); }

  // Tests shorten the save lock's tick and the write task's pacing.
  void SetTimings(int saveLockPeriodMs, int writePacingMs);

 protected:
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  void OpenPoiChannels();
  void PauseMainPoll();
  void ResumeMainPoll();
  void UpdateButtons();
  void ShowCount(int count);
  // Selects and shows the row the user has to mend.
  void ShowBadRow(int row);
  // Adds the POIs below the list's rows, numbered on from them, and counts the rows.
  void ShowPois(const QList<PoiTexts>& pois);
  void OnImportFinished(const QString& path, const PoiImport& import);
  void OnReadFinished(const PoiReadResult& result);
  void OnWriteFinished(const PoiUnitCopy& copy, const PoiWriteResult& result);
  void FillFromTable(int count);
  void StartSaveLock();
  void OnSaveLockTimer();

  QTimer m_timerSaveLock;
  int m_nSaveLockTicks = 0;
  int m_nWritePacingMs = PoiConstants::kWritePacingMs;
  bool m_bControlsEnabled = false;
  bool m_bTaskRunning = false;
  bool m_bSaving = false;  // the running task writes to the unit
  std::optional<CBusyGuard> m_importBusy;  // the wait cursor while a file is read
  Worker<CPOITab> m_task{this};  // last member: stopped and joined first
};
