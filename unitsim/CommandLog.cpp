#include "unitsim/CommandLog.h"

#include <QJsonArray>
#include <algorithm>

namespace {
std::string Hex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[data[i] >> 4]);
    hex.push_back(kDigits[data[i] & 0x0F]);
  }
  return hex;
}
}  // namespace

void CommandLog::Add(const std::string& channel, Entry entry) {
  entry.seq = m_nextSeq++;
  auto& entries = m_channels[channel];
  entries.push_back(std::move(entry));
  if (entries.size() > kEntriesPerChannel) entries.pop_front();
}

void CommandLog::AddReceived(const std::string& channel, const std::uint8_t* data, std::size_t size,
                             std::string note) {
  Add(channel, {0, "received", size, Hex(data, std::min(size, kBytesShown)), std::move(note)});
}

void CommandLog::AddSent(const std::string& channel, const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  Add(channel, {0, "sent", bytes.size(), Hex(data, std::min(bytes.size(), kBytesShown)), {}});
}

void CommandLog::AddEvent(const std::string& channel, std::string event) {
  Add(channel, {0, std::move(event), 0, {}, {}});
}

QJsonObject CommandLog::ToJson() const {
  QJsonObject json;
  for (const auto& [channel, entries] : m_channels) {
    QJsonArray list;
    for (const Entry& entry : entries) {
      list.append(QJsonObject{{"seq", qint64(entry.seq)},
                              {"event", QString::fromStdString(entry.event)},
                              {"length", qint64(entry.length)},
                              {"hex", QString::fromStdString(entry.hex)},
                              {"note", QString::fromStdString(entry.note)}});
    }
    json[QString::fromStdString(channel)] = list;
  }
  return json;
}
