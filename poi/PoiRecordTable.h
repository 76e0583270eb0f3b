#pragma once

#include <array>

#include "poi/PoiConstants.h"
#include "poi/PoiRecord.h"

// The records the POI page exchanges with the unit: slots 0 to 99. The page and its tasks
// take turns on it (the page's disabled buttons keep them apart), so it has no lock.
class PoiRecordTable {
 public:
  static constexpr int kSlotCount = PoiConstants::kSlotCount;

  // Slot i, 0 <= i < kSlotCount.
  PoiRecord& Slot(int i) { return m_slots.at(static_cast<std::size_t>(i)); }
  const PoiRecord& Slot(int i) const { return m_slots.at(static_cast<std::size_t>(i)); }

  // All slots empty (all bytes zero).
  void Clear() { m_slots.fill(PoiRecord{}); }

 private:
  std::array<PoiRecord, kSlotCount> m_slots{};
};

// The one table of the process.
PoiRecordTable& ThePoiRecordTable();
