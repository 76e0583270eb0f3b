#pragma once

// The sheet fixture is shared by the page tests of every folder.
#include "DeviceTestSupport.h"
#include "support/DeviceSheet.h"
