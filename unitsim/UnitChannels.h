#pragma once

#include <algorithm>
#include <array>
#include <string_view>

// The channels the unit opens. Commands come in on PIPE00 channels; a reply goes out on the
// PIPE01 channel of the same group. The update channels take package transfers.
struct UnitChannelInfo {
  enum Role { kCommand, kReply, kTransfer };
  std::string_view name;
  std::string_view group;
  Role role;
  bool firmwareOnly;
};

inline constexpr std::array<UnitChannelInfo, 7> kUnitChannels = {{
    {"PIPE00Main", "Main", UnitChannelInfo::kCommand, false},
    {"PIPE01Main", "Main", UnitChannelInfo::kReply, false},
    {"PIPE00POI", "POI", UnitChannelInfo::kCommand, false},
    {"PIPE01POI", "POI", UnitChannelInfo::kReply, false},
    {"PIPE00UNIT", "UNIT", UnitChannelInfo::kCommand, false},
    {"PIPE00DB", "DB", UnitChannelInfo::kTransfer, false},
    {"PIPE00RESET", "RESET", UnitChannelInfo::kTransfer, true},
}};

// The channel of that exact name, or null.
inline const UnitChannelInfo* FindUnitChannel(std::string_view name) {
  const auto it = std::find_if(kUnitChannels.begin(), kUnitChannels.end(),
                               [&](const UnitChannelInfo& info) { return info.name == name; });
  return it == kUnitChannels.end() ? nullptr : &*it;
}
