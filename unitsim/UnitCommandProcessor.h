#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "unitsim/UnitState.h"

// What one command did.
struct CommandResult {
  std::vector<std::string> replies;  // messages for the read channel of the same name
  std::string note;                  // for the log
  bool stateChanged = false;
};

// The unit's answer to one message written on a command channel of a group (Main, POI or
// UNIT, see UnitChannels.h). Each write is one command; anything that is not exactly a
// command of that channel is ignored.
class UnitCommandProcessor {
 public:
  static constexpr int kSpeedUnits = 2;  // km/h, mph

  static CommandResult Process(UnitState& state, std::string_view group, std::string_view message);
  // How many raw bytes follow a command that carries data ("$P1<" and "$P8<"); 0 for any
  // other text, "$P0<" and every command that asks ("... >") included.
  static std::size_t ArgumentSize(std::string_view command);
};
