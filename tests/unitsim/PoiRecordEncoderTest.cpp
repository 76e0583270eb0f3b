// The POI records the emulator seeds a unit with, and the demo unit built from them, read
// back with the program's own POI record code.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "poi/PoiRecord.h"
#include "support/TestSupport.h"
#include "unitsim/PoiRecordEncoder.h"

namespace {

PoiRecord ToProgramRecord(const QByteArray& bytes) {
  PoiRecord record;
  std::copy(bytes.begin(), bytes.end(), record.bytes.begin());
  return record;
}

}  // namespace

TEST(PoiRecordEncoder, RecordsAreWhatTheProgramReadsAndWrites) {
  const std::pair<PoiFields, PoiTexts> cases[] = {
      {{2009, 3, 15, 7, 45, 48.85661, 2.35222, 270}, {"2009/03/15", "07:45", "48.85661", "2.35222", "270"}},
      // 180 degrees west needs bit 24 of the longitude; 23:59 spreads the hour over three bytes.
      {{2023, 12, 31, 23, 59, -33.86785, -180.0, 0}, {"2023/12/31", "23:59", "-33.86785", "-180.00000", "0"}},
      {{2008, 1, 1, 16, 0, -90, 179.99999, 511}, {"2008/01/01", "16:00", "-90.00000", "179.99999", "511"}}};
  for (const auto& [fields, texts] : cases) {
    std::string error;
    const auto record = PoiRecordEncoder::Encode(fields, &error);
    ASSERT_TRUE(record) << error;
    const PoiRecord bytes = ToProgramRecord(QByteArray(reinterpret_cast<const char*>(record->data()), 12));
    EXPECT_EQ(DecodePoiRecord(bytes), texts) << texts.date.toStdString();
    EXPECT_EQ(EncodePoiRecord(texts), bytes) << texts.date.toStdString();  // byte for byte
  }
}

TEST(PoiRecordEncoder, RefusesWhatTheRecordCannotHold) {
  std::string error;
  for (const PoiFields& poi : {PoiFields{2024, 1, 1, 0, 0, 0, 0, 0}, PoiFields{2010, 13, 1, 0, 0, 0, 0, 0},
                               PoiFields{2010, 1, 1, 24, 0, 0, 0, 0}, PoiFields{2010, 1, 1, 0, 0, 90.00001, 0, 0},
                               PoiFields{2010, 1, 1, 0, 0, 0, 180.00001, 0}, PoiFields{2010, 1, 1, 0, 0, 0, 0, 512}})
    EXPECT_FALSE(PoiRecordEncoder::Encode(poi, &error)) << poi.year << "/" << poi.month << " " << poi.hour;
}

TEST(DemoUnitState, IsAFrenchUnitWithAHandfulOfPois) {
  const QByteArray text = TestSupport::ReadFile(TestSupport::BinPath("../data/demo-unit-state.json"));
  ASSERT_FALSE(text.isEmpty()) << "the build makes data/demo-unit-state.json";
  const QJsonObject state = QJsonDocument::fromJson(text).object();
  QString error;
  ASSERT_TRUE(UnitState::FromJson(state, &error)) << error.toStdString();
  EXPECT_TRUE(state["plugged"].toBool());
  EXPECT_EQ(state["version"][u"database"].toString(), "100315");
  int pois = 0;
  for (const QJsonValue& slot : state["poi"][u"slots"].toArray()) {
    const PoiRecord record = ToProgramRecord(QByteArray::fromHex(slot.toString().toLatin1()));
    if (record.IsEmpty()) continue;
    ++pois;
    const PoiTexts texts = DecodePoiRecord(record);
    EXPECT_TRUE(CheckPoiTexts(texts)) << texts.date.toStdString();
    // Mainland France.
    EXPECT_TRUE(texts.latitude.toDouble() > 42.3 && texts.latitude.toDouble() < 51.1) << texts.latitude.toStdString();
    EXPECT_TRUE(texts.longitude.toDouble() > -4.8 && texts.longitude.toDouble() < 8.3) << texts.longitude.toStdString();
    EXPECT_LT(texts.heading.toInt(), 360);
  }
  EXPECT_TRUE(pois >= 5 && pois <= 8) << pois;
  EXPECT_EQ(state["poi"][u"count"].toInt(), pois);
}
