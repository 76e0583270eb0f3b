#pragma once

// The unit channel of this build, chosen when it is compiled: over a descriptor on POSIX
// systems, over a HANDLE on Windows. Code above the channel names only UnitChannel.
#include "device/UnitChannelInterface.h"

#ifdef _WIN32
#include "device/UnitChannelWindows.h"
using UnitChannel = HandleChannel;
#else
#include "device/UnitChannelPosix.h"
using UnitChannel = FdChannel;
#endif
