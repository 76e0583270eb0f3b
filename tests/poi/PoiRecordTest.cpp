#include <QDate>

#include "PoiTestSupport.h"

using PoiTest::Hex;
using PoiTest::P;

// Known records, the extremes of every field among them. (Every field's values back and forth:
// the POI page's reads of the valid POIs, every year, both hemispheres, headings 0 to 511.)
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
