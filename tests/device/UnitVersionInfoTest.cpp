#include <gtest/gtest.h>

#include <array>

#include "device/UnitVersionInfo.h"

namespace {

using Reply = std::array<std::int8_t, 13>;

// area, db1, db2, db3, hw, fw major, fw minor, voice 1..3, unused, voice language
Reply MakeReply(std::initializer_list<int> bytes) {
  Reply reply{};
  std::size_t i = 0;
  for (int b : bytes) reply[i++] = static_cast<std::int8_t>(b);
  return reply;
}

QList<VersionEntry> Catalogue() {
  return {{0, "100412_Europe"}, {1, "100412_France"}, {5, "100405_UnitedKingdom"},
          {5, "100101_Shadowed"}, {6, "NoUnderscore"}};
}

}  // namespace

TEST(UnitVersionInfo, DatabaseVersionTextNumberAndTest) {
  const auto info = UnitVersionInfo::FromReply(MakeReply({2, 2, 3, 15, 4, 1, 2, 1, 2, 3, 0, 1}), Catalogue());
  EXPECT_EQ(info.strDBVersion, "v 100315");
  EXPECT_EQ(info.nUnitDBVersion, 100315);
  EXPECT_EQ(info.nDBTestNumber, 10315);
  EXPECT_EQ(info.strHWVersion, "v 4");
  EXPECT_EQ(info.strFWVersion, "v 1.2");
  EXPECT_EQ(info.strVoiceVersion, "v 10203");
  EXPECT_EQ(info.nUnitVoiceVersion, 10203);
  EXPECT_EQ(info.nUnitVoiceLanguage, 1);
  EXPECT_EQ(info.nUnitDBArea, 2);
  EXPECT_EQ(info.strDBArea, "Europe");
}

TEST(UnitVersionInfo, FirmwareNumberIsTheTextReadAsDecimal) {
  EXPECT_FLOAT_EQ(UnitVersionInfo::FromReply(MakeReply({2, 2, 0, 0, 0, 1, 10}), {}).fUnitFWVersion, 1.1f);
  EXPECT_FLOAT_EQ(UnitVersionInfo::FromReply(MakeReply({2, 2, 0, 0, 0, 5, 10}), {}).fUnitFWVersion, 5.1f);
  EXPECT_FLOAT_EQ(UnitVersionInfo::FromReply(MakeReply({2, 2, 0, 0, 0, 1, 6}), {}).fUnitFWVersion, 1.6f);
  // A negative minor stops the number at the point.
  EXPECT_FLOAT_EQ(UnitVersionInfo::FromReply(MakeReply({2, 2, 0, 0, 0, 3, -2}), {}).fUnitFWVersion, 3.0f);
}

TEST(UnitVersionInfo, DatabaseNumberBelowZeroFailsTheTest) {
  const auto info = UnitVersionInfo::FromReply(MakeReply({2, -9, 3, 15}), {});
  EXPECT_EQ(info.strDBVersion, "v -10315");
  EXPECT_LT(info.nDBTestNumber, 0);
  // Exactly -8: the first part is 0 and the number is just the other parts.
  EXPECT_EQ(UnitVersionInfo::FromReply(MakeReply({2, -8, 0, 0}), {}).nDBTestNumber, 0);
  // Negative later parts: the number stops at the minus sign, as a C reader would.
  EXPECT_EQ(UnitVersionInfo::FromReply(MakeReply({2, 2, -3, 1}), {}).nDBTestNumber, 10);
}

TEST(UnitVersionInfo, AreaNameFromTheCatalogue) {
  const auto catalogue = Catalogue();
  EXPECT_EQ(AreaNameForCode(catalogue, 3), "France");
  EXPECT_EQ(AreaNameForCode(catalogue, 7), "UnitedKingdom");  // the first of two matches
  EXPECT_EQ(AreaNameForCode(catalogue, 8), "NoUnderscore");
  // Not in the catalogue: a text of its own, never the firmware text.
  const auto info = UnitVersionInfo::FromReply(MakeReply({9, 2, 0, 0, 0, 1, 2}), catalogue);
  EXPECT_EQ(info.strDBArea, "Area 9");
  EXPECT_EQ(AreaNameForCode({}, -3), "Area -3");
}

TEST(UnitVersionInfo, ShortReplyGivesNothing) {
  const std::array<std::int8_t, 4> shortReply{2, 2, 3, 15};
  const auto info = UnitVersionInfo::FromReply(shortReply, Catalogue());
  EXPECT_EQ(info.nDBTestNumber, 0);
  EXPECT_TRUE(info.strDBVersion.isEmpty());
}
