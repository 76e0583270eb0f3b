#include <gtest/gtest.h>

#include <QDate>
#include <climits>

#include "poi/LeadingNumber.h"
#include "poi/PoiRecord.h"

namespace {

PoiRecord Bytes(std::initializer_list<int> values) {
  PoiRecord record;
  std::size_t i = 0;
  for (int value : values) record.bytes[i++] = static_cast<std::uint8_t>(value);
  return record;
}

PoiTexts Texts(const char* date, const char* time, const char* latitude, const char* longitude, const char* heading) {
  return {QString::fromLatin1(date), QString::fromLatin1(time), QString::fromLatin1(latitude),
          QString::fromLatin1(longitude), QString::fromLatin1(heading)};
}

std::uint32_t LatitudeMagnitude(const PoiRecord& r) { return r.bytes[0] << 16 | r.bytes[1] << 8 | r.bytes[2]; }
std::uint32_t LongitudeMagnitude(const PoiRecord& r) {
  return ((r.bytes[11] >> 1) & 1u) << 24 | r.bytes[3] << 16 | r.bytes[4] << 8 | r.bytes[5];
}

// A record as the unit would hold it, built field by field.
PoiRecord Compose(int year, int month, int day, int hour, int minute, std::uint32_t latitude, bool south,
                  std::uint32_t longitude, bool west, int heading) {
  PoiRecord r;
  auto& b = r.bytes;
  b[0] = latitude >> 16;
  b[1] = latitude >> 8;
  b[2] = latitude;
  b[3] = longitude >> 16;
  b[4] = longitude >> 8;
  b[5] = longitude;
  b[6] = heading & 0xFF;
  b[7] = month << 4 | (year - 2008);
  b[8] = minute;
  b[9] = (hour & 3) << 6 | day;
  b[10] = ((hour >> 2) & 3) << 6 | 0x30;
  b[11] = ((hour >> 4) & 1) << 7 | (west ? 8 : 0) | (south ? 4 : 0) | ((longitude >> 24) & 1) << 1 | (heading >> 8);
  return r;
}

// Decoding gives texts the record keeps exactly, and encoding them gives the record back.
void ExpectRoundTrip(const PoiRecord& record) {
  const PoiTexts texts = DecodePoiRecord(record);
  ASSERT_TRUE(CheckPoiTexts(texts)) << texts.date.toStdString() << " " << texts.time.toStdString() << " "
                                    << texts.latitude.toStdString() << " " << texts.longitude.toStdString();
  ASSERT_EQ(EncodePoiRecord(texts), record) << texts.latitude.toStdString() << " " << texts.longitude.toStdString();
}

}  // namespace

TEST(PoiRecord, WholeRecordPacksEveryField) {
  const PoiRecord record = EncodePoiRecord(Texts("2009/03/15", "07:45", "48.85661", "2.35222", "270"));
  EXPECT_EQ(record, Bytes({0x4A, 0x8C, 0x9D, 0x03, 0x96, 0xD6, 0x0E, 0x31, 0x2D, 0xCF, 0x70, 0x01}));
  EXPECT_EQ(DecodePoiRecord(record), Texts("2009/03/15", "07:45", "48.85661", "2.35222", "270"));
}

TEST(PoiRecord, LatitudeMagnitudeAndSouthFlag) {
  const PoiRecord north = EncodePoiRecord(Texts("2009/03/15", "07:45", "48.85661", "0", "0"));
  EXPECT_EQ(LatitudeMagnitude(north), 4885661u);
  EXPECT_EQ(north.bytes[0], 0x4A);
  EXPECT_EQ(north.bytes[1], 0x8C);
  EXPECT_EQ(north.bytes[2], 0x9D);
  EXPECT_EQ(north.bytes[11] & 0x04, 0);
  EXPECT_EQ(DecodePoiRecord(north).latitude, QStringLiteral("48.85661"));

  // The product falls just below 3 386 785; rounding, not truncation, keeps the text.
  const PoiRecord south = EncodePoiRecord(Texts("2009/03/15", "07:45", "-33.86785", "0", "0"));
  EXPECT_EQ(LatitudeMagnitude(south), 3386785u);
  EXPECT_NE(south.bytes[11] & 0x04, 0);
  EXPECT_EQ(DecodePoiRecord(south).latitude, QStringLiteral("-33.86785"));

  EXPECT_EQ(DecodePoiRecord(EncodePoiRecord(Texts("2009/03/15", "07:45", "0.29", "0", "0"))).latitude,
            QStringLiteral("0.29000"));
}

TEST(PoiRecord, MoreThanFiveDecimalsRoundToTheNearest) {
  EXPECT_EQ(DecodePoiRecord(EncodePoiRecord(Texts("2009/03/15", "07:45", "48.856614", "-2.352226", "0"))).latitude,
            QStringLiteral("48.85661"));
  EXPECT_EQ(DecodePoiRecord(EncodePoiRecord(Texts("2009/03/15", "07:45", "48.856614", "-2.352226", "0"))).longitude,
            QStringLiteral("-2.35223"));
  // Rounded to nothing, a value keeps no sign.
  const PoiRecord tiny = EncodePoiRecord(Texts("2009/03/15", "07:45", "-0.000001", "-0.000004", "0"));
  EXPECT_EQ(tiny.bytes[11] & 0x0C, 0);
  EXPECT_EQ(DecodePoiRecord(tiny).latitude, QStringLiteral("0.00000"));
}

TEST(PoiRecord, LongitudeUsesBit24BeyondTwentyFourBits) {
  const PoiRecord sydney = EncodePoiRecord(Texts("2009/03/15", "07:45", "0", "151.20732", "0"));
  EXPECT_EQ(LongitudeMagnitude(sydney), 15120732u);
  EXPECT_EQ(sydney.bytes[11] & 0x02, 0);

  const PoiRecord east = EncodePoiRecord(Texts("2009/03/15", "07:45", "0", "180.00000", "0"));
  EXPECT_NE(east.bytes[11] & 0x02, 0);
  EXPECT_EQ(east.bytes[3], 0x12);
  EXPECT_EQ(east.bytes[4], 0xA8);
  EXPECT_EQ(east.bytes[5], 0x80);
  EXPECT_EQ(DecodePoiRecord(east).longitude, QStringLiteral("180.00000"));

  const PoiRecord west = EncodePoiRecord(Texts("2009/03/15", "07:45", "0", "-180.00000", "0"));
  EXPECT_EQ(west.bytes[11] & 0x0A, 0x0A);
  EXPECT_EQ(DecodePoiRecord(west).longitude, QStringLiteral("-180.00000"));
}

TEST(PoiRecord, HourSpreadOverThreeBytes) {
  const PoiRecord record = EncodePoiRecord(Texts("2009/03/15", "23:59", "0", "0", "0"));
  EXPECT_EQ(record.bytes[9] >> 6, 3);
  EXPECT_EQ(record.bytes[10] >> 6, 1);
  EXPECT_EQ(record.bytes[11] >> 7, 1);
  EXPECT_EQ(record.bytes[8], 59);
  EXPECT_EQ(record.bytes[10] & 0x3F, 0x30);
  EXPECT_EQ(DecodePoiRecord(record).time, QStringLiteral("23:59"));
}

TEST(PoiRecord, HeadingBit8) {
  const PoiRecord record = EncodePoiRecord(Texts("2009/03/15", "07:45", "0", "0", "511"));
  EXPECT_EQ(record.bytes[6], 0xFF);
  EXPECT_EQ(record.bytes[11] & 0x01, 1);
  EXPECT_EQ(DecodePoiRecord(record).heading, QStringLiteral("511"));
  EXPECT_EQ(EncodePoiRecord(Texts("2009/03/15", "07:45", "0", "0", "256")).bytes[6], 0);
}

TEST(PoiRecord, OnlyYears2008To2023Survive) {
  const PoiRecord y2024 = EncodePoiRecord(Texts("2024/01/02", "07:45", "0", "0", "0"));
  EXPECT_EQ(y2024.bytes[7] & 0x0F, 0);
  EXPECT_EQ(DecodePoiRecord(y2024).date, QStringLiteral("2008/01/02"));
  EXPECT_FALSE(CheckPoiTexts(Texts("2024/01/02", "07:45", "0", "0", "0")));

  // A two-digit year stops the packed number at its minus sign.
  EXPECT_NE(DecodePoiRecord(EncodePoiRecord(Texts("09/03/15", "07:45", "0", "0", "0"))).date,
            QStringLiteral("2009/03/15"));
}

TEST(PoiRecord, MalformedTextsNeverFailTheEncoding) {
  for (const PoiTexts& texts : {Texts("", "", "", "", ""), Texts("x/y/z", "a:b", "lat", "long", "head"),
                                Texts("99999999999999/9/9", "99999999:99999", "1e300", "-1e300", "-99999999999"),
                                Texts("/", ":", "nan", "inf", "-1"), Texts("2009", "07", "-", "+", " ")}) {
    const PoiRecord record = EncodePoiRecord(texts);
    EXPECT_EQ(record.bytes[10] & 0x3F, 0x30);
    EXPECT_FALSE(CheckPoiTexts(texts));
  }
}

TEST(PoiRecord, LeadingBlanksAreSkippedByThePacking) {
  EXPECT_EQ(EncodePoiRecord(Texts(" 2009/03/15", " 07:45", " 48.85661", " 2.35222", " 270")),
            EncodePoiRecord(Texts("2009/03/15", "07:45", "48.85661", "2.35222", "270")));
}

TEST(PoiRecord, DecodingIgnoresTheUnusedBits) {
  PoiRecord record = EncodePoiRecord(Texts("2015/06/12", "19:30", "-45.5", "-170.25", "300"));
  const PoiTexts texts = DecodePoiRecord(record);
  record.bytes[8] |= 0xC0;
  record.bytes[9] |= 0x20;
  record.bytes[10] ^= 0x3F;
  record.bytes[11] |= 0x70;
  EXPECT_EQ(DecodePoiRecord(record), texts);
}

TEST(PoiRecord, EmptySlot) {
  EXPECT_TRUE(PoiRecord{}.IsEmpty());
  EXPECT_FALSE(EncodePoiRecord(Texts("2008/01/01", "00:00", "0", "0", "0")).IsEmpty());  // byte 10 is never 0
}

TEST(PoiRecord, EveryDateSurvives) {
  for (QDate date(2008, 1, 1); date.year() <= 2023; date = date.addDays(1))
    ExpectRoundTrip(Compose(date.year(), date.month(), date.day(), 12, 0, 0, false, 0, false, 0));
}

TEST(PoiRecord, EveryTimeAndHeadingSurvives) {
  for (int hour = 0; hour < 24; ++hour)
    for (int minute = 0; minute < 60; ++minute)
      ExpectRoundTrip(Compose(2012, 2, 29, hour, minute, 100, true, 100, true, (hour * 60 + minute) % 512));
  for (int heading = 0; heading <= 511; ++heading)
    ExpectRoundTrip(Compose(2010, 10, 10, 10, 10, 0, false, 0, false, heading));
}

TEST(PoiRecord, LatitudesAndLongitudesSurviveInBothHemispheres) {
  // A stride through every magnitude, plus the limits; a prime stride meets every last digit.
  constexpr std::uint32_t kStride = 997;
  for (bool negative : {false, true}) {
    for (std::uint32_t m = 0; m <= 9000000; m += kStride)
      ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, m, negative && m, 0, false, 5));
    for (std::uint32_t m = 0; m <= 18000000; m += kStride)
      ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, 0, false, m, negative && m, 5));
    for (std::uint32_t m : {1u, 8999999u, 9000000u}) ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, m, negative, 0, false, 5));
    for (std::uint32_t m : {1u, 16777215u, 16777216u, 17999999u, 18000000u})
      ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, 0, false, m, negative, 5));
  }
}

TEST(PoiRecord, CheckAcceptsOnlyWhatTheRecordKeeps) {
  const PoiTexts good = Texts("2008/02/29", "7:05", "-90", "180.000", "0");
  EXPECT_TRUE(CheckPoiTexts(good));
  EXPECT_TRUE(CheckPoiTexts(Texts(" 2023/12/31 ", " 23:59", "+90.000004", "-180", "511")));
  EXPECT_TRUE(CheckPoiTexts(Texts("2009/3/5", "00:00", ".5", "5.", "+7")));

  const auto with = [&good](int field, const char* text) {
    PoiTexts texts = good;
    QString* fields[] = {&texts.date, &texts.time, &texts.latitude, &texts.longitude, &texts.heading};
    *fields[field] = QString::fromUtf8(text);
    return texts;
  };
  for (const char* date : {"2007/12/31", "2024/01/01", "2009/02/29", "2009/13/01", "2009/00/10", "2009/04/31",
                           "09/03/15", "2009-03-15", "2009/03", "", "2009/03/15x", "２００９/03/15"})
    EXPECT_FALSE(CheckPoiTexts(with(0, date))) << date;
  for (const char* time : {"24:00", "23:60", "07:5", "0745", "7", "", "-1:30", "07:45:00"})
    EXPECT_FALSE(CheckPoiTexts(with(1, time))) << time;
  for (const char* latitude : {"90.00001", "-90.00001", "abc", "12a", "", "1e1", "1.2.3", "-", "٣"})
    EXPECT_FALSE(CheckPoiTexts(with(2, latitude))) << latitude;
  for (const char* longitude : {"180.00001", "-180.000006", "east", ""})
    EXPECT_FALSE(CheckPoiTexts(with(3, longitude))) << longitude;
  for (const char* heading : {"512", "-1", "12.5", "", "x", "99999999999"})
    EXPECT_FALSE(CheckPoiTexts(with(4, heading))) << heading;
}

TEST(LeadingNumber, ReadsLikeTheCLibrary) {
  EXPECT_EQ(LeadingNumber::ToInt(u" \t12abc"), 12);
  EXPECT_EQ(LeadingNumber::ToInt(u"-7"), -7);
  EXPECT_EQ(LeadingNumber::ToInt(u"+5"), 5);
  EXPECT_EQ(LeadingNumber::ToInt(u"abc"), 0);
  EXPECT_EQ(LeadingNumber::ToInt(u""), 0);
  EXPECT_EQ(LeadingNumber::ToInt(u"99999999999999999999"), INT_MAX);
  EXPECT_EQ(LeadingNumber::ToInt(u"-99999999999999999999"), INT_MIN);
  EXPECT_DOUBLE_EQ(LeadingNumber::ToDouble(u" 3.5x"), 3.5);
  EXPECT_DOUBLE_EQ(LeadingNumber::ToDouble(u"-.5"), -0.5);
  EXPECT_DOUBLE_EQ(LeadingNumber::ToDouble(u"1,5"), 1.0);  // a comma is never a decimal point
  EXPECT_DOUBLE_EQ(LeadingNumber::ToDouble(u"x"), 0.0);
}
