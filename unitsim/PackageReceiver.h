#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "unitsim/PackageHeader.h"

// What became of one package transfer.
struct PackageOutcome {
  std::string channel;
  bool headerValid = false;
  PackageHeader header;
  std::uint32_t received = 0;  // payload bytes that arrived
  bool installed = false;
  std::string reason;  // why it was refused; empty when installed
};

// Follows one package transfer on an update channel: the 20-byte header, then payload
// messages until the announced length. The transfer is decided as soon as the last
// announced byte arrives (installed when the CRC matches) or something is wrong with it;
// a channel that closes earlier cuts it short.
class PackageReceiver {
 public:
  PackageReceiver(std::string channel, bool firmwareOnly);

  // One message from the channel; the outcome once the transfer is decided. `note` tells
  // the log what the message was.
  std::optional<PackageOutcome> Feed(const std::uint8_t* data, std::size_t size, std::string* note);
  // The channel closed: a transfer that is still receiving is cut short.
  std::optional<PackageOutcome> Close();

 private:
  enum class Phase { kHeader, kPayload, kDone };
  PackageOutcome Decide(bool installed, std::string reason);

  Phase m_phase = Phase::kHeader;
  PackageOutcome m_outcome;
  bool m_firmwareOnly;
  unsigned long m_crc;
};
