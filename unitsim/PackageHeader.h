#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The 20-byte header the unit expects at the start of every package transfer. The program
// never looks inside it; the unit checks it and installs the payload only when its length
// and CRC match.
//
//   0-3 "V7PK" | 4 kind | 5 area (database) / language (voice) / 0 | 6-8 version | 9 0 |
//   10-13 payload length LE | 14-17 zlib CRC-32 of the payload LE | 18-19 0
class PackageHeader {
 public:
  static constexpr std::size_t kSize = 20;
  // In a package file the payload starts here; the bytes between the header and it are free.
  static constexpr std::size_t kPayloadOffset = 1024;

  enum Kind : std::uint8_t { kDatabase = 1, kVoice = 2, kFirmware = 3 };

  std::uint8_t kind = kDatabase;
  std::uint8_t areaOrLanguage = 0;
  std::array<std::uint8_t, 3> version{};
  std::uint32_t payloadLength = 0;
  std::uint32_t payloadCrc = 0;

  // The header in `data`, or nothing with the reason in `error` when it is none.
  static std::optional<PackageHeader> Parse(const std::uint8_t* data, std::size_t size, std::string* error);
  std::array<std::uint8_t, kSize> Bytes() const;

  // "database", "voice", "firmware" or "kind N".
  std::string KindName() const;
  // The version as the program shows it: database 100315, voice 10203, firmware 1.5.
  std::string VersionText() const;

  static std::uint32_t Crc(const std::uint8_t* data, std::size_t size);
  // A whole package file: header (length and CRC from the payload), a description in the
  // free area, payload from kPayloadOffset.
  static std::vector<std::uint8_t> BuildFile(Kind kind, std::uint8_t areaOrLanguage,
                                             std::array<std::uint8_t, 3> version,
                                             const std::vector<std::uint8_t>& payload,
                                             const std::string& description = {});
};
