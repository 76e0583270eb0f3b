#include <QDate>
#include <climits>

#include "poi/LeadingNumber.h"
#include "PoiTestSupport.h"

namespace {

using PoiTest::Hex;
using PoiTest::P;

// A record as the unit would hold it, built field by field.
PoiRecord Compose(int year, int month, int day, int hour, int minute, std::uint32_t latitude, bool south,
                  std::uint32_t longitude, bool west, int heading) {
  const std::uint8_t b[12] = {std::uint8_t(latitude >> 16), std::uint8_t(latitude >> 8), std::uint8_t(latitude),
                              std::uint8_t(longitude >> 16), std::uint8_t(longitude >> 8), std::uint8_t(longitude),
                              std::uint8_t(heading), std::uint8_t(month << 4 | (year - 2008)), std::uint8_t(minute),
                              std::uint8_t((hour & 3) << 6 | day), std::uint8_t(((hour >> 2) & 3) << 6 | 0x30),
                              std::uint8_t((hour >> 4) << 7 | (west ? 8 : 0) | (south ? 4 : 0) |
                                           ((longitude >> 24) & 1) << 1 | heading >> 8)};
  PoiRecord record;
  std::copy(std::begin(b), std::end(b), record.bytes.begin());
  return record;
}

// Decoding gives texts the record keeps exactly, and encoding them gives the record back.
void ExpectRoundTrip(const PoiRecord& record) {
  const PoiTexts texts = DecodePoiRecord(record);
  ASSERT_TRUE(CheckPoiTexts(texts)) << Hex(record).toStdString();
  ASSERT_EQ(Hex(EncodePoiRecord(texts)), Hex(record));
}

}  // namespace

TEST(PoiRecord, KnownRecords) {
  // Texts of 2009/03/15 07:45 (unless given).
  const auto at = [](const char* latitude, const char* longitude, const char* heading = "0",
                     const char* time = "07:45") { return P("2009/03/15", time, latitude, longitude, heading); };
  const std::tuple<PoiTexts, const char*, PoiTexts> cases[] = {  // texts, record, decoded texts (none: the same)
      {at("48.85661", "2.35222", "270"), "4a8c9d0396d60e312dcf7001", {}},
      {P(" 2009/03/15", " 07:45", " 48.85661", " 2.35222", " 270"), "4a8c9d0396d60e312dcf7001",
       at("48.85661", "2.35222", "270")},  // the packing skips leading blanks
      // The product falls just below 3 386 785: rounding, not truncation, keeps the text.
      {at("-33.86785", "0.00000"), "33ada100000000312dcf7004", {}},
      {at("0.29", "0"), "00714800000000312dcf7000", at("0.29000", "0.00000")},
      {at("48.856614", "-2.352226"), "4a8c9d0396d700312dcf7008", at("48.85661", "-2.35223")},
      {at("-0.000001", "-0.000004"), "00000000000000312dcf7000", at("0.00000", "0.00000")},  // no sign on nothing
      {at("0.00000", "151.20732"), "000000e6b95c00312dcf7000", {}},
      {at("0.00000", "180.00000"), "00000012a88000312dcf7002", {}},
      {at("0.00000", "-180.00000"), "00000012a88000312dcf700a", {}},
      {at("0.00000", "0.00000", "0", "23:59"), "00000000000000313bcf7080", {}},
      {at("0.00000", "0.00000", "511"), "000000000000ff312dcf7001", {}},
      {at("0.00000", "0.00000", "256"), "00000000000000312dcf7001", {}},
      {P("2024/01/02", "07:45", "0", "0", "0"), "00000000000000102dc27000",
       P("2008/01/02", "07:45", "0.00000", "0.00000", "0")},  // only 2008 to 2023 survive
      // A two-digit year stops the packed number at its minus sign.
      {P("09/03/15", "07:45", "0", "0", "0"), "00000000000000fb2dc07000",
       P("2019/15/00", "07:45", "0.00000", "0.00000", "0")},
  };
  for (const auto& [texts, hex, decodedTexts] : cases) {
    PoiRecord record = EncodePoiRecord(texts);
    EXPECT_EQ(Hex(record), QString::fromLatin1(hex)) << texts.latitude.toStdString();
    const PoiTexts decoded = decodedTexts == PoiTexts{} ? texts : decodedTexts;
    EXPECT_EQ(DecodePoiRecord(record), decoded) << hex;
    EXPECT_FALSE(record.IsEmpty());  // byte 10 is never 0
    // Decoding ignores the bits that carry nothing.
    for (const auto& [byte, bits] : {std::pair{8, 0xC0}, {9, 0x20}, {11, 0x70}}) record.bytes[byte] |= bits;
    record.bytes[10] ^= 0x3F;
    EXPECT_EQ(DecodePoiRecord(record), decoded) << hex;
  }
  EXPECT_TRUE(PoiRecord{}.IsEmpty());
}

TEST(PoiRecord, EveryFieldValueSurvives) {
  for (QDate date(2008, 1, 1); date.year() <= 2023; date = date.addDays(1))
    ExpectRoundTrip(Compose(date.year(), date.month(), date.day(), 12, 0, 0, false, 0, false, 0));
  for (int hour = 0; hour < 24; ++hour)
    for (int minute = 0; minute < 60; ++minute)
      ExpectRoundTrip(Compose(2012, 2, 29, hour, minute, 100, true, 100, true, (hour * 60 + minute) % 512));
  // A prime stride through every magnitude meets every last digit; then the limits, north and
  // south, east and west, with and without the heading's ninth bit beside longitude bit 24.
  std::vector<std::uint32_t> magnitudes{1, 8999999, 9000000, 16777215, 16777216, 17999999, 18000000};
  for (std::uint32_t m = 0; m <= 18000000; m += 997) magnitudes.push_back(m);
  for (bool negative : {false, true}) {
    for (std::uint32_t m : magnitudes) {
      if (m <= 9000000) ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, m, negative && m, 0, false, m % 512));
      ExpectRoundTrip(Compose(2020, 5, 5, 5, 5, 0, false, m, negative && m, 511 - m % 512));
    }
  }
}

TEST(PoiRecord, CheckAcceptsOnlyWhatTheRecordKeeps) {
  const PoiTexts good = P("2008/02/29", "7:05", "-90", "180.000", "0");
  EXPECT_TRUE(CheckPoiTexts(good));
  EXPECT_TRUE(CheckPoiTexts(P(" 2023/12/31 ", " 23:59", "+90.000004", "-180", "511")));
  EXPECT_TRUE(CheckPoiTexts(P("2009/3/5", "00:00", ".5", "5.", "+7")));
  const QStringList refused[] = {
      {u"2007/12/31"_qs, u"2024/01/01"_qs, u"2009/02/29"_qs, u"2009/13/01"_qs, u"2009/00/10"_qs, u"2009/04/31"_qs,
       u"09/03/15"_qs, u"2009-03-15"_qs, u"2009/03"_qs, u""_qs, u"2009/03/15x"_qs, u"２００９/03/15"_qs},
      {u"24:00"_qs, u"23:60"_qs, u"07:5"_qs, u"0745"_qs, u"7"_qs, u""_qs, u"-1:30"_qs, u"07:45:00"_qs},
      {u"90.00001"_qs, u"-90.00001"_qs, u"abc"_qs, u"12a"_qs, u""_qs, u"1e1"_qs, u"1.2.3"_qs, u"-"_qs, u"٣"_qs},
      {u"180.00001"_qs, u"-180.000006"_qs, u"east"_qs, u""_qs},
      {u"512"_qs, u"-1"_qs, u"12.5"_qs, u""_qs, u"x"_qs, u"99999999999"_qs}};
  for (int field = 0; field < 5; ++field) {
    for (const QString& text : refused[field]) {
      PoiTexts texts = good;
      *std::array{&texts.date, &texts.time, &texts.latitude, &texts.longitude, &texts.heading}[field] = text;
      EXPECT_FALSE(CheckPoiTexts(texts)) << text.toStdString();
      EncodePoiRecord(texts);  // never fails, whatever the texts
    }
  }
  for (const PoiTexts& texts : {P("99999999999999/9/9", "99999999:99999", "1e300", "-1e300", "-99999999999"),
                                P("/", ":", "nan", "inf", "-1"), P("2009", "07", "-", "+", " ")})
    EXPECT_EQ(EncodePoiRecord(texts).bytes[10] & 0x3F, 0x30);
  // Degrees from another tool's file, however far out, come back as their own number.
  for (const auto& [degrees, text] : {std::pair{-9999.5, "-9999.50000"}, {23522.8, "23523"}, {235228.0, "235228"}, {-4.3e9, "-4300000000"}})
    EXPECT_EQ(PoiDegreesText(degrees), text);
}

TEST(LeadingNumber, ReadsLikeTheCLibrary) {
  const std::tuple<const char16_t*, int, double> cases[] = {
      {u" \t12abc", 12, 12.0}, {u"-7", -7, -7.0}, {u"+5", 5, 5.0},  {u"abc", 0, 0.0}, {u"", 0, 0.0},
      {u" 3.5x", 3, 3.5},      {u"-.5", 0, -0.5}, {u"1,5", 1, 1.0},  // never a decimal comma
      {u"99999999999999999999", INT_MAX, 1e20}, {u"-99999999999999999999", INT_MIN, -1e20}};
  for (const auto& [text, whole, number] : cases) {
    EXPECT_EQ(LeadingNumber::ToInt(text), whole) << QString::fromUtf16(text).toStdString();
    EXPECT_DOUBLE_EQ(LeadingNumber::ToDouble(text), number) << QString::fromUtf16(text).toStdString();
  }
}
