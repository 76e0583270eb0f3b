#include "unitsim/UnitCommandProcessor.h"

#include <cstdint>

namespace {

constexpr std::string_view kVersion = "$VER>";
constexpr std::string_view kPoiCount = "$PC>";
constexpr std::string_view kPoiReadAll = "$P6>";
constexpr std::string_view kPoiEraseAll = "$P0<";
constexpr std::string_view kPoiWrite = "$P8<";
constexpr std::string_view kSpeedUnit = "$P1<";
// "$P8<", slot, record.
constexpr std::size_t kPoiWriteSize = kPoiWrite.size() + 1 + UnitState::kPoiRecordSize;
// "$P1<", unit, zero byte.
constexpr std::size_t kSpeedUnitSize = kSpeedUnit.size() + 2;
// The count reply: count, capacity, 0.
constexpr std::size_t kPoiCountReplySize = 3;

CommandResult Ignored(std::string why) { return {{}, "ignored: " + why, false}; }

CommandResult MainCommand(UnitState& state, std::string_view message) {
  if (message != kVersion) return Ignored("not a command of this channel");
  const auto& reply = state.VersionReply();
  return {{std::string(reply.begin(), reply.end())}, "version reply", false};
}

CommandResult PoiCommand(UnitState& state, std::string_view message) {
  if (message == kPoiCount) {
    const auto count = state.StoredPoiRecords().size();
    std::string reply(kPoiCountReplySize, '\0');
    reply[0] = char(count);
    reply[1] = char(state.PoiCapacity());
    return {{reply}, "POI count " + std::to_string(count), false};
  }
  if (message == kPoiReadAll) {
    CommandResult result{{}, "", false};
    for (const auto& record : state.StoredPoiRecords()) result.replies.emplace_back(record.begin(), record.end());
    result.note = std::to_string(result.replies.size()) + " POI records sent";
    return result;
  }
  if (message == kPoiEraseAll) {
    state.EraseAllPois();
    return {{}, "all POIs erased", true};
  }
  if (message.substr(0, kPoiWrite.size()) == kPoiWrite) {
    if (message.size() != kPoiWriteSize)
      return Ignored("\"$P8<\" of " + std::to_string(message.size()) + " bytes, expected 17");
    const int slot = std::uint8_t(message[kPoiWrite.size()]);
    UnitState::PoiRecord record;
    std::copy(message.begin() + kPoiWrite.size() + 1, message.end(), record.begin());
    if (!state.StorePoi(slot, record))
      return Ignored("slot " + std::to_string(slot) + " beyond the " + std::to_string(state.PoiCapacity()) + " slots");
    return {{}, "POI stored in slot " + std::to_string(slot), true};
  }
  return Ignored("not a command of this channel");
}

CommandResult UnitSetting(UnitState& state, std::string_view message) {
  if (message.size() != kSpeedUnitSize || message.substr(0, kSpeedUnit.size()) != kSpeedUnit ||
      message.back() != '\0')
    return Ignored("not \"$P1<\", a unit byte and a zero byte");
  const int unit = std::uint8_t(message[kSpeedUnit.size()]);
  if (unit >= UnitCommandProcessor::kSpeedUnits) return Ignored("unknown speed unit " + std::to_string(unit));
  state.SetSpeedUnit(unit);
  return {{}, "speed unit " + std::to_string(unit), true};
}

}  // namespace

std::size_t UnitCommandProcessor::ArgumentSize(std::string_view command) {
  if (command == kPoiWrite) return kPoiWriteSize - kPoiWrite.size();
  if (command == kSpeedUnit) return kSpeedUnitSize - kSpeedUnit.size();
  return 0;
}

CommandResult UnitCommandProcessor::Process(UnitState& state, std::string_view group, std::string_view message) {
  if (group == "Main") return MainCommand(state, message);
  if (group == "POI") return PoiCommand(state, message);
  if (group == "UNIT") return UnitSetting(state, message);
  return Ignored("no commands on this channel");
}
