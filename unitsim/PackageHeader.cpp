#include "unitsim/PackageHeader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr char kMagic[4] = {'V', '7', 'P', 'K'};
constexpr std::size_t kKindAt = 4, kAreaAt = 5, kVersionAt = 6, kLengthAt = 10, kCrcAt = 14;
// Database versions carry their first part less 8 (byte 1 of the version reply).
constexpr int kDatabaseFirstPartOffset = 8;

std::uint32_t ReadLe32(const std::uint8_t* data) {
  return std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16 |
         std::uint32_t(data[3]) << 24;
}

void WriteLe32(std::uint8_t* data, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) data[i] = std::uint8_t(value >> (8 * i));
}
}  // namespace

std::optional<PackageHeader> PackageHeader::Parse(const std::uint8_t* data, std::size_t size,
                                                  std::string* error) {
  const auto fail = [&](std::string reason) -> std::optional<PackageHeader> {
    if (error) *error = std::move(reason);
    return std::nullopt;
  };
  if (size != kSize) return fail("header of " + std::to_string(size) + " bytes, expected 20");
  if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return fail("no V7PK package header");
  PackageHeader header;
  header.kind = data[kKindAt];
  if (header.kind < kDatabase || header.kind > kFirmware) return fail("unknown package " + header.KindName());
  header.areaOrLanguage = data[kAreaAt];
  std::copy_n(data + kVersionAt, 3, header.version.begin());
  header.payloadLength = ReadLe32(data + kLengthAt);
  header.payloadCrc = ReadLe32(data + kCrcAt);
  return header;
}

std::array<std::uint8_t, PackageHeader::kSize> PackageHeader::Bytes() const {
  std::array<std::uint8_t, kSize> bytes{};
  std::memcpy(bytes.data(), kMagic, sizeof kMagic);
  bytes[kKindAt] = kind;
  bytes[kAreaAt] = areaOrLanguage;
  std::copy(version.begin(), version.end(), bytes.begin() + kVersionAt);
  WriteLe32(bytes.data() + kLengthAt, payloadLength);
  WriteLe32(bytes.data() + kCrcAt, payloadCrc);
  return bytes;
}

std::string PackageHeader::KindName() const {
  switch (kind) {
    case kDatabase: return "database";
    case kVoice: return "voice";
    case kFirmware: return "firmware";
    default: return "kind " + std::to_string(kind);
  }
}

std::string PackageHeader::VersionText() const {
  const auto part = [&](int i) { return int(std::int8_t(version[i])); };
  switch (kind) {
    case kDatabase: return std::to_string((part(0) + kDatabaseFirstPartOffset) * 10000 + part(1) * 100 + part(2));
    case kVoice: return std::to_string(part(0) * 10000 + part(1) * 100 + part(2));
    case kFirmware: return std::to_string(part(0)) + "." + std::to_string(part(1));
    default: return {};
  }
}

std::uint32_t PackageHeader::Crc(const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint32_t>(::crc32_z(::crc32_z(0, nullptr, 0), data, size));
}

std::vector<std::uint8_t> PackageHeader::BuildFile(Kind kind, std::uint8_t areaOrLanguage,
                                                   std::array<std::uint8_t, 3> version,
                                                   const std::vector<std::uint8_t>& payload,
                                                   const std::string& description) {
  PackageHeader header;
  header.kind = kind;
  header.areaOrLanguage = areaOrLanguage;
  header.version = version;
  header.payloadLength = static_cast<std::uint32_t>(payload.size());
  header.payloadCrc = Crc(payload.data(), payload.size());
  std::vector<std::uint8_t> file(kPayloadOffset + payload.size(), 0);
  const auto bytes = header.Bytes();
  std::copy(bytes.begin(), bytes.end(), file.begin());
  std::copy_n(description.begin(), std::min(description.size(), kPayloadOffset - kSize), file.begin() + kSize);
  std::copy(payload.begin(), payload.end(), file.begin() + kPayloadOffset);
  return file;
}
