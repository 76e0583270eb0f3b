#pragma once

// Marks the process busy talking to the unit for as long as it lives, and shows the wait
// cursor meanwhile. Guards may live on any thread; the count behind them is the only datum
// of the POI subsystem with a lock.
class CBusyGuard {
 public:
  CBusyGuard();
  ~CBusyGuard();
  CBusyGuard(const CBusyGuard&) = delete;
  CBusyGuard& operator=(const CBusyGuard&) = delete;

  // Whether any guard lives.
  static bool IsBusy();
  static int BusyCount();
};
