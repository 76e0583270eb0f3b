#include "unitsim/PackageReceiver.h"

#include <zlib.h>

#include <cstdio>

namespace {
std::string Hex32(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}
}  // namespace

PackageReceiver::PackageReceiver(std::string channel, bool firmwareOnly)
    : m_firmwareOnly(firmwareOnly), m_crc(::crc32_z(0, nullptr, 0)) {
  m_outcome.channel = std::move(channel);
}

PackageOutcome PackageReceiver::Decide(bool installed, std::string reason) {
  m_phase = Phase::kDone;
  m_outcome.installed = installed;
  m_outcome.reason = std::move(reason);
  return m_outcome;
}

std::optional<PackageOutcome> PackageReceiver::Feed(const std::uint8_t* data, std::size_t size,
                                                    std::string* note) {
  const PackageHeader& header = m_outcome.header;
  switch (m_phase) {
    case Phase::kHeader: {
      std::string error;
      const auto parsed = PackageHeader::Parse(data, size, &error);
      if (!parsed) {
        *note = "refused: " + error;
        return Decide(false, error);
      }
      m_outcome.headerValid = true;
      m_outcome.header = *parsed;
      *note = "package header: " + header.KindName() + " " + header.VersionText() + ", " +
              std::to_string(header.payloadLength) + " bytes, crc " + Hex32(header.payloadCrc);
      if (m_firmwareOnly && header.kind != PackageHeader::kFirmware)
        return Decide(false, "only firmware is taken on " + m_outcome.channel);
      if (header.payloadLength == 0) return Decide(false, "empty payload");
      m_phase = Phase::kPayload;
      return std::nullopt;
    }
    case Phase::kPayload: {
      const std::uint64_t total = std::uint64_t(m_outcome.received) + size;
      *note = "payload " + std::to_string(size) + " bytes, " + std::to_string(total) + " of " +
              std::to_string(header.payloadLength);
      if (total > header.payloadLength)
        return Decide(false, std::to_string(total) + " payload bytes, the header announces " +
                                 std::to_string(header.payloadLength));
      m_crc = ::crc32_z(m_crc, data, size);
      m_outcome.received = static_cast<std::uint32_t>(total);
      if (m_outcome.received < header.payloadLength) return std::nullopt;
      if (m_crc != header.payloadCrc)
        return Decide(false, "CRC mismatch: payload " + Hex32(static_cast<std::uint32_t>(m_crc)) +
                                 ", header " + Hex32(header.payloadCrc));
      return Decide(true, {});
    }
    case Phase::kDone:
      *note = "ignored: the package was already decided";
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<PackageOutcome> PackageReceiver::Close() {
  if (m_phase != Phase::kPayload) return std::nullopt;
  return Decide(false, "transfer cut short: " + std::to_string(m_outcome.received) + " of " +
                           std::to_string(m_outcome.header.payloadLength) + " bytes");
}
