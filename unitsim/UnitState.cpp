#include "unitsim/UnitState.h"

#include <QJsonArray>
#include <QJsonValue>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kMinByteValue = -128;
constexpr int kMaxByteValue = 255;
constexpr int kMaxSpeedUnit = 255;

// A fresh unit: France database 100315, hardware 7, firmware 1.5, voice 1.2.3.
constexpr UnitState::Reply kDefaultReply = {3, 2, 3, 15, 7, 1, 5, 1, 2, 3, 0, 0};

QString Hex(const std::uint8_t* data, std::size_t size) {
  return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).toHex());
}

// Reply bytes are signed 8-bit numbers to the program.
int Signed(std::uint8_t value) { return int(std::int8_t(value)); }

PackageHeader VersionOf(PackageHeader::Kind kind, const UnitState::Reply& reply, std::size_t first) {
  PackageHeader header;
  header.kind = kind;
  std::copy_n(reply.begin() + first, 3, header.version.begin());
  return header;
}

QJsonObject PackageToJson(const PackageOutcome& outcome) {
  QJsonObject json{{"channel", QString::fromStdString(outcome.channel)},
                   {"installed", outcome.installed},
                   {"reason", QString::fromStdString(outcome.reason)},
                   {"received", qint64(outcome.received)}};
  if (outcome.headerValid) {
    const PackageHeader& header = outcome.header;
    json["kind"] = QString::fromStdString(header.KindName());
    json["areaOrLanguage"] = int(header.areaOrLanguage);
    json["version"] = QString::fromStdString(header.VersionText());
    json["versionBytes"] = QJsonArray{header.version[0], header.version[1], header.version[2]};
    json["size"] = qint64(header.payloadLength);
    json["crc"] = QString::asprintf("%08x", header.payloadCrc);
  }
  return json;
}

PackageOutcome PackageFromJson(const QJsonObject& json) {
  PackageOutcome outcome;
  outcome.channel = json["channel"].toString().toStdString();
  outcome.installed = json["installed"].toBool();
  outcome.reason = json["reason"].toString().toStdString();
  outcome.received = std::uint32_t(json["received"].toInteger());
  outcome.headerValid = json.contains("kind");
  if (outcome.headerValid) {
    PackageHeader& header = outcome.header;
    const QString kind = json["kind"].toString();
    header.kind = kind == "voice" ? PackageHeader::kVoice
                  : kind == "firmware" ? PackageHeader::kFirmware
                                       : PackageHeader::kDatabase;
    header.areaOrLanguage = std::uint8_t(json["areaOrLanguage"].toInt());
    const QJsonArray version = json["versionBytes"].toArray();
    for (int i = 0; i < 3 && i < version.size(); ++i) header.version[i] = std::uint8_t(version[i].toInt());
    header.payloadLength = std::uint32_t(json["size"].toInteger());
    header.payloadCrc = json["crc"].toString().toUInt(nullptr, 16);
  }
  return outcome;
}

bool InRange(long value, long low, long high) { return value >= low && value <= high; }

}  // namespace

const std::vector<UnitState::Field>& UnitState::Fields() {
  static const std::vector<Field> fields = {
      {"area", kArea, "database area code (reply byte 0)"},
      {"db1", kDb1, "database version, first part less 8 (reply byte 1)"},
      {"db2", kDb2, "database version, second part (reply byte 2)"},
      {"db3", kDb3, "database version, third part (reply byte 3)"},
      {"hwid", kHardwareId, "hardware identifier (reply byte 4)"},
      {"fwmajor", kFwMajor, "firmware major number (reply byte 5)"},
      {"fwminor", kFwMinor, "firmware minor number (reply byte 6)"},
      {"voice1", kVoice1, "voice version, first part (reply byte 7)"},
      {"voice2", kVoice2, "voice version, second part (reply byte 8)"},
      {"voice3", kVoice3, "voice version, third part (reply byte 9)"},
      {"byte10", kByte10, "unused reply byte 10"},
      {"voicelang", kVoiceLanguage, "voice language number (reply byte 11)"},
      {kPoiCapacityField, -1, "number of POI slots, 0 to 127 (slots beyond are dropped)"},
      {kSpeedUnitField, -1, "speed unit, as \"$P1<\" sets it (0 km/h, 1 mph)"},
  };
  return fields;
}

UnitState::UnitState() : m_reply(kDefaultReply), m_poiSlots(kDefaultPoiCapacity, PoiRecord{}) {}

std::vector<UnitState::PoiRecord> UnitState::StoredPoiRecords() const {
  std::vector<PoiRecord> records;
  std::copy_if(m_poiSlots.begin(), m_poiSlots.end(), std::back_inserter(records),
               [](const PoiRecord& record) { return record != PoiRecord{}; });
  return records;
}

bool UnitState::StorePoi(int slot, const PoiRecord& record) {
  if (slot < 0 || slot >= PoiCapacity()) return false;
  m_poiSlots[std::size_t(slot)] = record;
  return true;
}

void UnitState::EraseAllPois() { std::fill(m_poiSlots.begin(), m_poiSlots.end(), PoiRecord{}); }

void UnitState::Install(const PackageHeader& header) {
  const auto put = [&](std::size_t first) { std::copy(header.version.begin(), header.version.end(), m_reply.begin() + first); };
  switch (header.kind) {
    case PackageHeader::kDatabase:
      m_reply[kArea] = header.areaOrLanguage;
      put(kDb1);
      break;
    case PackageHeader::kVoice:
      m_reply[kVoiceLanguage] = header.areaOrLanguage;
      put(kVoice1);
      break;
    case PackageHeader::kFirmware:
      m_reply[kFwMajor] = header.version[0];
      m_reply[kFwMinor] = header.version[1];
      break;
  }
}

void UnitState::RecordPackage(PackageOutcome outcome) {
  m_packages.push_back(std::move(outcome));
  while (m_packages.size() > kPackageHistory) m_packages.pop_front();
}

bool UnitState::Set(std::string_view field, long value, std::string* error) {
  const auto fail = [&](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  const auto& fields = Fields();
  const auto it = std::find_if(fields.begin(), fields.end(), [&](const Field& f) { return field == f.name; });
  if (it == fields.end()) return fail("unknown field " + std::string(field));
  if (it->replyByte >= 0) {
    if (!InRange(value, kMinByteValue, kMaxByteValue)) return fail("a reply byte takes -128 to 255");
    m_reply[std::size_t(it->replyByte)] = std::uint8_t(value);
  } else if (field == kPoiCapacityField) {
    if (!InRange(value, 0, kMaxPoiCapacity)) return fail("the POI capacity takes 0 to 127");
    m_poiSlots.resize(std::size_t(value), PoiRecord{});
  } else {
    if (!InRange(value, 0, kMaxSpeedUnit)) return fail("the speed unit takes 0 to 255");
    m_speedUnit = int(value);
  }
  return true;
}

QJsonObject UnitState::ToJson() const {
  QJsonObject version{{"reply", Hex(m_reply.data(), m_reply.size())}};
  QJsonArray bytes;
  for (std::uint8_t byte : m_reply) bytes.append(Signed(byte));
  version["bytes"] = bytes;
  for (const Field& field : Fields())
    if (field.replyByte >= 0) version[field.name] = Signed(m_reply[std::size_t(field.replyByte)]);
  version["database"] = QString::fromStdString(VersionOf(PackageHeader::kDatabase, m_reply, kDb1).VersionText());
  version["firmware"] = QString::fromStdString(VersionOf(PackageHeader::kFirmware, m_reply, kFwMajor).VersionText());
  version["voice"] = QString::fromStdString(VersionOf(PackageHeader::kVoice, m_reply, kVoice1).VersionText());

  QJsonArray slotList;
  for (const PoiRecord& record : m_poiSlots) slotList.append(Hex(record.data(), record.size()));
  const QJsonObject poi{{"capacity", PoiCapacity()},
                        {"count", int(StoredPoiRecords().size())},
                        {"slots", slotList}};
  QJsonArray packages;
  for (const PackageOutcome& outcome : m_packages) packages.append(PackageToJson(outcome));
  return {{"plugged", m_plugged}, {"version", version}, {"speedUnit", m_speedUnit},
          {"poi", poi},           {"packages", packages}};
}

std::optional<UnitState> UnitState::FromJson(const QJsonObject& json, QString* error) {
  const auto fail = [&](const QString& reason) -> std::optional<UnitState> {
    if (error) *error = reason;
    return std::nullopt;
  };
  const auto number = [](const QJsonValue& value, long low, long high, long* out) {
    if (!value.isDouble()) return false;
    const double v = value.toDouble();
    if (!(v >= double(low) && v <= double(high)) || v != std::floor(v)) return false;
    *out = long(v);
    return true;
  };
  UnitState state;
  if (json.contains("plugged")) {
    if (!json["plugged"].isBool()) return fail("\"plugged\" is not true or false");
    state.m_plugged = json["plugged"].toBool();
  }
  const QJsonObject version = json["version"].toObject();
  for (const Field& field : Fields()) {
    if (field.replyByte < 0 || !version.contains(field.name)) continue;
    long value;
    if (!number(version[field.name], kMinByteValue, kMaxByteValue, &value))
      return fail(QStringLiteral("version \"%1\" is not a number from -128 to 255").arg(field.name));
    state.m_reply[std::size_t(field.replyByte)] = std::uint8_t(value);
  }
  if (json.contains("speedUnit")) {
    long value;
    if (!number(json["speedUnit"], 0, kMaxSpeedUnit, &value)) return fail("\"speedUnit\" is not 0 to 255");
    state.m_speedUnit = int(value);
  }
  const QJsonObject poi = json["poi"].toObject();
  if (poi.contains("capacity")) {
    long value;
    if (!number(poi["capacity"], 0, kMaxPoiCapacity, &value)) return fail("POI \"capacity\" is not 0 to 127");
    state.m_poiSlots.assign(std::size_t(value), PoiRecord{});
  }
  const QJsonArray slotList = poi["slots"].toArray();
  for (qsizetype i = 0; i < slotList.size() && i < state.PoiCapacity(); ++i) {
    if (slotList[i].isNull()) continue;
    const QByteArray hex = slotList[i].toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (!slotList[i].isString() || bytes.size() != qsizetype(kPoiRecordSize) ||
        bytes.toHex() != hex.toLower().replace(' ', ""))
      return fail(QStringLiteral("POI slot %1 is not 12 bytes of hexadecimal").arg(i));
    std::copy(bytes.begin(), bytes.end(), state.m_poiSlots[std::size_t(i)].begin());
  }
  for (const QJsonValue& package : json["packages"].toArray())
    state.RecordPackage(PackageFromJson(package.toObject()));
  return state;
}
