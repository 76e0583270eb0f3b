#include "unitsim/ChannelStreamSplitter.h"

#include "unitsim/PackageHeader.h"
#include "unitsim/UnitCommandProcessor.h"

namespace {
constexpr char kCommandStart = '$';
constexpr std::string_view kCommandEnds = "<>";
constexpr char kCarriesData = '<';
}  // namespace

ChannelStreamSplitter::ChannelStreamSplitter(UnitChannelInfo::Role role) : m_role(role) {}

std::size_t ChannelStreamSplitter::NextMessageSize() const {
  if (m_pending.empty()) return 0;
  switch (m_role) {
    case UnitChannelInfo::kReply:
      return m_pending.size();
    case UnitChannelInfo::kTransfer:
      if (m_bHeaderTaken) return m_pending.size();
      return m_pending.size() >= PackageHeader::kSize ? PackageHeader::kSize : 0;
    case UnitChannelInfo::kCommand:
      break;
  }
  if (m_pending.front() != kCommandStart) return std::min(m_pending.find(kCommandStart, 1), m_pending.size());
  const std::size_t end = m_pending.find_first_of(kCommandEnds, 1);
  if (end == std::string::npos || end >= kMaxCommandName) {
    if (m_pending.size() < kMaxCommandName) return 0;
    return std::min(m_pending.find(kCommandStart, 1), m_pending.size());
  }
  std::size_t size = end + 1;
  if (m_pending[end] == kCarriesData) size += UnitCommandProcessor::ArgumentSize(std::string_view(m_pending).substr(0, size));
  return m_pending.size() >= size ? size : 0;
}

std::vector<std::string> ChannelStreamSplitter::Feed(std::string_view bytes) {
  m_pending.append(bytes);
  std::vector<std::string> messages;
  while (const std::size_t size = NextMessageSize()) {
    messages.push_back(m_pending.substr(0, size));
    m_pending.erase(0, size);
    if (m_role == UnitChannelInfo::kTransfer) m_bHeaderTaken = true;
  }
  return messages;
}
