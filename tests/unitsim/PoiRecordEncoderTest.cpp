// The POI records the emulator seeds a unit with, and the demo unit built from them.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "support/TestSupport.h"
#include "unitsim/PoiRecordEncoder.h"

namespace {

UnitState::PoiRecord Encode(PoiFields poi) {
  std::string error;
  const auto record = PoiRecordEncoder::Encode(poi, &error);
  EXPECT_TRUE(record) << error;
  return record.value_or(UnitState::PoiRecord{});
}

// The record read back field by field, the way the program's list shows it.
struct Decoded {
  int year, month, day, hour, minute, heading;
  double latitude, longitude;
};

Decoded Decode(const UnitState::PoiRecord& r) {
  Decoded d{};
  d.year = (r[7] & 0x0F) + 2008;
  d.month = r[7] >> 4;
  d.day = r[9] & 0x1F;
  d.hour = 16 * (r[11] >> 7) + 4 * (r[10] >> 6) + (r[9] >> 6);
  d.minute = r[8] & 0x3F;
  d.latitude = (r[0] << 16 | r[1] << 8 | r[2]) * 0.00001 * ((r[11] & 0x04) ? -1 : 1);
  d.longitude = ((r[11] >> 1 & 1) << 24 | r[3] << 16 | r[4] << 8 | r[5]) * 0.00001 * ((r[11] & 0x08) ? -1 : 1);
  d.heading = (r[11] & 1) << 8 | r[6];
  return d;
}

}  // namespace

TEST(PoiRecordEncoder, PacksEveryFieldWhereTheUnitLooks) {
  const auto paris = Encode({2009, 3, 15, 7, 45, 48.85661, 2.35222, 270});
  EXPECT_EQ(paris[0], 0x4A);
  EXPECT_EQ(paris[1], 0x8C);
  EXPECT_EQ(paris[2], 0x9D);
  EXPECT_EQ(paris[6], 270 & 0xFF);
  EXPECT_EQ(paris[7], 0x31);  // March, 2009
  EXPECT_EQ(paris[10] & 0x3F, 0x30);
  EXPECT_EQ(paris[11], 0x01);  // heading bit 8 only
  const Decoded d = Decode(paris);
  EXPECT_EQ(d.year, 2009);
  EXPECT_EQ(d.day, 15);
  EXPECT_EQ(d.hour, 7);
  EXPECT_EQ(d.minute, 45);
  EXPECT_EQ(d.heading, 270);
  EXPECT_NEAR(d.longitude, 2.35222, 1e-9);

  // 180 degrees west needs bit 24 of the longitude; 23:59 spreads the hour over three bytes.
  const auto west = Encode({2023, 12, 31, 23, 59, -33.86785, -180.0, 0});
  EXPECT_EQ(west[3], 0x12);
  EXPECT_EQ(west[4], 0xA8);
  EXPECT_EQ(west[5], 0x80);
  EXPECT_EQ(west[9] >> 6, 3);
  EXPECT_EQ(west[10] >> 6, 1);
  EXPECT_EQ(west[11], 0x80 | 0x08 | 0x04 | 0x02);
  const Decoded w = Decode(west);
  EXPECT_EQ(w.hour, 23);
  EXPECT_EQ(w.year, 2023);
  // Rounded to the intended five decimals, not truncated below them.
  EXPECT_NEAR(w.latitude, -33.86785, 1e-9);
}

TEST(PoiRecordEncoder, RefusesWhatTheRecordCannotHold) {
  std::string error;
  EXPECT_FALSE(PoiRecordEncoder::Encode({2024, 1, 1, 0, 0, 0, 0, 0}, &error));
  EXPECT_FALSE(PoiRecordEncoder::Encode({2010, 13, 1, 0, 0, 0, 0, 0}, &error));
  EXPECT_FALSE(PoiRecordEncoder::Encode({2010, 1, 1, 24, 0, 0, 0, 0}, &error));
  EXPECT_FALSE(PoiRecordEncoder::Encode({2010, 1, 1, 0, 0, 90.00001, 0, 0}, &error));
  EXPECT_FALSE(PoiRecordEncoder::Encode({2010, 1, 1, 0, 0, 0, 180.00001, 0}, &error));
  EXPECT_FALSE(PoiRecordEncoder::Encode({2010, 1, 1, 0, 0, 0, 0, 512}, &error));
  EXPECT_TRUE(PoiRecordEncoder::Encode({2010, 1, 1, 0, 0, -90, 180, 511}, &error));
}

TEST(DemoUnitState, IsAFrenchUnitWithAHandfulOfPois) {
  const QByteArray text = TestSupport::ReadFile(TestSupport::BinPath("../data/demo-unit-state.json"));
  ASSERT_FALSE(text.isEmpty()) << "the build makes data/demo-unit-state.json";
  const QJsonObject state = QJsonDocument::fromJson(text).object();
  QString error;
  ASSERT_TRUE(UnitState::FromJson(state, &error)) << error.toStdString();

  EXPECT_TRUE(state["plugged"].toBool());
  EXPECT_EQ(state["speedUnit"].toInt(), 0);
  EXPECT_EQ(state["version"][u"reply"].toString(), "0302030f0701050102030000");
  EXPECT_EQ(state["version"][u"database"].toString(), "100315");

  int pois = 0;
  for (const QJsonValue& slot : state["poi"][u"slots"].toArray()) {
    const QByteArray bytes = QByteArray::fromHex(slot.toString().toLatin1());
    ASSERT_EQ(bytes.size(), 12);
    if (bytes == QByteArray(12, '\0')) continue;
    ++pois;
    UnitState::PoiRecord record;
    std::copy(bytes.begin(), bytes.end(), record.begin());
    const Decoded d = Decode(record);
    // Mainland France.
    EXPECT_GT(d.latitude, 42.3);
    EXPECT_LT(d.latitude, 51.1);
    EXPECT_GT(d.longitude, -4.8);
    EXPECT_LT(d.longitude, 8.3);
    EXPECT_GE(d.year, 2008);
    EXPECT_LE(d.year, 2023);
    EXPECT_GE(d.month, 1);
    EXPECT_LE(d.hour, 23);
    EXPECT_LT(d.heading, 360);
  }
  EXPECT_GE(pois, 5);
  EXPECT_LE(pois, 8);
  EXPECT_EQ(state["poi"][u"count"].toInt(), pois);
}
