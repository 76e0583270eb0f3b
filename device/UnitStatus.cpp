#include "device/UnitStatus.h"

#include "device/UnitLibrary.h"
#include "device/VersionQuery.h"

UnitStatus UnitStatus::Query(const QList<VersionEntry>& listDB) {
  UnitStatus status;
  if (!ProbeUnit().bUnitPresent) return status;
  const VersionQueryResult query = RunVersionQuery(true);
  switch (query.outcome) {
    case VersionQueryOutcome::ReplyReady: break;
    case VersionQueryOutcome::NoReply: status.outcome = NoReply; return status;
    case VersionQueryOutcome::ChannelNotOpen: status.outcome = ChannelNotOpen; return status;
    case VersionQueryOutcome::UnitNotConnected: return status;
  }
  status.outcome = Identified;
  // A short reply is taken as it is, the missing bytes as zero, as the page's buffer holds them.
  status.reply = query.reply.leftJustified(UnitVersionInfo::kReplySize, '\0', true);
  status.info = UnitVersionInfo::FromReply(
      std::span<const std::int8_t>(reinterpret_cast<const std::int8_t*>(status.reply.constData()),
                                   UnitVersionInfo::kReplySize),
      listDB);
  return status;
}
