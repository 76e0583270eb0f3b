#pragma once

#include <array>
#include <cstdint>

#include "app/CPropertyPage.h"

// The main page of the sheet: language choice, banner, connection watch and the unit's
// versions. Other pages pause its poll while they talk to the unit.
class CMainTab : public CPropertyPage {
  Q_OBJECT
 public:
  static constexpr int kVersionReplySize = 12;

  explicit CMainTab(CV700UpdaterDlg* sheet);

  void ApplyLanguage(int nLanguage) override;
  void EnableControls(bool bEnable) override;

  // Another page is talking to the unit; the poll does not probe while it is set.
  bool m_bBusy = false;
  // The last "$VER>" reply, each byte a signed 8-bit number, plus a terminating zero.
  std::array<std::int8_t, kVersionReplySize + 1> m_byVersionReply{};

  // Pages that talk to the unit stop the poll and restart it with their own period.
  void StopPollTimer();
  void StartPollTimer(int periodMs);
};
