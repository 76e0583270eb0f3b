#include <QFile>
#include <QUrlQuery>

#include "poi/PoiMapLink.h"
#include "PoiTestSupport.h"

namespace {

using PoiTest::Hex;
using PoiTest::P;

const QDateTime kMoment(QDate(2009, 3, 15), QTime(7, 45, 9));
const PoiTexts kParis = P("2009/03/15", "07:45", "48.85661", "2.35222", "270");
const PoiTexts kSydney = P("2023/12/31", "23:59", "-33.86785", "151.20732", "0");

}  // namespace

TEST(PoiFile, LinesAndFiles) {
  EXPECT_EQ(PoiFile::FormatLine(kParis), QByteArray("2009/03/15,07:45,48.85661,2.35222,270,\r\n"));
  const std::pair<const char*, PoiTexts> lines[] = {
      {"2009/03/15,07:45,48.85661,2.35222,270,", kParis},
      {"2009/03/15,07:45,48.85661,2.35222,270", P("2009/03/15", "07:45", "48.85661", "2.35222", "")},
      // Blanks stay; what follows the fifth comma is ignored.
      {"2009/03/15, 07:45, 48.85661, 2.35222, 270,extra,more",
       P("2009/03/15", " 07:45", " 48.85661", " 2.35222", " 270")},
      {"a,b", P("a", "", "", "", "")},
      {",,,,,", {}},
  };
  for (const auto& [line, fields] : lines) EXPECT_EQ(PoiFile::ParseLine(line), fields) << line;
  const QList<PoiTexts> rows{kParis, {}, kSydney, P("2010/01/01", "00:00", "1", "2", "3")};
  EXPECT_EQ(PoiFile::Parse("2009/03/15,07:45,48.85661,2.35222,270,\r\n\r\n2023/12/31,23:59,-33.86785,151.20732,0,\n"
                           "2010/01/01,00:00,1,2,3,"),
            rows);  // an empty line is a row of empty cells
  EXPECT_EQ(PoiFile::Parse("2009/03/15,07:45,48.85661,2.35222,270,\r\r\n2023/12/31,23:59,-33.86785,151.20732,0,\r\r\n"),
            (QList<PoiTexts>{kParis, kSydney}));  // CR CR LF reads like CR LF

  // A folder is no file; a file larger than any POI list is refused before it is read.
  QTemporaryDir dir;  // (a file read whole: every format's round trip)
  const QString huge = dir.filePath(u"huge.txt"_qs);
  ASSERT_TRUE(TestSupport::WriteFile(huge, "") && QFile::resize(huge, qint64(1) << 30));  // sparse
  for (const QString& unreadable : {dir.filePath(u"missing.txt"_qs), dir.path(), huge})
    EXPECT_EQ(ReadPoiFile(unreadable).status, PoiFileContent::Unreadable);
}

// (A read of nothing leaves an empty file: the POI page's tests.)
TEST(PoiFile, ExportWritesTheNonEmptySlotsInOrder) {
  QTemporaryDir dir;
  PoiRecordTable table;
  table.Slot(0) = EncodePoiRecord(kParis);
  table.Slot(2) = EncodePoiRecord(kSydney);
  table.Slot(3) = EncodePoiRecord(kParis);  // beyond the count: not exported
  QString written;
  EXPECT_EQ(ExportPoiFile(dir.path(), kMoment, table, 3, &written), (QList<PoiTexts>{kParis, kSydney}));
  EXPECT_EQ(written, u"POI_020315_074509.txt"_qs);  // the year counts from 2007
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(written)), PoiFile::FormatLine(kParis) + PoiFile::FormatLine(kSydney));
  // A second file within the same second replaces nothing.
  EXPECT_EQ(ExportPoiFile(dir.path(), kMoment, table, 1, &written).size(), 1);
  EXPECT_EQ(written, u"POI_020315_074509_2.txt"_qs);
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(written)), PoiFile::FormatLine(kParis));
  // Without its folder the export goes on without the file.
  EXPECT_EQ(ExportPoiFile(dir.filePath(u"no/such/folder"_qs), kMoment, table, 1, &written).size(), 1);
  EXPECT_TRUE(written.isEmpty());
}

TEST(PoiMapLink, TextsAreEncodedAndCannotChangeTheAddress) {
  EXPECT_EQ(PoiMapLink::MapUrl(u"48.85661"_qs, u"2.35222"_qs, u"270"_qs).toString(QUrl::FullyEncoded),
            u"http://www.v770.example/poi.asp?lat=48.85661&long=2.35222&head=270"_qs);
  const QUrl url = PoiMapLink::MapUrl(u"1&head=9#x"_qs, u" 2.5 "_qs, u"ü/?"_qs);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.host() + url.path(), u"www.v770.example/poi.asp"_qs);
  const QList<std::pair<QString, QString>> items{
      {u"lat"_qs, u"1&head=9#x"_qs}, {u"long"_qs, u" 2.5 "_qs}, {u"head"_qs, u"ü/?"_qs}};
  EXPECT_EQ(QUrlQuery(url).queryItems(QUrl::FullyDecoded), items);
}

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
      {at("48.856614", "-2.352226"), "4a8c9d0396d700312dcf7008", at("48.85661", "-2.35223")},
      {at("-0.000001", "-0.000004"), "00000000000000312dcf7000", at("0.00000", "0.00000")},  // no sign on nothing
      {at("0.00000", "151.20732"), "000000e6b95c00312dcf7000", {}},
      {at("0.00000", "180.00000"), "00000012a88000312dcf7002", {}},
      {at("0.00000", "-180.00000"), "00000012a88000312dcf700a", {}},
      {at("0.00000", "0.00000", "0", "23:59"), "00000000000000313bcf7080", {}},
      {at("0.00000", "0.00000", "511"), "000000000000ff312dcf7001", {}},
  };
  for (const auto& [texts, hex, decodedTexts] : cases) {
    const PoiRecord record = EncodePoiRecord(texts);
    EXPECT_EQ(Hex(record), QString::fromLatin1(hex)) << texts.latitude.toStdString();
    const PoiTexts decoded = decodedTexts == PoiTexts{} ? texts : decodedTexts;
    EXPECT_EQ(DecodePoiRecord(record), decoded) << hex;
    EXPECT_FALSE(record.IsEmpty());  // byte 10 is never 0
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
    }
  }
  // Degrees from another tool's file, however far out, come back as their own number.
  for (const auto& [degrees, text] : {std::pair{-9999.5, "-9999.50000"}, {23522.8, "23523"}, {235228.0, "235228"}, {-4.3e9, "-4300000000"}})
    EXPECT_EQ(PoiDegreesText(degrees), text);
}
