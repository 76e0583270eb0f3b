#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <stop_token>

#include "device/StoppableChannel.h"
#include "poi/FailureCount.h"
#include "poi/PoiChannels.h"
#include "poi/PoiRecordTable.h"

struct PoiReadResult {
  PoiTaskOutcome outcome = PoiTaskOutcome::Done;
  int count = 0;      // records stored in slots 0 to count - 1 (at most the table's slots)
  int announced = 0;  // what the unit's count reply announced
};

// What the unit held before it was written to, kept in an export file as a Read keeps it.
struct PoiUnitCopy {
  PoiReadResult read;
  QString fileName;   // the export file written, or the one that could not be
  bool kept = false;  // it was written
  int pois = 0;       // POIs it holds
};

// Reads every POI of the unit into the record table: "$PC>" for the count, then "$P6>"
// and one reply per record, after dropping anything left on the reply pipe. No pauses. One failure count covers the count exchange and the
// "$P6>" write and starts afresh for each record; the failure after kMaxFailedCalls ends
// the task. A unit announcing more records than the table holds has all of them read
// (so none is left on the pipe) and the surplus dropped.
class PoiReadTask {
 public:
  // "$PC>" and its reply: the records the unit holds, as it announces them; nothing when the
  // failure count gave up. The unit answers only once it has taken every earlier command.
  static std::optional<int> AskCount(StoppableChannel& command, StoppableChannel& reply, FailureCount& failures);
  // The whole exchange on the calling thread, holding a CBusyGuard throughout. Once `stop`
  // is asked every call fails at once, so the failure count ends the task quickly.
  static PoiReadResult Run(const PoiChannels& channels, bool unitConnected, PoiRecordTable& table,
                           std::stop_token stop = {});
  // Run, then the POIs read written to an export file of the folder named after `localTime`,
  // before a save overwrites them; nothing is written when the read failed.
  static PoiUnitCopy CopyToExportFile(const PoiChannels& channels, bool unitConnected, const QString& folder,
                                      const QDateTime& localTime, PoiRecordTable& table, std::stop_token stop = {});
};
