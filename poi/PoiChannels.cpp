#include "poi/PoiChannels.h"

#include "device/UnitLibrary.h"

PoiChannels OpenPoiChannels() {
  PoiChannels channels;
  CUnitLibrary library;
  if (!library.Load()) return channels;
  const ChannelHandle reply = library.open_file(UnitChannels::kPoiRead);
  const ChannelHandle command = library.open_file(UnitChannels::kPoiWrite);
  if (IsChannelOpen(reply)) channels.reply = std::make_shared<UnitChannel>(reply);
  if (IsChannelOpen(command)) channels.command = std::make_shared<UnitChannel>(command);
  return channels;
}
