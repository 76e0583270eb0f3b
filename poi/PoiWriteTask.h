#pragma once

#include <stop_token>

#include "device/StoppableChannel.h"
#include "device/UnitExchange.h"
#include "poi/FailureCount.h"
#include "poi/PoiChannels.h"
#include "poi/PoiRecordTable.h"

struct PoiWriteParams {
  bool unitConnected = false;
  bool erasePending = false;  // send only "$P0<" this run
  int count = 0;              // slots 0 to count - 1 are written (never past the table)
  // Slots the unit is known to hold records in; those from `count` on get an empty record,
  // so POIs deleted from the list do not stay on the unit.
  int unitFilled = 0;
  int pacingMs = PoiConstants::kWritePacingMs;
};

struct PoiWriteResult {
  PoiTaskOutcome outcome = PoiTaskOutcome::Done;
  bool eraseSent = false;  // the erase command was being sent: the page clears its flag
  int written = 0;         // records the unit took, the empty ones included
  int unitFilled = 0;      // slots the unit holds records in afterwards, as far as known
};

// Writes the record table to the unit, then empty records over the slots above it that still
// hold POIs, or erases all its POIs when an erase is pending; then asks the unit's count.
// Paces the unit: a pause before each record write attempt, after each success and after
// the erase. One failure count for the whole run; the failure after kMaxFailedCalls ends it.
class PoiWriteTask {
 public:
  // Once `stop` is asked every write fails at once (give `sleep` the same stop to end the
  // pauses too), so the failure count ends the task quickly.
  static PoiWriteResult Run(const PoiChannels& channels, const PoiWriteParams& params, const PoiRecordTable& table,
                            const UnitExchange::SleepFn& sleep = UnitExchange::RealSleep, std::stop_token stop = {});

  // The 17 bytes that write one record: "$P8<", the slot index, the record.
  static QByteArray WriteOneCommand(int slot, const PoiRecord& record);

 private:
  // A write is never answered, so a unit that had stopped reading would take the records
  // later, or never when it is pulled out first. Its count, asked after the last write,
  // comes only once it has taken them: NotKept when it holds other than `expected` records.
  static void Confirm(StoppableChannel& command, const PoiChannels& channels, std::stop_token stop,
                      FailureCount& failures, int expected, PoiWriteResult& result);
};
