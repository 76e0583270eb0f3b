#include "device/SpeedUnitCommand.h"

#include "device/StoppableChannel.h"
#include "device/UnitLibrary.h"
#include "platform/Profile.h"

namespace {
QByteArray SpeedUnitKey(int hardwareId) { return "HW" + QByteArray::number(hardwareId); }
}  // namespace

QByteArray BuildSpeedUnitCommand(int selection) {
  QByteArray command("$P1<");
  command.append(static_cast<char>(selection & 0xFF));
  command.append('\0');
  return command;
}

SpeedUnitOutcome RunSpeedUnitCommand(bool bUnitConnected, const QByteArray& command,
                                     const UnitExchange::SleepFn& sleep, std::stop_token stop) {
  if (!bUnitConnected) return SpeedUnitOutcome::NotSent;
  CUnitLibrary library;
  if (!library.Load()) return SpeedUnitOutcome::NotSent;
  UnitChannel channel(library.open_file(UnitChannels::kUnitWrite));
  if (!channel.IsOpen()) return SpeedUnitOutcome::NotSent;
  StoppableChannel stoppable(channel, stop);
  const bool sent = UnitExchange::SendCommand(stoppable, command, sleep);
  stoppable.Close();
  return sent ? SpeedUnitOutcome::Sent : SpeedUnitOutcome::Failed;
}

void RememberSpeedUnit(int hardwareId, int selection) {
  Profile::WriteProfileInt(kSpeedUnitSection, SpeedUnitKey(hardwareId).constData(), selection);
}

int RememberedSpeedUnit(int hardwareId) {
  return Profile::GetProfileInt(kSpeedUnitSection, SpeedUnitKey(hardwareId).constData(), -1);
}
