#include <QFile>
#include <QUrlQuery>

#include "poi/PoiMapLink.h"
#include "PoiTestSupport.h"

namespace {

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
      {"", {}},
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

  QTemporaryDir dir;  // (a file read whole: every format's round trip)
  for (const QString& unreadable : {dir.filePath(u"missing.txt"_qs), dir.path()})  // a folder is no file
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
  EXPECT_FALSE(url.hasFragment());
  const QList<std::pair<QString, QString>> items{
      {u"lat"_qs, u"1&head=9#x"_qs}, {u"long"_qs, u" 2.5 "_qs}, {u"head"_qs, u"ü/?"_qs}};
  EXPECT_EQ(QUrlQuery(url).queryItems(QUrl::FullyDecoded), items);
}
