#include "poi/PoiWriteTask.h"

#include <algorithm>
#include <ranges>

#include "device/StoppableChannel.h"
#include "poi/CBusyGuard.h"
#include "poi/FailureCount.h"
#include "poi/PoiReadTask.h"

QByteArray PoiWriteTask::WriteOneCommand(int slot, const PoiRecord& record) {
  QByteArray command(PoiConstants::kWriteOneCommand);
  command.append(static_cast<char>(slot));
  command.append(reinterpret_cast<const char*>(record.bytes.data()), static_cast<qsizetype>(record.bytes.size()));
  return command;
}

PoiWriteResult PoiWriteTask::Run(const PoiChannels& channels, const PoiWriteParams& params,
                                 const PoiRecordTable& table, const UnitExchange::SleepFn& sleep,
                                 std::stop_token stop) {
  PoiWriteResult result;
  result.unitFilled = params.unitFilled;
  if (!channels.IsOpen()) {
    result.outcome = PoiTaskOutcome::HandlesNotOpen;
    return result;
  }
  if (!params.unitConnected) return result;

  CBusyGuard busy;
  StoppableChannel command(*channels.command, stop);
  FailureCount failures;

  if (params.erasePending) {
    result.eraseSent = true;
    while (!WritePoiCommand(command, PoiConstants::kEraseAllCommand)) {
      if (failures.GiveUp()) {
        result.outcome = PoiTaskOutcome::NoAnswer;
        return result;
      }
    }
    sleep(params.pacingMs);
    result.unitFilled = 0;
    Confirm(command, channels, stop, failures, 0, result);
    return result;
  }

  const int count = std::clamp(params.count, 0, PoiRecordTable::kSlotCount);
  const int last = std::clamp(params.unitFilled, count, PoiRecordTable::kSlotCount);
  for (int slot = 0; slot < last; ++slot) {
    const QByteArray bytes = WriteOneCommand(slot, slot < count ? table.Slot(slot) : PoiRecord{});
    for (;;) {
      sleep(params.pacingMs);
      if (WritePoiCommand(command, bytes)) break;
      if (failures.GiveUp()) {
        result.outcome = PoiTaskOutcome::NoAnswer;
        return result;
      }
    }
    ++result.written;
    result.unitFilled = std::max(result.unitFilled, result.written);
    sleep(params.pacingMs);
  }
  result.unitFilled = count;
  const auto stored = [&table](int slot) { return !table.Slot(slot).IsEmpty(); };
  Confirm(command, channels, stop, failures, int(std::ranges::count_if(std::views::iota(0, count), stored)), result);
  return result;
}

void PoiWriteTask::Confirm(StoppableChannel& command, const PoiChannels& channels, std::stop_token stop,
                           FailureCount& failures, int expected, PoiWriteResult& result) {
  StoppableChannel reply(*channels.reply, std::move(stop));
  reply.DiscardPending();
  const std::optional<int> held = PoiReadTask::AskCount(command, reply, failures);
  if (!held) result.outcome = PoiTaskOutcome::NoAnswer;
  else if (*held != expected) result.outcome = PoiTaskOutcome::NotKept;
}
