#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>

#include "poi/PoiFile.h"
#include "poi/PoiMapLink.h"
#include "support/TestSupport.h"

namespace {

const QDateTime kMoment(QDate(2009, 3, 15), QTime(7, 45, 9));

PoiTexts Texts(const char* date, const char* time, const char* latitude, const char* longitude, const char* heading) {
  return {QString::fromUtf8(date), QString::fromUtf8(time), QString::fromUtf8(latitude),
          QString::fromUtf8(longitude), QString::fromUtf8(heading)};
}

const PoiTexts kParis = Texts("2009/03/15", "07:45", "48.85661", "2.35222", "270");
const PoiTexts kSydney = Texts("2023/12/31", "23:59", "-33.86785", "151.20732", "0");

QString WriteTemp(const QTemporaryDir& dir, const QByteArray& bytes) {
  const QString path = dir.filePath(QStringLiteral("import.txt"));
  EXPECT_TRUE(TestSupport::WriteFile(path, bytes));
  return path;
}

}  // namespace

TEST(PoiFile, NamesCountTheYearFrom2007) {
  EXPECT_EQ(PoiFile::ExportFileName(kMoment), QStringLiteral("POI_020315_074509.txt"));
  EXPECT_EQ(PoiFile::BackupFileName(kMoment), QStringLiteral("POI_SAVE_020315_074509.txt"));
  EXPECT_EQ(PoiFile::ExportFileName(QDateTime(QDate(2030, 12, 1), QTime(23, 0, 0))),
            QStringLiteral("POI_231201_230000.txt"));
}

TEST(PoiFile, LineHasFiveFieldsEachEndedByACommaThenCrLf) {
  EXPECT_EQ(PoiFile::FormatLine(kParis), QByteArray("2009/03/15,07:45,48.85661,2.35222,270,\r\n"));
}

TEST(PoiFile, FieldsOfALine) {
  EXPECT_EQ(PoiFile::ParseLine("2009/03/15,07:45,48.85661,2.35222,270,"), kParis);
  // The fifth field lacks its closing comma.
  EXPECT_EQ(PoiFile::ParseLine("2009/03/15,07:45,48.85661,2.35222,270").heading, QString());
  // Blanks stay; what follows the fifth comma is ignored.
  EXPECT_EQ(PoiFile::ParseLine("2009/03/15, 07:45, 48.85661, 2.35222, 270,extra,more"),
            Texts("2009/03/15", " 07:45", " 48.85661", " 2.35222", " 270"));
  EXPECT_EQ(PoiFile::ParseLine(""), PoiTexts{});
  EXPECT_EQ(PoiFile::ParseLine("a,b"), Texts("a", "", "", "", ""));
  EXPECT_EQ(PoiFile::ParseLine(",,,,,"), PoiTexts{});
}

TEST(PoiFile, ReadsEveryLine) {
  QTemporaryDir dir;
  const auto rows = PoiFile::Read(WriteTemp(
      dir, "2009/03/15,07:45,48.85661,2.35222,270,\r\n\r\n2023/12/31,23:59,-33.86785,151.20732,0,\n"
           "2010/01/01,00:00,1,2,3,"));
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 4);
  EXPECT_EQ(rows->at(0), kParis);
  EXPECT_EQ(rows->at(1), PoiTexts{});  // an empty line is a row of empty cells
  EXPECT_EQ(rows->at(2), kSydney);
  EXPECT_EQ(rows->at(3), Texts("2010/01/01", "00:00", "1", "2", "3"));
}

TEST(PoiFile, CrCrLfReadsLikeCrLf) {
  QTemporaryDir dir;
  const auto crlf = PoiFile::Read(WriteTemp(dir, "2009/03/15,07:45,48.85661,2.35222,270,\r\n"
                                                 "2023/12/31,23:59,-33.86785,151.20732,0,\r\n"));
  const auto crcrlf = PoiFile::Read(WriteTemp(dir, "2009/03/15,07:45,48.85661,2.35222,270,\r\r\n"
                                                   "2023/12/31,23:59,-33.86785,151.20732,0,\r\r\n"));
  ASSERT_TRUE(crlf && crcrlf);
  EXPECT_EQ(*crlf, *crcrlf);
  EXPECT_EQ(crlf->size(), 2);
}

TEST(PoiFile, EmptyAndMissingFiles) {
  QTemporaryDir dir;
  const auto empty = PoiFile::Read(WriteTemp(dir, ""));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->isEmpty());
  EXPECT_FALSE(PoiFile::Read(dir.filePath(QStringLiteral("missing.txt"))));
  EXPECT_FALSE(PoiFile::Read(dir.path()));  // a folder is no file
  // A 1 GB file (sparse: nothing is written) is refused at once, unread.
  QFile huge(dir.filePath(QStringLiteral("huge.txt")));
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 30));
  huge.close();
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(PoiFile::Read(huge.fileName()));
  EXPECT_LT(clock.elapsed(), 1000);
}

TEST(PoiFile, ExportWritesTheNonEmptySlotsInOrder) {
  QTemporaryDir dir;
  PoiRecordTable table;
  table.Slot(0) = EncodePoiRecord(kParis);
  table.Slot(2) = EncodePoiRecord(kSydney);
  table.Slot(3) = EncodePoiRecord(kParis);  // beyond the count: not exported
  const QList<PoiTexts> rows = ExportPoiFile(dir.path(), kMoment, table, 3);
  EXPECT_EQ(rows, (QList<PoiTexts>{kParis, kSydney}));
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(QStringLiteral("POI_020315_074509.txt"))),
            PoiFile::FormatLine(kParis) + PoiFile::FormatLine(kSydney));
}

TEST(PoiFile, ExportOfNothingLeavesAnEmptyFile) {
  QTemporaryDir dir;
  EXPECT_TRUE(ExportPoiFile(dir.path(), kMoment, PoiRecordTable{}, 0).isEmpty());
  const QString path = dir.filePath(QStringLiteral("POI_020315_074509.txt"));
  EXPECT_TRUE(QFileInfo::exists(path));
  EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST(PoiFile, ExportGoesOnWithoutAFolder) {
  PoiRecordTable table;
  table.Slot(0) = EncodePoiRecord(kParis);
  QTemporaryDir dir;
  EXPECT_EQ(ExportPoiFile(dir.filePath(QStringLiteral("no/such/folder")), kMoment, table, 1).size(), 1);
}

TEST(PoiFile, BackupConvertsEveryRowAndWritesItsLine) {
  QTemporaryDir dir;
  PoiRecordTable table;
  table.Slot(2) = EncodePoiRecord(kParis);
  const PoiTexts blanks = Texts(" 2009/03/15 ", " 07:45", " 48.85661", " 2.35222", " 270 ");
  const PoiConversion conversion = SavePoiBackup(dir.path(), kMoment, {kSydney, blanks}, table);
  EXPECT_EQ(conversion.result, PoiConversion::Done);
  EXPECT_EQ(table.Slot(0), EncodePoiRecord(kSydney));
  EXPECT_EQ(table.Slot(1), EncodePoiRecord(kParis));   // blanks mean nothing to the record
  EXPECT_EQ(table.Slot(2), EncodePoiRecord(kParis));   // slots beyond the rows keep what they held
  EXPECT_EQ(TestSupport::ReadFile(dir.filePath(QStringLiteral("POI_SAVE_020315_074509.txt"))),
            PoiFile::FormatLine(kSydney) + PoiFile::FormatLine(blanks));
}

TEST(PoiFile, BackupRefusesRowsTheRecordCannotKeep) {
  QTemporaryDir dir;
  PoiRecordTable table;
  const PoiConversion conversion =
      SavePoiBackup(dir.path(), kMoment, {kParis, kSydney, Texts("2024/01/01", "07:45", "1", "2", "3")}, table);
  EXPECT_EQ(conversion.result, PoiConversion::BadRow);
  EXPECT_EQ(conversion.badRow, 2);
  EXPECT_TRUE(table.Slot(0).IsEmpty());  // nothing converted
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(PoiFile, BackupRefusesMoreRowsThanTheTableHolds) {
  QTemporaryDir dir;
  PoiRecordTable table;
  EXPECT_EQ(SavePoiBackup(dir.path(), kMoment, QList<PoiTexts>(101, kParis), table).result,
            PoiConversion::TooManyRows);
  EXPECT_TRUE(table.Slot(0).IsEmpty());
  EXPECT_EQ(SavePoiBackup(dir.path(), kMoment, QList<PoiTexts>(100, kParis), table).result, PoiConversion::Done);
  EXPECT_EQ(table.Slot(99), EncodePoiRecord(kParis));
}

TEST(PoiMapLink, AddressOfOnePoi) {
  EXPECT_EQ(PoiMapLink::MapUrl(u"48.85661"_qs, u"2.35222"_qs, u"270"_qs).toString(QUrl::FullyEncoded),
            QStringLiteral("http://www.v770.example/poi.asp?lat=48.85661&long=2.35222&head=270"));
}

TEST(PoiMapLink, TextsAreEncodedAndCannotChangeTheAddress) {
  const QUrl url = PoiMapLink::MapUrl(u"1&head=9#x"_qs, u" 2.5 "_qs, u"ü/?"_qs);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.host(), QStringLiteral("www.v770.example"));
  EXPECT_EQ(url.path(), QStringLiteral("/poi.asp"));
  EXPECT_FALSE(url.hasFragment());
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue(u"lat"_qs, QUrl::FullyDecoded), u"1&head=9#x"_qs);
  EXPECT_EQ(query.queryItemValue(u"long"_qs, QUrl::FullyDecoded), u" 2.5 "_qs);
  EXPECT_EQ(query.queryItemValue(u"head"_qs, QUrl::FullyDecoded), u"ü/?"_qs);
  EXPECT_EQ(query.allQueryItemValues(u"head"_qs).size(), 1);
}

TEST(PoiMapLink, OpenGoesThroughTheReplaceableOpener) {
  QList<QUrl> opened;
  PoiMapLink::SetOpener([&opened](const QUrl& url) { opened.append(url); });
  PoiMapLink::Open(QUrl(u"http://www.v770.example/poi.asp?lat=1&long=2&head=3"_qs));
  PoiMapLink::SetOpener({});
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0].query(), u"lat=1&long=2&head=3"_qs);
}
