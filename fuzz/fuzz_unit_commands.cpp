// The emulated unit's command channels: each message goes to the channel group its first
// byte picks (Main, POI, UNIT or a transfer group), the rest is what was written.
#include "fuzz/FuzzInput.h"
#include "unitsim/CommandLog.h"
#include "unitsim/UnitCommandProcessor.h"

namespace {
constexpr std::string_view kGroups[] = {"Main", "POI", "UNIT", "DB"};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  UnitState state;
  CommandLog log;
  FuzzInput::Messages messages(data, size);
  std::string_view message;
  while (messages.Next(message)) {
    if (message.empty()) continue;
    const std::string_view group = kGroups[std::uint8_t(message[0]) % std::size(kGroups)];
    const std::string_view written = message.substr(1);
    CommandResult result = UnitCommandProcessor::Process(state, group, written);
    log.AddReceived(std::string(group), reinterpret_cast<const std::uint8_t*>(written.data()), written.size(),
                    std::move(result.note));
    for (const std::string& reply : result.replies) {
      FUZZ_CHECK(!reply.empty() && reply.size() <= UnitState::kReplySize);
      log.AddSent(std::string(group), reply);
    }
    FUZZ_CHECK(int(state.StoredPoiRecords().size()) <= state.PoiCapacity());
  }
  log.ToJson();
  return 0;
}
