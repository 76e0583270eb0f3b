// The emulated unit's package receiver: the first byte picks the update or the recovery
// channel, the rest is the messages of one transfer. A package is installed only when it
// is whole and its CRC matches.
#include "fuzz/FuzzInput.h"
#include <zlib.h>

#include "unitsim/UnitState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool recovery = data[0] & 1;
  PackageReceiver receiver(recovery ? "PIPE00RESET" : "PIPE00DB", recovery);
  UnitState state;
  std::uint32_t crc = static_cast<std::uint32_t>(::crc32_z(0, nullptr, 0));
  std::size_t payloadBytes = 0;
  bool first = true;

  const auto take = [&](std::optional<PackageOutcome> outcome) {
    if (!outcome) return;
    if (outcome->installed) {
      FUZZ_CHECK(outcome->headerValid && outcome->received == outcome->header.payloadLength);
      FUZZ_CHECK(payloadBytes == outcome->received && crc == outcome->header.payloadCrc);
      FUZZ_CHECK(!recovery || outcome->header.kind == PackageHeader::kFirmware);
      state.Install(outcome->header);
    }
    state.RecordPackage(std::move(*outcome));
  };

  FuzzInput::Messages messages(data + 1, size - 1);
  std::string_view message;
  while (messages.Next(message)) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    if (!first) {
      crc = static_cast<std::uint32_t>(::crc32_z(crc, bytes, message.size()));
      payloadBytes += message.size();
    }
    first = false;
    std::string note;
    take(receiver.Feed(bytes, message.size(), &note));
    FUZZ_CHECK(!note.empty());
  }
  take(receiver.Close());
  return 0;
}
