#include "device/VersionQuery.h"

#include "device/StoppableChannel.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "device/UnitVersionInfo.h"

VersionQueryResult RunVersionQuery(bool bUnitConnected, int timeoutMs, std::stop_token stop) {
  VersionQueryResult result;
  CUnitLibrary library;
  if (!library.Load()) return result;
  UnitChannel readChannel(library.open_file(UnitChannels::kMainRead), timeoutMs);
  UnitChannel writeChannel(library.open_file(UnitChannels::kMainWrite), timeoutMs);
  StoppableChannel stoppableRead(readChannel, stop);
  StoppableChannel stoppableWrite(writeChannel, stop);

  if (!readChannel.IsOpen() || !writeChannel.IsOpen()) {
    result.outcome = VersionQueryOutcome::ChannelNotOpen;
  } else if (!bUnitConnected) {
    result.outcome = VersionQueryOutcome::UnitNotConnected;
  } else if (auto reply = UnitExchange::RequestWithReply(stoppableWrite, stoppableRead, QByteArray(kVersionCommand),
                                                         UnitVersionInfo::kReplySize)) {
    result.outcome = VersionQueryOutcome::ReplyReady;
    result.reply = *reply;
  } else {
    result.outcome = VersionQueryOutcome::NoReply;
  }
  // Read channel first, then the write channel, then the library.
  stoppableRead.Close();
  stoppableWrite.Close();
  library.Free();
  return result;
}
