#pragma once

#include "poi/PoiConstants.h"

// The failed calls of one exchange; it gives up at the failure after kMaxFailedCalls.
class FailureCount {
 public:
  // Counts one failure; true once the exchange must give up.
  bool GiveUp() { return ++m_count > PoiConstants::kMaxFailedCalls; }
  void Reset() { m_count = 0; }

 private:
  int m_count = 0;
};
