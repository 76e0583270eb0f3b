#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

#include "app/CPropertyPage.h"
#include "device/UnitVersionInfo.h"
#include "device/VersionQuery.h"
#include "platform/Worker.h"

class QComboBox;
class QGroupBox;
class QLabel;
class CWebBrowser2;

// The main page of the sheet: language choice, banner, connection watch and the unit's
// versions. Other pages pause its poll while they talk to the unit.
class CMainTab : public CPropertyPage {
  Q_OBJECT
 public:
  static constexpr int kVersionReplySize = UnitVersionInfo::kReplySize;
  static constexpr int kPollPeriodMs = 500;
  static constexpr int kVersionQueryDelayMs = ::kVersionQueryDelayMs;
  // Codes of the version query's report.
  static constexpr int kReplyReady = 1;
  static constexpr int kNoReply = 2;
  // Maker's page shown in the banner; the language is added as the query key "lang".
  static constexpr const char* kBannerPage = "http://www.v770.example/pc_soft_hardware.asp";
  static constexpr const char* kBannerModel = "V770";
  static constexpr const char* kBannerDefaultLanguage = "eu";

  explicit CMainTab(CV700UpdaterDlg* sheet);
  ~CMainTab() override;

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;
  bool OnSetActive() override;
  void StopWorkers() override;

  // Another page is talking to the unit; the poll does not probe while it is set.
  bool m_bBusy = false;
  // The last "$VER>" reply, each byte a signed 8-bit number, plus a terminating zero.
  std::array<std::int8_t, kVersionReplySize + 1> m_byVersionReply{};

  int m_nLanguageSel = -1;
  QString m_strNotConnected;
  QString m_strConnected;
  QString m_strBannerURL;
  // The connected state has been shown and the version query started.
  bool m_bConnectionShown = false;

  // The unit's contents changed (an update or a recovery was sent): the next tick that finds
  // the unit asks it for its versions again, so the pages show what it holds now.
  void IdentifyUnitAgain() { m_bConnectionShown = false; }

  // Pages that talk to the unit stop the poll and restart it with their own period.
  void StopPollTimer();
  void StartPollTimer(int periodMs);
  bool IsPollTimerActive() const { return m_timerPoll.isActive(); }
  int PollTimerPeriod() const { return m_timerPoll.interval(); }

  // Handlers.
  void OnPollTimer();
  void OnSelchangeLanguage();
  void OnEditchangeLanguage();
  // The version query's report: kReplyReady shows and hands on m_byVersionReply.
  int OnVersionReply(int wParam, int lParam);

  // The banner address for a language name ("lang" query key).
  static QString BannerUrl(const QString& language);

  // Controls.
  QGroupBox* m_groupLanguage = nullptr;       // 1003
  QComboBox* m_comboLanguage = nullptr;       // 1004
  CWebBrowser2* m_browserBanner = nullptr;    // 1045
  QGroupBox* m_groupSteps = nullptr;          // 1063
  std::array<QLabel*, 4> m_staticSteps{};     // 1064 to 1067
  QGroupBox* m_groupInfo = nullptr;           // 1006
  QLabel* m_staticHWCaption = nullptr;        // 1007
  QLabel* m_staticHWValue = nullptr;          // 1008
  QLabel* m_staticFWCaption = nullptr;        // 1009
  QLabel* m_staticFWValue = nullptr;          // 1010
  QLabel* m_staticAreaCaption = nullptr;      // 1011
  QLabel* m_staticAreaValue = nullptr;        // 1012
  QLabel* m_staticDBCaption = nullptr;        // 1013
  QLabel* m_staticDBValue = nullptr;          // 1014
  QLabel* m_staticVoiceCaption = nullptr;     // 1015
  QLabel* m_staticVoiceValue = nullptr;       // 1018
  QLabel* m_staticUSBCaption = nullptr;       // 1016
  QLabel* m_staticUSBValue = nullptr;         // 1017

 protected:
  void OnInitDialog() override;
  void OnDestroyWindow() override;

 private:
  void BuildControls();
  void ClearValues();
  void StartVersionQuery();
  void OnVersionQueryDone(const VersionQueryResult& result);

  // Children of the page, found by their names ("poll", "versionQueryDelay").
  QTimer m_timerPoll{this};
  // The wait between seeing a unit and asking it; the window keeps painting meanwhile.
  QTimer m_timerQueryDelay{this};
  // Last: stopped and joined before anything else of the page goes.
  Worker<CMainTab> m_versionQuery{this};
};
