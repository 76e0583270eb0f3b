#pragma once

#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

// The last messages the unit received on each channel, and the channel openings and
// closings between them, for `ctl status`.
class CommandLog {
 public:
  static constexpr std::size_t kEntriesPerChannel = 24;
  // Longer messages (package payload) are shown by their first bytes and their length.
  static constexpr std::size_t kBytesShown = 32;

  // A message the unit received on the channel, and what it made of it.
  void AddReceived(const std::string& channel, const std::uint8_t* data, std::size_t size, std::string note);
  // A reply the unit sent on the channel.
  void AddSent(const std::string& channel, const std::string& bytes);
  // Anything else: "opened", "closed", "reply dropped: ...".
  void AddEvent(const std::string& channel, std::string event);

  // {"CHANNEL": [{"seq", "event", "length", "hex", "note"}, ...], ...}, oldest first;
  // event is "received", "sent" or one of AddEvent's.
  QJsonObject ToJson() const;

 private:
  struct Entry {
    std::uint64_t seq;
    std::string event;
    std::size_t length;
    std::string hex;
    std::string note;
  };
  void Add(const std::string& channel, Entry entry);

  std::map<std::string, std::deque<Entry>> m_channels;
  std::uint64_t m_nextSeq = 1;
};
