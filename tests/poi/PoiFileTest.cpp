#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <ctime>
#include <tuple>

#include "poi/PoiFile.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiMapLink.h"
#include "poi/PoiRecord.h"
#include "support/TestSupport.h"

void PrintTo(const PoiTexts& p, std::ostream* os) {
  *os << (QStringList{p.date, p.time, p.latitude, p.longitude, p.heading}.join(u',')).toStdString();
}

namespace {

// Local times are those of Paris, which has summer time, so GPX and KML times really move.
const bool kParisTime = [] {
  qputenv("TZ", "Europe/Paris");
  tzset();
  return true;
}();

PoiTexts P(const char* date, const char* time, const char* latitude, const char* longitude, const char* heading) {
  return {QString::fromUtf8(date), QString::fromUtf8(time), QString::fromUtf8(latitude),
          QString::fromUtf8(longitude), QString::fromUtf8(heading)};
}

const QDateTime kMoment(QDate(2009, 3, 15), QTime(7, 45, 9));
const PoiTexts kParis = P("2009/03/15", "07:45", "48.85661", "2.35222", "270");
const PoiTexts kSydney = P("2023/12/31", "23:59", "-33.86785", "151.20732", "0");

// POIs the unit keeps: the extremes, then every year, both hemispheres, headings 0 to 511.
QList<PoiTexts> ValidPois(int count) {
  QList<PoiTexts> pois{P("2008/01/01", "00:00", "-90.00000", "-180.00000", "0"),
                       P("2023/12/31", "23:59", "90.00000", "180.00000", "511"),
                       P("2012/02/29", "12:00", "-0.00001", "0.00001", "256")};
  for (int i = static_cast<int>(pois.size()); i < count; ++i) {
    const int hour = i * 7 % 23 + (i * 7 % 23 >= 2);  // the hour the clocks skip in spring has no UTC time
    pois.append({QString::asprintf("%04d/%02d/%02d", 2008 + i % 16, 1 + i % 12, 1 + i * 5 % 28),
                 QString::asprintf("%02d:%02d", hour, i * 13 % 60), PoiDegreesText(i * 7919 % 18000001 / 1e5 - 90),
                 PoiDegreesText(i * 104729 % 36000001 / 1e5 - 180), QString::number(i * 37 % 512)});
  }
  return pois;
}

}  // namespace

TEST(PoiFile, Lines) {
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
}

TEST(PoiFile, ReadsEveryLine) {
  const QList<PoiTexts> rows{kParis, {}, kSydney, P("2010/01/01", "00:00", "1", "2", "3")};
  EXPECT_EQ(PoiFile::Parse("2009/03/15,07:45,48.85661,2.35222,270,\r\n\r\n2023/12/31,23:59,-33.86785,151.20732,0,\n"
                           "2010/01/01,00:00,1,2,3,"),
            rows);  // an empty line is a row of empty cells
  EXPECT_EQ(PoiFile::Parse("2009/03/15,07:45,48.85661,2.35222,270,\r\r\n2023/12/31,23:59,-33.86785,151.20732,0,\r\r\n"),
            (QList<PoiTexts>{kParis, kSydney}));  // CR CR LF reads like CR LF
  EXPECT_TRUE(PoiFile::Parse("").isEmpty());

  QTemporaryDir dir;
  const QString path = dir.filePath(u"import.txt"_qs);
  ASSERT_TRUE(TestSupport::WriteFile(path, PoiFile::FormatLine(kParis)));
  EXPECT_EQ(PoiFile::Read(path), QList<PoiTexts>{kParis});
  EXPECT_FALSE(PoiFile::Read(dir.filePath(u"missing.txt"_qs)));
  EXPECT_FALSE(PoiFile::Read(dir.path()));  // a folder is no file
}

// (A read of nothing leaves an empty file: the POI page's tests.)
TEST(PoiFile, ExportWritesTheNonEmptySlotsInOrder) {
  QTemporaryDir dir;
  PoiRecordTable table;
  table.Slot(0) = EncodePoiRecord(kParis);
  table.Slot(2) = EncodePoiRecord(kSydney);
  table.Slot(3) = EncodePoiRecord(kParis);  // beyond the count: not exported
  EXPECT_EQ(ExportPoiFile(dir.path(), kMoment, table, 3), (QList<PoiTexts>{kParis, kSydney}));
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(u"POI_020315_074509.txt"_qs)),  // the year counts from 2007
            PoiFile::FormatLine(kParis) + PoiFile::FormatLine(kSydney));
  // Without its folder the export goes on without the file.
  EXPECT_EQ(ExportPoiFile(dir.filePath(u"no/such/folder"_qs), kMoment, table, 1).size(), 1);
}

TEST(PoiFile, BackupConvertsEveryRowOrNone) {
  QTemporaryDir dir;
  PoiRecordTable table;
  table.Slot(2) = EncodePoiRecord(kParis);
  const PoiTexts bad = P("2024/01/01", "07:45", "1", "2", "3");
  const PoiConversion refused = SavePoiBackup(dir.path(), kMoment, {kParis, kSydney, bad}, table);
  EXPECT_EQ(refused.result, PoiConversion::BadRow);
  EXPECT_EQ(refused.badRow, 2);
  EXPECT_TRUE(table.Slot(0).IsEmpty());  // nothing converted (nor written: the POI page's tests)

  const PoiTexts blanks = P(" 2009/03/15 ", " 07:45", " 48.85661", " 2.35222", " 270 ");
  EXPECT_EQ(SavePoiBackup(dir.path(), kMoment, {kSydney, blanks}, table).result, PoiConversion::Done);
  EXPECT_EQ(table.Slot(0), EncodePoiRecord(kSydney));
  EXPECT_EQ(table.Slot(1), EncodePoiRecord(kParis));  // blanks mean nothing to the record
  EXPECT_EQ(table.Slot(2), EncodePoiRecord(kParis));  // slots beyond the rows keep what they held
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(u"POI_SAVE_020315_074509.txt"_qs)),
            PoiFile::FormatLine(kSydney) + PoiFile::FormatLine(blanks));
  EXPECT_EQ(SavePoiBackup(dir.path(), kMoment, QList<PoiTexts>(100, kParis), table).result, PoiConversion::Done);
  EXPECT_EQ(table.Slot(99), EncodePoiRecord(kParis));
}

TEST(PoiMapLink, TextsAreEncodedAndCannotChangeTheAddress) {
  EXPECT_EQ(PoiMapLink::MapUrl(u"48.85661"_qs, u"2.35222"_qs, u"270"_qs).toString(QUrl::FullyEncoded),
            u"http://www.v770.example/poi.asp?lat=48.85661&long=2.35222&head=270"_qs);
  const QUrl url = PoiMapLink::MapUrl(u"1&head=9#x"_qs, u" 2.5 "_qs, u"ü/?"_qs);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.host() + url.path(), u"www.v770.example/poi.asp"_qs);
  EXPECT_FALSE(url.hasFragment());
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue(u"lat"_qs, QUrl::FullyDecoded), u"1&head=9#x"_qs);
  EXPECT_EQ(query.queryItemValue(u"long"_qs, QUrl::FullyDecoded), u" 2.5 "_qs);
  EXPECT_EQ(query.allQueryItemValues(u"head"_qs, QUrl::FullyDecoded), QStringList{u"ü/?"_qs});
}

TEST(PoiFormats, EveryFormatGivesItsRowsBack) {
  const QList<PoiTexts> pois = ValidPois(10000);
  QTemporaryDir dir;
  for (PoiFormat format : kAllPoiFormats) {
    const QString path = dir.filePath(u"pois."_qs + PoiFormatName(format));
    ASSERT_EQ(WritePoiFile(path, format, pois).result, PoiWriteOutcome::Written);
    const PoiFileContent content = ReadPoiFile(path);
    EXPECT_EQ(content.format, format);
    EXPECT_EQ(content.pois, pois) << PoiFormatName(format).toStdString();
  }
}

TEST(PoiFormats, FilesOfOtherTools) {
  const std::tuple<const char*, PoiFormat, PoiImportReport> files[] = {
      {"garmin-waypoints.gpx", PoiFormat::Gpx,
       {6, 2, 1,  // no time; 2005; the same bridge 16 m on, 15 degrees round
        {P("2015/07/14", "10:30", "48.85661", "2.35222", "270"), P("2012/12/31", "03:05", "-33.86785", "151.20732", "0"),
         P("2023/12/31", "23:59", "43.29648", "5.36978", "511")}}},
      {"my-places.kml", PoiFormat::Kml,
       {4, 1, 0,  // undated; a path and a recorded drive are no POIs
        {P("2016/03/27", "01:45", "48.85837", "2.29448", "180"), P("2016/03/27", "03:15", "47.21837", "-1.55362", "91"),
         P("2019/06/01", "00:00", "-33.92490", "18.42410", "0")}}},
      {"spreadsheet.csv", PoiFormat::Csv,
       {5, 1, 1,  // 2007; the same bridge 12 m on
        {P("2009/03/15", "07:45", "48.85661", "2.35222", "270"), P("2023/12/31", "23:59", "-33.86785", "151.20732", "0"),
         P("2008/01/01", "00:00", "-0.50000", "-0.50000", "511")}}},
  };
  for (const auto& [name, format, report] : files) {
    const PoiFileContent content = ReadPoiFile(TestSupport::TestDataPath(u"poi/"_qs + QString::fromLatin1(name)));
    ASSERT_EQ(content.status, PoiFileContent::Read) << name;
    EXPECT_EQ(content.format, format) << name;
    EXPECT_EQ(SelectImportedPois({}, content.pois), report) << name;
  }
}

TEST(PoiFormats, RecognisedFromTheContent) {
  const QString csv = u"latitude;longitude;date;time;heading\r\n1,5;-2;2010-01-01;00:00;5"_qs;
  const QByteArray utf16Csv = "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(csv.utf16()), csv.size() * 2);
  const PoiFileContent::Status kRead = PoiFileContent::Read;
  const std::pair<QByteArray, PoiFileContent> cases[] = {
      {"", {kRead, PoiFormat::Text, {}, 0}},
      {"2009/03/15,07:45,48.85661,2.35222,270,\r\n",
       {kRead, PoiFormat::Text, {P("2009/03/15", "07:45", "48.85661", "2.35222", "270")}, 0}},
      {"date,time,latitude,longitude\n2009/03/15,07:45,48.85661,2.35222\n",
       {kRead, PoiFormat::Csv, {P("2009/03/15", "07:45", "48.85661", "2.35222", "0")}, 0}},
      {utf16Csv, {kRead, PoiFormat::Csv, {P("2010/01/01", "00:00", "1.50000", "-2.00000", "5")}, 0}},
      // A time without a zone is UTC; a latitude that is no number is passed on for the check.
      {" <gpx><wpt lat='1' lon='2'><time>2015-07-14T08:30:00</time></wpt><wpt lat='x' lon='2'/></gpx>",
       {kRead, PoiFormat::Gpx, {P("2015/07/14", "10:30", "1.00000", "2.00000", "0"), P("", "", "x", "2.00000", "0")}}},
      {"<?xml version='1.0'?>\n<gpx>\n<wpt lat='1' lon='2'>\n<time>2015-",
       {PoiFileContent::Malformed, PoiFormat::Gpx, {}, 4}},
      {"<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>\n<kml/>",
       {PoiFileContent::Malformed, PoiFormat::Kml, {}, 2}},
      {"<html><body>POIs</body></html>", {PoiFileContent::Unrecognised, PoiFormat::Text, {}, 0}},
      {QByteArray(PoiFile::kMaxFileBytes + 1, ','), {PoiFileContent::Unreadable, PoiFormat::Text, {}, 0}},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(ReadPoiContent(bytes), expected) << bytes.left(80).toStdString();
  }
}

TEST(PoiImportCheck, SkipsUnfitAndDuplicatePoisAndCountsThem) {
  const auto at = [](const char* latitude, const char* longitude, const char* heading) {
    return P("2015/07/14", "10:30", latitude, longitude, heading);
  };
  const PoiTexts here = at("48.00000", "2.00000", "350");
  const std::tuple<QList<PoiTexts>, QList<PoiTexts>, int, int, QList<PoiTexts>> cases[] = {  // list, file, report
      {{here}, {at("48.00022", "2.00000", "20")}, 0, 1, {}},  // 24.5 m, 30 degrees round the circle
      {{here}, {at("48.00023", "2.00000", "20")}, 0, 0, {at("48.00023", "2.00000", "20")}},  // 25.6 m
      {{here}, {at("48.00000", "2.00000", "21")}, 0, 0, {at("48.00000", "2.00000", "21")}},  // 31 degrees
      {{at("60.00000", "2.00000", "0")}, {at("60.00000", "2.00040", "0")}, 0, 1, {}},      // 22 m at 60 N
      {{at("0.00000", "179.99990", "0")}, {at("0.00000", "-179.99990", "0")}, 0, 1, {}},   // across the date line
      {{at("89.99990", "0.00000", "0")}, {at("89.99990", "180.00000", "0")}, 0, 1, {}},    // over the pole
      // Earlier in the file counts, a skipped POI does not, nor a list row the unit cannot keep.
      {{P("2024/01/01", "10:30", "48.00000", "2.00000", "350")},
       {here, at("48.00015", "2.00000", "350"), at("48.00030", "2.00000", "350"), at("91", "1", "1")},
       1, 1, {here, at("48.00030", "2.00000", "350")}},
  };
  for (const auto& [list, file, unfit, duplicates, added] : cases) {
    const PoiImportReport expected{static_cast<int>(file.size()), unfit, duplicates, added};
    EXPECT_EQ(SelectImportedPois(list, file), expected) << ::testing::PrintToString(file);
  }
}

TEST(PoiFormats, ExportTargetAndRefusals) {
  const QStringList filters = PoiSaveDialogFilter().split(u";;"_qs);
  ASSERT_EQ(filters.size(), 4);
  const std::tuple<const char*, QString, const char*, PoiFormat> targets[] = {
      {"a.GPX", filters[0], "a.GPX", PoiFormat::Gpx}, {"a", filters[2], "a.kml", PoiFormat::Kml},
      {"a.b", QString(), "a.b.txt", PoiFormat::Text}, {"a", filters[3], "a.csv", PoiFormat::Csv}};
  for (const auto& [chosen, filter, path, format] : targets) {
    const PoiExportTarget target = PoiExportTargetFor(QString::fromLatin1(chosen), filter);
    EXPECT_EQ(target.path, QString::fromLatin1(path));
    EXPECT_EQ(target.format, format) << chosen;
  }

  QTemporaryDir dir;
  const QList<PoiTexts> rows{P("2009/03/15", "07:45", "1", "2", "3"), P("2009/03/15", "7h45", "1", "2", "3")};
  const QString path = dir.filePath(u"out"_qs);
  const PoiWriteOutcome refused = WritePoiFile(path, PoiFormat::Kml, rows);
  EXPECT_EQ(refused.result, PoiWriteOutcome::BadRow);
  EXPECT_TRUE(PoiWriteErrorText(refused, path).startsWith(u"Row 2 "_qs));
  EXPECT_FALSE(QFile::exists(path));
  // The program's own file takes the rows as they stand, as its backup does.
  ASSERT_EQ(WritePoiFile(path, PoiFormat::Text, rows).result, PoiWriteOutcome::Written);
  EXPECT_EQ(TestSupport::ReadFile(path), PoiFile::FormatLine(rows[0]) + PoiFile::FormatLine(rows[1]));
  EXPECT_EQ(WritePoiFile(dir.filePath(u"no/such/folder"_qs), PoiFormat::Csv, {}).result,
            PoiWriteOutcome::CannotWrite);
}
