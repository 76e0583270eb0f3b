#pragma once

#include <QJsonObject>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unitsim/PackageReceiver.h"

// Everything the emulated unit keeps: the 12 bytes of its "$VER>" reply, whether it is
// plugged in, its speed unit, its POI slots and the packages it was sent. Saved as JSON.
class UnitState {
 public:
  static constexpr std::size_t kReplySize = 12;
  static constexpr std::size_t kPoiRecordSize = 12;
  static constexpr int kDefaultPoiCapacity = 100;
  // The count reply is one signed byte.
  static constexpr int kMaxPoiCapacity = 127;
  // Packages remembered, newest last.
  static constexpr std::size_t kPackageHistory = 32;

  using Reply = std::array<std::uint8_t, kReplySize>;
  using PoiRecord = std::array<std::uint8_t, kPoiRecordSize>;

  // Positions in the version reply.
  enum ReplyByte : std::size_t {
    kArea = 0, kDb1, kDb2, kDb3, kHardwareId, kFwMajor, kFwMinor,
    kVoice1, kVoice2, kVoice3, kByte10, kVoiceLanguage
  };

  // A field `set` can change: a reply byte, or one of the settings below.
  struct Field {
    const char* name;
    int replyByte;  // -1: not a reply byte
    const char* help;
  };
  static const std::vector<Field>& Fields();
  static constexpr const char* kPoiCapacityField = "poi-capacity";
  static constexpr const char* kSpeedUnitField = "speed-unit";

  // A plugged unit with default versions and empty POI slots.
  UnitState();

  const Reply& VersionReply() const { return m_reply; }
  bool IsPlugged() const { return m_plugged; }
  void SetPlugged(bool plugged) { m_plugged = plugged; }
  int SpeedUnit() const { return m_speedUnit; }
  void SetSpeedUnit(int unit) { m_speedUnit = unit; }

  int PoiCapacity() const { return static_cast<int>(m_poiSlots.size()); }
  // Records in the slots that are not empty, in slot order.
  std::vector<PoiRecord> StoredPoiRecords() const;
  // False when the slot is beyond the capacity.
  bool StorePoi(int slot, const PoiRecord& record);
  void EraseAllPois();

  // Takes a package whose length and CRC matched: the next reply reports its version.
  void Install(const PackageHeader& header);
  void RecordPackage(PackageOutcome outcome);
  const std::deque<PackageOutcome>& Packages() const { return m_packages; }

  // Sets a field of Fields() by name; false with the reason when name or value is wrong.
  bool Set(std::string_view field, long value, std::string* error);

  QJsonObject ToJson() const;
  // Missing members keep their defaults; a wrong one is an error.
  static std::optional<UnitState> FromJson(const QJsonObject& json, QString* error);

 private:
  Reply m_reply{};
  bool m_plugged = true;
  int m_speedUnit = 0;
  std::vector<PoiRecord> m_poiSlots;
  std::deque<PackageOutcome> m_packages;
};
