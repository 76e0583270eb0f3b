#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/TestSupport.h"
#include "text/UiTextTable.h"
#include "update/UpdateCatalogue.h"

using namespace UpdateCatalogue;

namespace {

QList<VersionEntry> Entries(std::initializer_list<std::pair<int, const char*>> items) {
  QList<VersionEntry> list;
  for (const auto& [index, text] : items) list.append({index, QString::fromLatin1(text)});
  return list;
}

UnitVersions UnitAt(int dbVersion, int voiceVersion, int fwMajor, int fwMinor, int area = 2,
                    int language = 0) {
  UnitVersions unit;
  unit.nDBArea = area;
  unit.nDBVersion = dbVersion;
  unit.nVoiceVersion = voiceVersion;
  unit.nFWMajor = fwMajor;
  unit.nFWMinor = fwMinor;
  unit.nVoiceLanguage = language;
  return unit;
}

}  // namespace

TEST(UnitVersionsTest, ReadsTheReplyBytesAsSignedNumbers) {
  const std::int8_t reply[12] = {4, 2, 3, 15, 7, 1, 10, 1, 2, 3, 0, 1};
  const UnitVersions unit = UnitVersions::FromReply(reply);
  EXPECT_EQ(unit.nDBArea, 4);
  EXPECT_EQ(unit.nDBVersion, 100315);  // first part sent minus 8
  EXPECT_EQ(unit.nFWMajor, 1);
  EXPECT_EQ(unit.nFWMinor, 10);
  EXPECT_EQ(unit.nVoiceVersion, 10203);  // no 8 added to the voice version
  EXPECT_EQ(unit.nVoiceLanguage, 1);

  const std::int8_t negative[12] = {-1, -10, 0, 0, 0, -1, 0, 0, 0, 0, 0, -2};
  const UnitVersions odd = UnitVersions::FromReply(negative);
  EXPECT_EQ(odd.nDBArea, -1);
  EXPECT_EQ(odd.nDBVersion, -20000);
  EXPECT_EQ(odd.nFWMajor, -1);
  EXPECT_EQ(odd.nVoiceLanguage, -2);
}

TEST(EntryVersionTest, NumberBeforeTheFirstUnderscore) {
  EXPECT_EQ(EntryVersion(QStringLiteral("100412_Europe")), 100412);
  EXPECT_EQ(EntryVersion(QStringLiteral("100412_Europe_2")), 100412);
  EXPECT_EQ(EntryVersion(QStringLiteral("Europe")), 0);
  EXPECT_EQ(EntryVersion(QStringLiteral("_Europe")), 0);
}

TEST(SelectUnitTest, PositionIsTheCatalogueIndexOfTheUnitsCode) {
  const auto db = Entries({{0, "100412_Europe"}, {1, "100412_France"}, {3, "100330_Germany"}});
  EXPECT_EQ(SelectUnitDBArea(db, UnitAt(0, 0, 0, 0, /*area*/ 3)), 1);  // code 3 - 2
  EXPECT_EQ(SelectUnitDBArea(db, UnitAt(0, 0, 0, 0, 5)), 3);
  EXPECT_EQ(SelectUnitDBArea(db, UnitAt(0, 0, 0, 0, 9)), 3);  // no match: the last entry's index
  EXPECT_EQ(SelectUnitDBArea({}, UnitAt(0, 0, 0, 0, 2)), -1);

  const auto voice = Entries({{0, "10203_English"}, {1, "10203_French"}, {2, "10105_German"}});
  EXPECT_EQ(SelectUnitVoice(voice, UnitAt(0, 0, 0, 0, 2, /*language*/ 1)), 1);  // nothing subtracted
  EXPECT_EQ(SelectUnitVoice(voice, UnitAt(0, 0, 0, 0, 2, 7)), 2);
}

TEST(FindEntryTest, KeyMustStandAfterTheFirstCharacter) {
  const auto db = Entries({{0, "_Europe"}, {1, "100412_Europe"}});
  const VersionEntry* found = FindEntry(db, QStringLiteral("Europe"));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->nIndex, 1);

  EXPECT_EQ(FindEntry(Entries({{0, "_Europe"}}), QStringLiteral("Europe")), nullptr);
  EXPECT_EQ(FindEntry(db, QStringLiteral("Spain")), nullptr);
  // An empty name would make the key a lone "_", found in every entry.
  EXPECT_EQ(FindEntry(db, QString()), nullptr);
  // The search is case-sensitive, like the names in the catalogue.
  EXPECT_EQ(FindEntry(db, QStringLiteral("europe")), nullptr);
}

TEST(CheckPackageTest, NewerEqualForcedAndChanged) {
  const auto db = Entries({{0, "100412_Europe"}, {1, "100330_Germany"}});

  PackageCheck newer = CheckDBPackage(db, QStringLiteral("Europe"), false, false,
                                      UnitAt(100411, 0, 0, 0));
  EXPECT_TRUE(newer.bFound);
  EXPECT_TRUE(newer.bSend);
  EXPECT_EQ(newer.nServerVersion, 100412);
  EXPECT_EQ(newer.strEntry, QStringLiteral("100412_Europe"));

  PackageCheck equal = CheckDBPackage(db, QStringLiteral("Europe"), false, false,
                                      UnitAt(100412, 0, 0, 0));
  EXPECT_TRUE(equal.bFound);
  EXPECT_FALSE(equal.bSend);
  EXPECT_EQ(equal.nServerVersion, 100412);

  EXPECT_TRUE(CheckDBPackage(db, QStringLiteral("Europe"), false, /*force*/ true,
                             UnitAt(100412, 0, 0, 0))
                  .bSend);
  EXPECT_TRUE(CheckDBPackage(db, QStringLiteral("Germany"), /*changed*/ true, false,
                             UnitAt(200000, 0, 0, 0))
                  .bSend);

  // A unit with a negative version (odd reply bytes) is older than any entry.
  EXPECT_TRUE(CheckDBPackage(db, QStringLiteral("Germany"), false, false,
                             UnitAt(-20000, 0, 0, 0))
                  .bSend);

  PackageCheck missing = CheckDBPackage(db, QStringLiteral("Spain"), true, true,
                                        UnitAt(0, 0, 0, 0));
  EXPECT_FALSE(missing.bFound);
  EXPECT_FALSE(missing.bSend);
  EXPECT_TRUE(missing.strEntry.isEmpty());

  const auto voice = Entries({{0, "10203_English"}});
  EXPECT_FALSE(CheckVoicePackage(voice, QStringLiteral("English"), false, false,
                                 UnitAt(0, 10203, 0, 0))
                   .bSend);
  EXPECT_TRUE(CheckVoicePackage(voice, QStringLiteral("English"), false, false,
                                UnitAt(0, 10202, 0, 0))
                  .bSend);
}

TEST(CatalogueNameTest, OtherLanguagesSearchWithTheLanguageOneName) {
  const QStringList english = {QStringLiteral("Europe"), QStringLiteral("France")};
  EXPECT_EQ(CatalogueName(1, QStringLiteral("Europe"), {}, 0), QStringLiteral("Europe"));
  EXPECT_EQ(CatalogueName(2, QStringLiteral("Allemagne"), english, 1), QStringLiteral("France"));
  EXPECT_TRUE(CatalogueName(2, QStringLiteral("Espagne"), english, 2).isEmpty());
  EXPECT_TRUE(CatalogueName(2, QStringLiteral("Europe"), english, -1).isEmpty());

  // A French area name does not find the English catalogue entry; its English name does.
  const auto db = Entries({{0, "100412_Europe"}, {1, "100412_France"}});
  const QString shown = QStringLiteral("Europe (FR)");
  EXPECT_FALSE(CheckDBPackage(db, shown, true, false, UnitAt(0, 0, 0, 0)).bFound);
  const PackageCheck byEnglish =
      CheckDBPackage(db, CatalogueName(2, shown, english, 0), true, false, UnitAt(0, 0, 0, 0));
  EXPECT_EQ(byEnglish.strEntry, QStringLiteral("100412_Europe"));
}

TEST(FirmwareVersionTest, ComparedAsWholeNumbersMajorThenMinor) {
  EXPECT_EQ(ParseFirmwareVersion(QStringLiteral("1.10")), (FirmwareVersion{1, 10}));
  EXPECT_EQ(ParseFirmwareVersion(QStringLiteral(" 2 ")), (FirmwareVersion{2, 0}));
  EXPECT_EQ(ParseFirmwareVersion(QStringLiteral("1.06")), (FirmwareVersion{1, 6}));
  EXPECT_EQ(ParseFirmwareVersion(QString()), (FirmwareVersion{0, 0}));

  // "1.10" is newer than 1.9 and than 1.5 (a decimal reading would make it 1.1).
  EXPECT_TRUE(IsFirmwareNewer(QStringLiteral("1.10"), UnitAt(0, 0, 1, 9)));
  EXPECT_TRUE(IsFirmwareNewer(QStringLiteral("1.10"), UnitAt(0, 0, 1, 5)));
  EXPECT_FALSE(IsFirmwareNewer(QStringLiteral("1.9"), UnitAt(0, 0, 1, 10)));
  EXPECT_FALSE(IsFirmwareNewer(QStringLiteral("1.6"), UnitAt(0, 0, 1, 6)));
  EXPECT_TRUE(IsFirmwareNewer(QStringLiteral("2.0"), UnitAt(0, 0, 1, 99)));
  EXPECT_FALSE(IsFirmwareNewer(QStringLiteral("1.99"), UnitAt(0, 0, 2, 0)));
  // A catalogue without a firmware version never offers one.
  EXPECT_FALSE(IsFirmwareNewer(QString(), UnitAt(0, 0, 0, 0)));
}

TEST(EvaluateUpdatesTest, SetsTheThreeFlags) {
  const auto db = Entries({{0, "100412_Europe"}, {1, "100412_France"}});
  const auto voice = Entries({{0, "10203_English"}, {1, "10203_French"}});
  EvaluateInputs in;
  in.listDB = &db;
  in.listVoice = &voice;
  in.strFWVersion = QStringLiteral("1.10");
  in.unit = UnitAt(100412, 10203, 1, 9, /*area*/ 2, /*language*/ 0);
  in.nDBPosition = 0;
  in.strDBName = QStringLiteral("Europe");
  in.strVoiceName = QStringLiteral("English");

  UpdateDecision d = EvaluateUpdates(in);
  EXPECT_FALSE(d.bUpdateDB);
  EXPECT_FALSE(d.bUpdateVoice);
  EXPECT_TRUE(d.bUpdateFW);
  EXPECT_TRUE(d.db.bFound);

  in.strFWVersion = QStringLiteral("1.9");
  in.bForce = true;
  d = EvaluateUpdates(in);
  EXPECT_TRUE(d.bUpdateDB);
  EXPECT_TRUE(d.bUpdateVoice);
  EXPECT_TRUE(d.bUpdateFW);  // equal version, sent because forced
  EXPECT_EQ(d.voice.strEntry, QStringLiteral("10203_English"));
}

TEST(EvaluateUpdatesTest, AnotherAreaIsAlwaysMarkedEvenWithoutAnEntry) {
  const auto db = Entries({{0, "100412_Europe"}});
  EvaluateInputs in;
  in.listDB = &db;
  in.unit = UnitAt(100412, 0, 1, 0, /*area*/ 2);
  in.nDBPosition = 1;  // area code 3, not the unit's
  in.strDBName = QStringLiteral("France");

  const UpdateDecision d = EvaluateUpdates(in);
  EXPECT_TRUE(d.bUpdateDB);
  EXPECT_FALSE(d.db.bFound);  // the run then refuses with the missing-entry message
  EXPECT_FALSE(d.bUpdateVoice);
  EXPECT_FALSE(d.bUpdateFW);
}

TEST(PackageLocationsTest, UrlsAndLocalFiles) {
  const PackageLocations at =
      FormPackageLocations(QStringLiteral("ftp://127.0.0.1:2121/down/FW/V770"),
                           QStringLiteral("/tmp/work"), QStringLiteral("100412_Europe"),
                           QStringLiteral("10203_English"), QStringLiteral("V770_FW_v0110"));
  EXPECT_EQ(at.strUrlDB, QStringLiteral("ftp://127.0.0.1:2121/down/FW/V770/DB/100412_Europe.hdr"));
  EXPECT_EQ(at.strUrlVoice,
            QStringLiteral("ftp://127.0.0.1:2121/down/FW/V770/Voice/10203_English.hdr"));
  EXPECT_EQ(at.strUrlFW, QStringLiteral("ftp://127.0.0.1:2121/down/FW/V770/FW/V770_FW_v0110.hdr"));
  EXPECT_EQ(at.strPathDB, QStringLiteral("/tmp/work/100412_Europe.hdr"));
  EXPECT_EQ(at.strPathFW, QStringLiteral("/tmp/work/V770_FW_v0110.hdr"));

  EXPECT_EQ(LocalPackagePath(QStringLiteral("/tmp/work/"), QStringLiteral("a")),
            QStringLiteral("/tmp/work/a.hdr"));
  EXPECT_TRUE(LocalPackagePath(QStringLiteral("/tmp/work"), QStringLiteral("../x")).isEmpty());
  EXPECT_TRUE(LocalPackagePath(QStringLiteral("/tmp/work"), QStringLiteral("a\\b")).isEmpty());
  EXPECT_TRUE(LocalPackagePath(QStringLiteral("/tmp/work"), QString()).isEmpty());
}

TEST(ZipListTest, LinesKeysAndValues) {
  ZipListLine fw = ParseZipListLine(QStringLiteral("FW_FNAME=fw 12.hdr"));
  EXPECT_EQ(fw.key, ZipListKey::FW);
  EXPECT_EQ(fw.strValue, QStringLiteral("fw12.hdr"));

  ZipListLine both = ParseZipListLine(QStringLiteral("FW_FNAME=a.hdr DB_FNAME=b.hdr"));
  EXPECT_EQ(both.key, ZipListKey::DB);  // DB_FNAME is tried first, wherever it stands
  EXPECT_EQ(both.strValue, QStringLiteral("a.hdrDB_FNAME=b.hdr"));

  ZipListLine spaced = ParseZipListLine(QStringLiteral("DB_FNAME = name.hdr"));
  EXPECT_EQ(spaced.strValue, QStringLiteral("name.hdr"));
  ZipListLine noEquals = ParseZipListLine(QStringLiteral("VOICE_FNAME voice.hdr"));
  EXPECT_EQ(noEquals.key, ZipListKey::Voice);
  EXPECT_EQ(noEquals.strValue, QStringLiteral("VOICE_FNAMEvoice.hdr"));
  EXPECT_EQ(ParseZipListLine(QStringLiteral("comment = x")).key, ZipListKey::None);
}

TEST(ZipListTest, ReadsTheFileAndRefusesNamesOutsideTheFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QString::fromLatin1(kZipListFileName));
  EXPECT_FALSE(ReadZipList(path).has_value());

  ASSERT_TRUE(TestSupport::WriteFile(path, "V770 manual pack\r\n"
                                           "DB_FNAME = first.hdr\r\n"
                                           "\r\n"
                                           "DB_FNAME=db 2.hdr\r\n"
                                           "VOICE_FNAME=../../etc/passwd\n"
                                           "FW_FNAME=/tmp/fw.hdr\n"
                                           "FW_FNAME=sub/fw.hdr"));
  const auto list = ReadZipList(path);
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->bDB);
  EXPECT_EQ(list->strDB, QStringLiteral("db2.hdr"));  // the later line replaces the earlier
  EXPECT_FALSE(list->bVoice);
  EXPECT_TRUE(list->strVoice.isEmpty());
  EXPECT_TRUE(list->bFW);
  EXPECT_EQ(list->strFW, QStringLiteral("sub/fw.hdr"));  // below the folder is fine
  EXPECT_EQ(list->refused, (QStringList{QStringLiteral("../../etc/passwd"),
                                        QStringLiteral("/tmp/fw.hdr")}));

  EXPECT_FALSE(IsSafeManualName(QString()));
  EXPECT_FALSE(IsSafeManualName(QStringLiteral("a/../../b")));
  EXPECT_FALSE(IsSafeManualName(QStringLiteral("..")));
  EXPECT_TRUE(IsSafeManualName(QStringLiteral("a/../b.hdr")));
}

// The area and voice lists come as "count/name/.../": a missing final "/" leaves the last
// name empty.
TEST(NameListTest, LastNameNeedsItsSlash) {
  EXPECT_EQ(ParseListValue(QStringLiteral("3/A/B/C/")),
            (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
  EXPECT_EQ(ParseListValue(QStringLiteral("3/A/B/C")),
            (QStringList{QStringLiteral("A"), QStringLiteral("B"), QString()}));
}
