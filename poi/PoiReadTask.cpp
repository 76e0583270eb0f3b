#include "poi/PoiReadTask.h"

#include <QByteArray>
#include <algorithm>

#include "device/StoppableChannel.h"
#include "poi/CBusyGuard.h"
#include "poi/FailureCount.h"
#include "poi/PoiFile.h"

std::optional<int> PoiReadTask::AskCount(StoppableChannel& command, StoppableChannel& reply,
                                        FailureCount& failures) {
  while (!WritePoiCommand(command, PoiConstants::kCountCommand))
    if (failures.GiveUp()) return std::nullopt;
  std::uint8_t countReply[PoiConstants::kCountReplySize] = {};
  std::size_t bytesRead = 0;
  while (!reply.Read(countReply, sizeof countReply, &bytesRead))
    if (failures.GiveUp()) return std::nullopt;
  return static_cast<std::int8_t>(countReply[0]);
}

PoiReadResult PoiReadTask::Run(const PoiChannels& channels, bool unitConnected, PoiRecordTable& table,
                               std::stop_token stop) {
  CBusyGuard busy;
  PoiReadResult result;
  if (!channels.IsOpen()) {
    result.outcome = PoiTaskOutcome::HandlesNotOpen;
    return result;
  }
  if (!unitConnected) return result;

  StoppableChannel command(*channels.command, stop);
  StoppableChannel reply(*channels.reply, stop);
  // Whatever an earlier exchange left on the reply pipe (a reply that came after its reader
  // gave up) would be taken for this read's count and shift every record after it.
  reply.DiscardPending();
  FailureCount failures;
  const auto gaveUp = [&result] {
    result.outcome = PoiTaskOutcome::NoAnswer;
    result.count = 0;
    return result;
  };

  const std::optional<int> announced = AskCount(command, reply, failures);
  if (!announced) return gaveUp();
  result.announced = *announced;

  while (!WritePoiCommand(command, PoiConstants::kReadAllCommand))
    if (failures.GiveUp()) return gaveUp();
  for (int k = 0; k < result.announced; ++k) {
    failures.Reset();
    std::uint8_t record[PoiConstants::kRecordSize] = {};
    std::size_t bytesRead = 0;
    while (!reply.Read(record, sizeof record, &bytesRead))
      if (failures.GiveUp()) return gaveUp();
    if (k >= PoiRecordTable::kSlotCount) continue;
    // A short reply fills the front of the slot; the rest keeps what it held.
    auto& slot = table.Slot(k).bytes;
    std::copy_n(record, std::min(bytesRead, slot.size()), slot.begin());
    result.count = k + 1;
  }
  return result;
}

PoiUnitCopy PoiReadTask::CopyToExportFile(const PoiChannels& channels, bool unitConnected, const QString& folder,
                                          const QDateTime& localTime, PoiRecordTable& table, std::stop_token stop) {
  PoiUnitCopy copy;
  copy.read = Run(channels, unitConnected, table, std::move(stop));
  if (copy.read.outcome != PoiTaskOutcome::Done) return copy;
  copy.pois = int(ExportPoiFile(folder, localTime, table, copy.read.count, &copy.fileName).size());
  copy.kept = !copy.fileName.isEmpty();
  if (!copy.kept) copy.fileName = PoiFile::ExportFileName(localTime);
  return copy;
}
