// POI files of map tools: what each format gives, what is written, which POIs join the
// list, and the exports as other tools see them: GPX and KML validated against their
// published schemas (xmllint, offline), every export read by GPSBabel. Local times are those
// of Paris (summer time), for this program and for GPSBabel alike, unless a case says otherwise.

#include <QProcess>
#include <QStringEncoder>
#include <cmath>
#include <ctime>

#include "../update/UpdateTestSupport.h"
#include "PoiTestSupport.h"
#include "poi/PoiConstants.h"

namespace {

using PoiTest::P;
using PoiTest::Rows;
using PoiTest::ValidPois;

const bool kParisTime = (qputenv("TZ", "Europe/Paris"), tzset(), true);
constexpr qint64 kJuly2015 = 1436862600;  // 2015-07-14T08:30:00Z, 10:30 in Paris

// How a file was taken: its status, format, rows for the list and error line.
using Outcome = std::tuple<PoiFileContent::Status, PoiFormat, QList<PoiTexts>, qint64>;
Outcome OutcomeOf(const PoiFileContent& content) {
  return {content.status, content.format, Rows(content), content.errorLine};
}
Outcome Refused(PoiFileContent::Status status) { return {status, PoiFormat::Text, {}, 0}; }
Outcome Read(PoiFormat format, const QList<PoiTexts>& rows) { return {PoiFileContent::Read, format, rows, 0}; }

const QList<PoiTexts> kPeerRows = ValidPois(64);
constexpr int kFullCircle = 360;

// Runs a peer tool; a failure, or a run that does not end, fails the test with its output.
void RunTool(const char* program, const QStringList& args) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QString::fromLatin1(program), args);
  const bool ended = process.waitForFinished(60000);
  EXPECT_TRUE(ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
      << program << ' ' << args.join(u' ').toStdString() << ": " << process.readAll().constData();
}

void GpsBabel(const QString& from, const QString& input, const QString& to, const QString& output) {
  RunTool("gpsbabel", {u"-i"_qs, from, u"-f"_qs, input, u"-o"_qs, to, u"-F"_qs, output});
}

QString Written(const QTemporaryDir& dir, PoiFormat format) {
  const QString path = dir.filePath(u"ours."_qs + PoiFormatName(format));
  EXPECT_EQ(WritePoiFile(path, format, kPeerRows).result, PoiWriteOutcome::Written);
  return path;
}

// A ZIP archive of the named items.
QByteArray Zip(const QList<std::pair<QString, QByteArray>>& items) {
  QTemporaryDir dir;
  const QString path = dir.filePath(u"a.zip"_qs);
  return UpdateTestSupport::MakeZip(path, items) ? TestSupport::ReadFile(path) : QByteArray();
}

}  // namespace

TEST(PoiFormats, EveryFormatGivesItsRowsBack) {
  const QList<PoiTexts> pois = ValidPois(10000);
  QTemporaryDir dir;
  for (PoiFormat format : kAllPoiFormats) {
    const QString path = dir.filePath(u"pois."_qs + PoiFormatName(format));
    ASSERT_EQ(WritePoiFile(path, format, pois).result, PoiWriteOutcome::Written);
    QList<PoiTexts> expected = pois;
    if (format == PoiFormat::Gpx) expected[1].longitude = u"-180.00000"_qs;  // GPX's name of the 180th meridian
    EXPECT_EQ(OutcomeOf(ReadPoiFile(path)), Read(format, expected)) << PoiFormatName(format).toStdString();
  }
}

TEST(PoiFormats, FilesOfOtherTools) {
  const std::tuple<const char*, PoiFormat, PoiImportReport> files[] = {
      {"garmin-waypoints.gpx", PoiFormat::Gpx,
       {6, 0, 1, 0, 2,  // the same bridge 16 m on, 15 degrees round; no time; 2005
        {P("2015/07/14", "10:30", "48.85661", "2.35222", "270"), P("2012/12/31", "03:05", "-33.86785", "151.20732", "0"),
         P("2008/01/01", "00:00", "44.83779", "-0.57918", "0"), P("2008/01/01", "00:00", "45.76404", "4.83566", "0"),
         P("2023/12/31", "23:59", "43.29648", "5.36978", "151")}}},  // a course of 511 goes round the circle
      {"my-places.kml", PoiFormat::Kml,
       {4, 0, 0, 0, 1,  // a path and a recorded drive are no POIs; a bare date is 00:00 UTC
        {P("2016/03/27", "01:45", "48.85837", "2.29448", "180"), P("2016/03/27", "03:15", "47.21837", "-1.55362", "91"),
         P("2019/06/01", "02:00", "-33.92490", "18.42410", "0"), P("2008/01/01", "00:00", "48.85000", "2.35000", "0")}}},
      {"spreadsheet.csv", PoiFormat::Csv,
       {5, 0, 1, 0, 1,  // the same bridge 12 m on; 2007
        {P("2009/03/15", "07:45", "48.85661", "2.35222", "270"), P("2023/12/31", "23:59", "-33.86785", "151.20732", "0"),
         P("2008/01/01", "00:00", "45.50000", "4.50000", "90"), P("2008/01/01", "00:00", "-0.50000", "-0.50000", "151")}}},
  };
  for (const auto& [name, format, report] : files) {
    const PoiFileContent content = ReadPoiFile(TestSupport::TestDataPath(u"poi/"_qs + QString::fromLatin1(name)));
    ASSERT_EQ(content.status, PoiFileContent::Read) << name;
    EXPECT_EQ(content.format, format) << name;
    EXPECT_EQ(SelectImportedPois({}, content.pois, PoiConstants::kSlotCount), report) << name;
  }
}

TEST(PoiFormats, RecognisedFromTheContent) {
  const QString line = u"2009/03/15,07:45,48.85661,2.35222,270,\r\n"_qs;
  const QByteArray utf16BeLine = QStringEncoder(QStringConverter::Utf16BE).encode(line);
  const PoiTexts kLine = P("2009/03/15", "07:45", "48.85661", "2.35222", "270");
  const PoiTexts kUndated = P("2008/01/01", "00:00", "1.00000", "2.00000", "0");
  const Outcome foreign = Refused(PoiFileContent::Foreign), unreadable = Refused(PoiFileContent::Unreadable);
  const QByteArray placemark = "<kml><Placemark><Point><coordinates>2,1</coordinates></Point></Placemark></kml>";
  const QByteArray other = "<kml><Placemark><Point><coordinates>4,3</coordinates></Point></Placemark></kml>";
  const std::pair<QByteArray, Outcome> cases[] = {
      // Nothing the program reads: blank, binary, another archive, other text.
      {"", foreign},
      {" \r\n\t\n", foreign},
      {QByteArray("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03+I-.\x01\x00", 18), foreign},  // gzip
      {"Dear user,\nthe cameras are listed below.\n", foreign},
      // The program's own file, also in UTF-16 without a byte-order mark.
      {line.toLatin1(), Read(PoiFormat::Text, {kLine})},
      {utf16BeLine, Read(PoiFormat::Text, {kLine})},
      {"x\n" + line.toLatin1() + ",,,,\n", Read(PoiFormat::Text, {P("", "", "", "", ""), kLine, {}})},
      // CSV: this program's, GPSBabel's unicsv (a local time in the gap moves on by it, a
      // course rounds round the circle), UTC columns, a date without time.
      {TestSupport::Utf16WithBom(u"latitude;longitude;date;time;heading\r\n1,5;-2;2010-01-01;00:00;5"_qs),
       Read(PoiFormat::Csv, {P("2010/01/01", "00:00", "1.50000", "-2.00000", "5")})},
      {"No,Latitude,Longitude,Name,Course,Date,Time\r\n1,48.856614,2.352222,\"A, B\",359.6,2019/03/31,02:30:00\r\n",
       Read(PoiFormat::Csv, {P("2019/03/31", "03:30", "48.85661", "2.35222", "0")})},
      {"lat;LONG;head;utc_d;utc_t\n1,5;-2;-10,4;2019-03-31;01:30\n",
       Read(PoiFormat::Csv, {P("2019/03/31", "03:30", "1.50000", "-2.00000", "350")})},
      {"Lng,Lat,Date,Time,heading,v770_direction\n2,1,2019/06/01,,40,400\n3,1,,,7,x\n",
       Read(PoiFormat::Csv, {P("2019/06/01", "00:00", "1.00000", "2.00000", "400"),
                             P("2008/01/01", "00:00", "1.00000", "3.00000", "7")})},
      // GPX: a time without a zone is UTC, a bare date 00:00 UTC; this program's heading
      // first, in `extensions` or straight in the waypoint; a course of 359.6 is 0.
      {" <gpx><wpt lat='1' lon='2'><time>2015-07-14T08:30:00</time><course>359.6</course></wpt>"
       "<wpt lat='1' lon='2'><time>2019-03-31</time></wpt><wpt lat='x' lon='2'/>"
       "<wpt lat='1' lon='2' xmlns:v='http://www.v770.example/xmlschemas/poi/1'><course>10</course>"
       "<extensions><v:heading>400</v:heading></extensions></wpt>"
       "<wpt lat='1' lon='2' xmlns:v='http://www.v770.example/xmlschemas/poi/1'><v:heading>7</v:heading></wpt>"
       "<wpt lat='1' lon='2'><extensions><heading>9</heading></extensions></wpt></gpx>",
       Read(PoiFormat::Gpx, {P("2015/07/14", "10:30", "1.00000", "2.00000", "0"),
                             P("2019/03/31", "01:00", "1.00000", "2.00000", "0"), P("2008/01/01", "00:00", "", "2.00000", "0"),
                             P("2008/01/01", "00:00", "1.00000", "2.00000", "400"),
                             P("2008/01/01", "00:00", "1.00000", "2.00000", "7"), kUndated})},
      // KML: this program's heading, else the icon's, else a view's; the first tuple.
      {"<kml><Placemark><LookAt><heading>-12.5</heading></LookAt><Style><IconStyle><heading>20</heading></IconStyle>"
       "</Style><ExtendedData><Data name='v770:heading'><value>450</value></Data></ExtendedData>"
       "<Point><coordinates> 2 , 1 ,5 3,4</coordinates></Point></Placemark>"
       "<Placemark><LookAt><heading>-12.5</heading></LookAt><Point><coordinates>2,1</coordinates></Point></Placemark>"
       "</kml>",
       Read(PoiFormat::Kml, {P("2008/01/01", "00:00", "1.00000", "2.00000", "450"),
                             P("2008/01/01", "00:00", "1.00000", "2.00000", "347")})},
      // Damaged XML: nothing is taken, the line is told.
      {"<?xml version='1.0'?>\n<gpx>\n<wpt lat='1' lon='2'>\n<time>2015-", {PoiFileContent::Malformed, PoiFormat::Gpx, {}, 4}},
      {"<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>\n<kml/>",
       {PoiFileContent::Malformed, PoiFormat::Kml, {}, 2}},
      // KMZ: its first KML document, unpacked within the size limit and its own folder.
      {Zip({{"files/icon.png", "\x89PNG"}, {"doc.KML", placemark}, {"more.kml", other}}),
       Read(PoiFormat::Kml, {P("2008/01/01", "00:00", "1.00000", "2.00000", "0")})},
      {Zip({{"../doc.kml", placemark}}), unreadable},  // a name that climbs out of its folder
      {Zip({{"doc.kml", QByteArray(PoiConstants::kMaxToolFileBytes + 1, ' ')}}), unreadable},
      {Zip({{"readme.txt", "2009/03/15,07:45,48.85661,2.35222,270,"}}), foreign},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(OutcomeOf(ReadPoiContent(bytes)), expected) << bytes.left(60).toStdString();
}

TEST(PoiImportCheck, SkipsUnfitAndDuplicatePoisKeepsTheUndatedAndFillsTheFreeSlots) {
  const auto at = [](double latitude, double longitude, int heading, qint64 time = kJuly2015) {
    return ToolPoi{latitude, longitude, time, heading};
  };
  const auto row = [](const ToolPoi& poi) { return ListTexts(poi, PoiLocalTime()); };
  const ToolPoi here = at(48, 2, 350);
  const ToolPoi undated = at(10, 10, 5, ToolPoi::kNoTime), late = at(20, 20, 5, 1924992000);  // 2031
  struct Case {
    QList<PoiTexts> list;
    std::vector<ToolPoi> file;
    int freeSlots;
    PoiImportReport report;
  };
  const Case cases[] = {
      {{row(here)}, {at(48.00022, 2, 20)}, 100, {1, 0, 1, 0, 0, {}}},  // 24.5 m, 30 degrees round the circle
      {{row(here)}, {at(48.00023, 2, 20)}, 100, {1, 0, 0, 0, 0, {row(at(48.00023, 2, 20))}}},  // 25.6 m
      {{row(here)}, {at(48, 2, 21)}, 100, {1, 0, 0, 0, 0, {row(at(48, 2, 21))}}},              // 31 degrees
      {{row(at(0, 179.9999, 0))}, {at(0, -179.9999, 0)}, 100, {1, 0, 1, 0, 0, {}}},             // the date line
      // Earlier in the file counts, a list row the unit cannot keep does not.
      {{P("2024/01/01", "10:30", "48.00000", "2.00000", "350")},
       {here, at(48.00015, 2, 350), at(48.0003, 2, 350)}, 100, {3, 0, 1, 0, 0, {row(here), row(at(48.0003, 2, 350))}}},
      // Only the place makes a POI unfit; no time, or one outside the unit's years, is 2008.
      {{}, {at(91, 1, 1), at(1, -180.00001, 1), at(std::nan(""), 1, 1), undated, late}, 100,
       {5, 3, 0, 0, 2, {P("2008/01/01", "00:00", "10.00000", "10.00000", "5"),
                        P("2008/01/01", "00:00", "20.00000", "20.00000", "5")}}},
      // The free slots take the first POIs kept; one beyond them still makes its duplicates.
      {{}, {here, at(10, 10, 0), at(10.0001, 10, 0), at(20, 20, 0)}, 1, {4, 0, 1, 2, 0, {row(here)}}},
  };
  for (const Case& c : cases) EXPECT_EQ(SelectImportedPois(c.list, c.file, c.freeSlots), c.report) << c.file.size();
}

TEST(PoiFormats, ExportTargetAndRefusals) {
  const QStringList filters = PoiSaveDialogFilter().split(u";;"_qs);
  const std::tuple<const char*, QString, const char*, PoiFormat> targets[] = {
      {"a.GPX", filters[0], "a.GPX", PoiFormat::Gpx}, {"a", filters[2], "a.kml", PoiFormat::Kml},
      {"a.b", QString(), "a.b.txt", PoiFormat::Text}, {"a", filters[3], "a.csv", PoiFormat::Csv}};
  for (const auto& [chosen, filter, path, format] : targets) {
    const PoiExportTarget target = PoiExportTargetFor(QString::fromLatin1(chosen), filter);
    EXPECT_EQ(target.path, QString::fromLatin1(path));
    EXPECT_EQ(target.format, format) << chosen;
  }
  QTemporaryDir dir;  // (a row the unit cannot keep: the page's export test)
  EXPECT_EQ(WritePoiFile(dir.filePath(u"no/such/folder"_qs), PoiFormat::Csv, {}).result,
            PoiWriteOutcome::CannotWrite);
}

// GPX and KML exports validate against their schemas. GPSBabel reads every POI of each
// export: the place to 0.00001 degree, the time to the second, and the heading where it keeps
// one (CSV as a course; GPX kept as written, so this program reads GPSBabel's GPX back whole).
TEST(PoiPeerTools, ExportsValidateAndGpsBabelReadsThem) {
  QTemporaryDir dir;
  // --nonet: the KML schema's imports are the copies beside it; a fetch would fail.
  for (const auto& [format, schema] : {std::pair{PoiFormat::Gpx, "gpx11.xsd"}, {PoiFormat::Kml, "ogckml22.xsd"}})
    RunTool("xmllint", {u"--nonet"_qs, u"--noout"_qs, u"--schema"_qs,
                        TestSupport::TestDataPath(u"schemas/"_qs + QLatin1String(schema)), Written(dir, format)});
  const QString babelCsv = dir.filePath(u"babel.csv"_qs);
  for (const auto& [format, babelFormat] :
       {std::pair{PoiFormat::Gpx, u"gpx"_qs}, {PoiFormat::Kml, u"kml"_qs}, {PoiFormat::Csv, u"unicsv"_qs}}) {
    GpsBabel(babelFormat, Written(dir, format), u"unicsv"_qs, babelCsv);
    QList<QByteArray> lines = TestSupport::ReadFile(babelCsv).trimmed().split('\n');
    ASSERT_EQ(lines.size(), kPeerRows.size() + 1) << babelFormat.toStdString();
    const QList<QByteArray> header = lines.takeFirst().trimmed().split(',');
    for (qsizetype r = 0; r < kPeerRows.size(); ++r) {
      const QList<QByteArray> values = lines[r].trimmed().split(',');
      const auto value = [&](const char* column) { return QString::fromLatin1(values.value(header.indexOf(column))); };
      EXPECT_NEAR(value("Latitude").toDouble(), kPeerRows[r].latitude.toDouble(), 1e-6) << r;
      EXPECT_NEAR(std::remainder(value("Longitude").toDouble() - kPeerRows[r].longitude.toDouble(), 360), 0, 1e-6) << r;
      EXPECT_EQ(value("Date") + u' ' + value("Time"), kPeerRows[r].date + u' ' + kPeerRows[r].time + u":00"_qs) << r;
      EXPECT_EQ(value("Course").toDouble(), format == PoiFormat::Csv ? kPeerRows[r].heading.toInt() % kFullCircle : 0)
          << r;
    }
  }
  GpsBabel(u"gpx"_qs, dir.filePath(u"ours.gpx"_qs), u"gpx,gpxver=1.1"_qs, dir.filePath(u"babel.gpx"_qs));
  EXPECT_EQ(Rows(ReadPoiFile(dir.filePath(u"babel.gpx"_qs))), Rows(ReadPoiFile(dir.filePath(u"ours.gpx"_qs))));
}
