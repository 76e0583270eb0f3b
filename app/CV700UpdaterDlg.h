#pragma once

#include <QDialog>
#include <QFont>
#include <QList>
#include <QTimer>
#include <array>
#include <cstdint>

#include "app/CSplashDlg.h"
#include "app/UnitJobs.h"
#include "app/VersionFile.h"
#include "app/WorkingFiles.h"
#include "device/CMainTab.h"
#include "device/COptionTab.h"
#include "device/CReset.h"
#include "poi/CPOITab.h"
#include "text/UiTextTable.h"
#include "update/CDBUpdateTab.h"

class QLabel;
class QTabWidget;

// The one window of the program: a sheet of tabs holding the main, update, POI, option and
// recovery pages, and the state all pages share.
class CV700UpdaterDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kSplashTimerOnlineMs = 1000;
  static constexpr int kSplashTimerOfflineMs = 100;
  static constexpr int kSplashCloseTick = 3;  // the splash closes on this tick of its timer

  explicit CV700UpdaterDlg(QWidget* parent = nullptr);
  ~CV700UpdaterDlg() override;

  // Shared state, read and written by the pages.
  QList<VersionEntry> m_listDB;
  QList<VersionEntry> m_listVoice;
  bool m_bDevicePagesShown = false;
  ErrorMessages m_strErrorMsg;
  bool m_bInternetConnected = false;
  // Which page's job holds the unit; declared before the pages, which ask it.
  UnitJobs m_unitJobs;
  CSplashDlg m_dlgSplash;
  CMainTab m_pageMain;
  CDBUpdateTab m_pageUpdate;
  CPOITab m_pagePOI;
  COptionTab m_pageOption;
  CReset m_pageReset;
  bool m_bSplashWait = false;
  bool m_bUnitConnected = false;
  QString m_strPCSoftVersion, m_strFWFile, m_strFWVersion;
  UiTextTables m_arrText;
  int m_nLanguageID = kLanguageEnglish;
  QFont m_fontBold;
  int m_nSplashTicks = 0;
  QString m_strCurDir;
  QString m_strUITextPath;
  QString m_strVersionPath;
  std::array<uint16_t, 4> m_wOwnVersion{};

  // The pages of a sheet without a unit: main and recovery, titled "Main" and "Reset".
  void AddStartupPages();

  // Page management.
  void AddPage(CPropertyPage* page);
  void RemovePage(CPropertyPage* page);
  int GetPageIndex(const CPropertyPage* page) const;  // -1 when not in the sheet
  int GetPageCount() const;
  CPropertyPage* GetActivePage() const;
  void SetActivePage(CPropertyPage* page);
  void SetActivePageIndex(int index);
  QString TabLabel(int index) const;

  // Services to the pages.
  void ShowDevicePages(bool bShow);
  void SetLanguage(int nLanguage);
  void EnableDevicePages(bool bEnable);

  // Runs start-up (splash, data files, texts) and then the window until it is closed.
  int DoModal();
  // Start-up only, without the modal loop: tests and the screenshot mode use it.
  bool OnInitDialog();

  // Texts of the current language, for the pages.
  QString Text(int index) const { return UiText(m_arrText, m_nLanguageID, index); }

  // The close box, or the desktop ending the program: while a page sends to the unit the user
  // confirms first; then every page's workers are stopped and joined and the window closes.
  // FALSE when the user chose to stay.
  bool CloseProgram();

  bool ReadVersionFile();
  bool ReadUITextFile();

  // The window-text caption format; the numbers are the program's own version.
  static constexpr const char* kCaptionFormat = "V770 PC Software v%1.%2.%3.%4";
  static constexpr const char* kUITextFileName = WorkingFiles::kUITextFileName;
  static constexpr const char* kVersionFileName = WorkingFiles::kVersionFileName;
  static constexpr const char* kUITextMissingMessage =
      "Fail to read the V770UIText_New File. Check this file is on your PC!";
  static constexpr const char* kVersionMissingMessage =
      "Fail to read the Version File. Check this file on your PC!";

 signals:
  void startupFinished();
  // The main page shows the versions the unit just reported.
  void unitIdentified();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetPageTitles(int nLanguage, bool bAdd);
  void OnSplashTimer();
  void OnCurrentTabChanged(int index);
  // Every page's unit actions follow the job that holds the unit.
  void OnUnitJobChanged();
  std::array<CPropertyPage*, 5> AllPages();
  void ShowWorkingFolder();

  QTabWidget* m_tabs = nullptr;
  QLabel* m_labelFolder = nullptr;  // under the pages: where downloads, exports and backups go
  bool m_bClosing = false;  // the close is confirmed: start-up ends without showing the window
  bool m_bInitialised = false;  // page windows are created only once the texts are loaded
  QTimer m_timerSplash;
};

// Whether a key press is one the sheet swallows: Enter, Escape and the function keys.
bool IsSheetSwallowedKey(int qtKey);
