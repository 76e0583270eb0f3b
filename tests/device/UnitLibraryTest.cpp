#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "device/SpeedUnitCommand.h"
#include "device/UnitLibrary.h"
#include "device/VersionQuery.h"

namespace {

void ExpectNothingReachable() {
  CUnitLibrary library;
  EXPECT_FALSE(library.Load());
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(library.open_dev(), CUnitLibrary::kNoUnit);
  EXPECT_FALSE(IsChannelOpen(library.open_file(UnitChannels::kMainRead)));

  const UnitProbe probe = ProbeUnit();
  EXPECT_FALSE(probe.bLibraryLoaded);
  EXPECT_FALSE(probe.bUnitPresent);
  EXPECT_EQ(RunVersionQuery(true).outcome, VersionQueryOutcome::ChannelNotOpen);
  EXPECT_EQ(RunSpeedUnitCommand(true, BuildSpeedUnitCommand(1), [](int) {}), SpeedUnitOutcome::NotSent);
}

}  // namespace

TEST(CUnitLibrary, MissingLibraryLoadsNothing) {
  LibraryNameScope scope("libV770-no-such-library.so");
  ExpectNothingReachable();
}

TEST(CUnitLibrary, LibraryWithoutTheEntryPointsIsNotUsed) {
  // A library that exists but is not the unit's.
  LibraryNameScope scope("libz.so.1");
  ExpectNothingReachable();
}

TEST(CUnitLibrary, ZeroHandleCountsAsNotOpen) {
  // A stand-in library whose open_dev finds a unit and whose open_file returns 0.
  LibraryNameScope scope("libv770-zero-handle-unit.so");
  CUnitLibrary library;
  ASSERT_TRUE(library.Load());
  EXPECT_NE(library.open_dev(), CUnitLibrary::kNoUnit);
  EXPECT_EQ(library.open_file(UnitChannels::kMainWrite), 0);
  library.Free();
  EXPECT_FALSE(library.IsLoaded());

  EXPECT_TRUE(ProbeUnit().bUnitPresent);
  EXPECT_EQ(RunVersionQuery(true).outcome, VersionQueryOutcome::ChannelNotOpen);
  EXPECT_EQ(RunSpeedUnitCommand(true, BuildSpeedUnitCommand(1), [](int) {}), SpeedUnitOutcome::NotSent);
}

TEST(SpeedUnitCommand, SelectionTravelsAsItsLowByteThenZero) {
  EXPECT_EQ(BuildSpeedUnitCommand(1), QByteArray("\x24\x50\x31\x3C\x01\x00", 6));
  EXPECT_EQ(BuildSpeedUnitCommand(0), QByteArray("$P1<\x00\x00", 6));
  EXPECT_EQ(BuildSpeedUnitCommand(0x1FE), QByteArray("$P1<\xFE\x00", 6));
}
