#include <gtest/gtest.h>

#include <array>

#include "device/UnitVersionInfo.h"

namespace {

// Everything the main page shows and hands on, in one line.
QString Dump(const UnitVersionInfo& i) {
  return QStringList{i.strHWVersion, i.strFWVersion, QString::number(i.fUnitFWVersion), i.strDBArea,
                     QString::number(i.nUnitDBArea), i.strDBVersion, QString::number(i.nUnitDBVersion),
                     QString::number(i.nDBTestNumber), i.strVoiceVersion, QString::number(i.nUnitVoiceVersion),
                     QString::number(i.nUnitVoiceLanguage)}
      .join(u'|');
}

}  // namespace

TEST(UnitVersionInfo, WhatTheReplyBytesSay) {
  const QList<VersionEntry> catalogue = {{0, "100412_Europe"}, {1, "100412_France"}, {5, "100405_UnitedKingdom"},
                                         {5, "100101_Shadowed"}, {6, "NoUnderscore"}};
  // area, db1, db2, db3, hardware, firmware major and minor, voice 1..3, unused, voice language
  const std::pair<std::array<std::int8_t, 12>, const char*> cases[] = {
      {{2, 2, 3, 15, 4, 1, 2, 1, 2, 3, 0, 1}, "v 4|v 1.2|1.2|Europe|2|v 100315|100315|10315|v 10203|10203|1"},
      // The firmware number is its text read as a decimal number: 1 and 10 give 1.1.
      {{3, 2, 0, 0, 0, 1, 10}, "v 0|v 1.10|1.1|France|3|v 100000|100000|1000|v 00000|0|0"},
      {{7, 2, 0, 0, 0, 5, 10}, "v 0|v 5.10|5.1|UnitedKingdom|7|v 100000|100000|1000|v 00000|0|0"},  // first match
      {{8, 2, 0, 0, 0, 3, -2}, "v 0|v 3.-2|3|NoUnderscore|8|v 100000|100000|1000|v 00000|0|0"},
      // Not in the catalogue: a text of its own, never another field's text.
      {{9, 2, 0, 0, 0, 1, 6}, "v 0|v 1.6|1.6|Area 9|9|v 100000|100000|1000|v 00000|0|0"},
      // A database number below zero fails the test: the device pages are not added.
      {{-3, -9, 3, 15}, "v 0|v 0.0|0|Area -3|-3|v -10315|-9685|-1315|v 00000|0|0"},
      {{2, -8, 0, 0}, "v 0|v 0.0|0|Europe|2|v 00000|0|0|v 00000|0|0"},
      {{2, 2, -3, 1}, "v 0|v 0.0|0|Europe|2|v 10-301|99701|10|v 00000|0|0"}};  // the number stops at "-"
  for (const auto& [reply, expected] : cases)
    EXPECT_EQ(Dump(UnitVersionInfo::FromReply(reply, catalogue)), QString::fromLatin1(expected)) << expected;
  // A reply shorter than the 12 bytes gives nothing.
  EXPECT_EQ(UnitVersionInfo::FromReply(std::array<std::int8_t, 4>{2, 2, 3, 15}, catalogue).strDBVersion, QString());
}
