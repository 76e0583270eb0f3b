// The update page's decisions as plain functions, from the catalogue lookups to the run's plan.
#include "UpdateTestSupport.h"
#include "text/ExtraTexts.h"
#include "update/UpdateRunPlan.h"

using namespace UpdateCatalogue;

namespace {

const QList<VersionEntry> kDB = {{0, "100412_Europe"}, {1, "100412_France"}, {3, "100330_Germany"}};
const QList<VersionEntry> kVoice = {{0, "10203_English"}, {1, "10203_French"}, {2, "10105_German"}};

UnitVersions Unit(int area, int db, int language, int voice, int fwMajor = 1, int fwMinor = 5) {
  return UnitVersions{area, db, fwMajor, fwMinor, voice, language};
}

TEST(CatalogueLookupTest, UnitVersionsEntriesAndPositions) {
  // Reply bytes are signed; only the database's first part travels minus 8.
  for (const auto& [reply, expected] : {std::pair(std::array<std::int8_t, 12>{4, 2, 3, 15, 7, 1, 10, 1, 2, 3, 0, 1},
                                                  std::array{4, 100315, 1, 10, 10203, 1}),
                                        std::pair(std::array<std::int8_t, 12>{-1, -10, 0, 0, 0, -1, 0, 0, 0, 0, 0, -2},
                                                  std::array{-1, -20000, -1, 0, 0, -2})}) {
    const UnitVersions u = UnitVersions::FromReply(reply.data());
    EXPECT_EQ((std::array{u.nDBArea, u.nDBVersion, u.nFWMajor, u.nFWMinor, u.nVoiceVersion, u.nVoiceLanguage}), expected);
  }
  EXPECT_EQ(std::pair(EntryVersion("100412_Europe_2"), EntryVersion("_Europe")), std::pair(100412, 0));
  // Position = catalogue index = area code - 2 (the voice language as it is), else the last.
  EXPECT_EQ(QList<int>({SelectUnitDBArea(kDB, Unit(3, 0, 0, 0)), SelectUnitDBArea(kDB, Unit(9, 0, 0, 0)),
                        SelectUnitDBArea({}, Unit(2, 0, 0, 0)), SelectUnitVoice(kVoice, Unit(2, 0, 1, 0)),
                        SelectUnitVoice(kVoice, Unit(2, 0, 7, 0))}),
            QList<int>({1, 3, -1, 1, 2}));
  // "_name" must stand after the first character; an empty name would match any "_".
  const QList<VersionEntry> list = {{0, "_Europe"}, {1, "100412_Europe"}};
  EXPECT_EQ(FindEntry(list, "Europe"), &list[1]);
  for (const char* name : {"", "europe", "Spain"}) EXPECT_EQ(FindEntry(list, name), nullptr) << name;
  // Other languages search with the language-1 name at the same position.
  const QStringList english = {"Europe", "France"};
  EXPECT_EQ(QStringList({CatalogueName(1, "Europe", {}, 0), CatalogueName(2, "Allemagne", english, 1),
                         CatalogueName(2, "Espagne", english, 2), CatalogueName(2, "Europe", english, -1)}),
            QStringList({"Europe", "France", "", ""}));
}

TEST(CheckPackageTest, SentWhenNewerChangedOrForcedAndFound) {
  struct Case { const char* name; bool changedOrForced; int unitVersion; bool found, send; };
  const Case cases[] = {{"Europe", false, 100411, true, true},  {"Europe", false, 100412, true, false},
                        {"Europe", true, 100412, true, true},   {"Germany", true, 200000, true, true},
                        {"Germany", false, -20000, true, true}, {"Spain", true, 0, false, false}};
  for (const Case& c : cases) {
    const PackageCheck check = CheckPackage(kDB, c.name, c.changedOrForced, c.unitVersion);
    EXPECT_EQ(std::tuple(check.bFound, check.bSend, check.strEntry.isEmpty()), std::tuple(c.found, c.send, !c.found))
        << c.name << " " << c.unitVersion;
  }
  EXPECT_EQ(CheckDBPackage(kDB, "Europe", false, true, Unit(2, 100412, 0, 0)).nServerVersion, 100412);
  EXPECT_EQ(std::pair(CheckVoicePackage(kVoice, "English", false, false, Unit(2, 0, 0, 10203)).bSend,
                      CheckVoicePackage(kVoice, "English", false, false, Unit(2, 0, 0, 10202)).bSend),
            std::pair(false, true));
  // Firmware versions compare major, then minor, as whole numbers.
  EXPECT_EQ(ParseFirmwareVersion(" 2 "), (FirmwareVersion{2, 0}));
  EXPECT_EQ(ParseFirmwareVersion("1.06"), (FirmwareVersion{1, 6}));
  struct Firmware { const char* latest; int major, minor; bool newer; };
  const Firmware firmwares[] = {{"1.10", 1, 9, true}, {"1.10", 1, 5, true}, {"1.9", 1, 10, false},
                                {"1.6", 1, 6, false},  {"2.0", 1, 99, true}, {"1.99", 2, 0, false}, {"", 0, 0, false}};
  for (const Firmware& f : firmwares)
    EXPECT_EQ(IsFirmwareNewer(f.latest, Unit(2, 0, 0, 0, f.major, f.minor)), f.newer) << f.latest;
}

TEST(EvaluateUpdatesTest, MarksAndTheEntriesThatMayBeSent) {
  struct Case {
    const char* what;
    UnitVersions unit;
    int dbPosition, voicePosition;
    const char *dbName, *voiceName;
    bool areaChanged, langChanged, force, updateDB, updateVoice, updateFW;
    const char *fileDB, *fileVoice;  // the entries that may be sent
  };
  // The unit: Europe (code 2) 100412, English 10203, firmware 1.5; the catalogue's is 1.6.
  const UnitVersions unit = Unit(2, 100412, 0, 10203);
  const Case cases[] = {
      {"up to date", unit, 0, 0, "Europe", "English", false, false, false, false, false, true, "", ""},
      {"forced", unit, 0, 0, "Europe", "English", false, false, true, true, true, true, "100412_Europe", "10203_English"},
      {"area and language picked", unit, 1, 2, "France", "German", true, true, false, true, true, true, "100412_France",
       "10105_German"},
      {"picked area without entry", unit, 2, 0, "Italy", "English", true, false, false, true, false, true, "", ""},
      // The unit's own area and language are missing: the last entries show, which nobody
      // chose, not even by forcing. The database stays marked (the run refuses), nothing is sent.
      {"unit's area unknown", Unit(20, 100000, 5, 10000), 3, 2, "Germany", "German", false, false, true, true, false,
       true, "", ""},
  };
  for (const Case& c : cases) {
    const EvaluateInputs in{&kDB,       &kVoice,       "1.6",         c.unit,        c.dbPosition, c.voicePosition,
                            c.dbName, c.voiceName, c.areaChanged, c.langChanged, c.force};
    const UpdateDecision d = EvaluateUpdates(in);
    EXPECT_EQ(std::tuple(d.bUpdateDB, d.bUpdateVoice, d.bUpdateFW), std::tuple(c.updateDB, c.updateVoice, c.updateFW))
        << c.what;
    EXPECT_EQ(QStringList({d.db.bSend ? d.db.strEntry : "", d.voice.bSend ? d.voice.strEntry : ""}),
              QStringList({c.fileDB, c.fileVoice}))
        << c.what;
  }
}

TEST(ZipListTest, LinesAndTheFile) {
  struct Case { const char* line; ZipListKey key; const char* value; };
  const Case cases[] = {{"FW_FNAME=fw 12.hdr", ZipListKey::FW, "fw12.hdr"},
                        {"FW_FNAME=a.hdr DB_FNAME=b.hdr", ZipListKey::DB, "a.hdrDB_FNAME=b.hdr"},
                        {"DB_FNAME = name.hdr", ZipListKey::DB, "name.hdr"},
                        {"VOICE_FNAME voice.hdr", ZipListKey::Voice, "VOICE_FNAMEvoice.hdr"},
                        {"comment = x", ZipListKey::None, ""}};
  for (const Case& c : cases) {
    const ZipListLine parsed = ParseZipListLine(c.line);
    EXPECT_EQ(parsed.key, c.key) << c.line;
    EXPECT_EQ(parsed.key == ZipListKey::None ? QString() : parsed.strValue, c.value) << c.line;
  }
  for (const char* name : {"", "a/../../b", ".."}) EXPECT_FALSE(IsSafeManualName(name)) << name;
  EXPECT_TRUE(IsSafeManualName("a/../b.hdr"));

  QTemporaryDir dir;
  const QString path = dir.filePath(QString::fromLatin1(kZipListFileName));
  EXPECT_FALSE(ReadZipList(path).has_value());
  ASSERT_TRUE(TestSupport::WriteFile(path, "V770 manual pack\r\nDB_FNAME = first.hdr\r\n\r\nDB_FNAME=db 2.hdr\r\n"
                                           "VOICE_FNAME=../../etc/passwd\nFW_FNAME=/tmp/fw.hdr\n"
                                           "FW_FNAME=sub/fw.hdr\nVOICE_FNAME = \r\n"));
  const auto list = ReadZipList(path);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(std::tuple(list->bDB, list->strDB, list->bVoice, list->bFW, list->strFW),
            std::tuple(true, QString("db2.hdr"), false, true, QString("sub/fw.hdr")));
  EXPECT_EQ(list->refused, (QStringList{"../../etc/passwd", "/tmp/fw.hdr"}));
  EXPECT_EQ(list->emptyNames, QStringList{"VOICE_FNAME"});  // said so, not called outside
}

TEST(RunPlanTest, RefusalsInOrderLocationsAndWhatIsSent) {
  AutoRunInputs in{false, false, false, "", "", "", "1.10", "ftp://h/down/FW/V770", "/tmp/work", 2, 2};
  QList<RunRefusal> refusals = {PlanAutoRun(in).refusal};  // each mark needs its entry, in this order
  in.bUpdateDB = in.bUpdateVoice = in.bUpdateFW = true;
  for (QString* entry : {&in.strFileDB, &in.strFileVoice, &in.strFWFile, static_cast<QString*>(nullptr)}) {
    refusals << PlanAutoRun(in).refusal;
    if (entry) *entry = "100412_Europe";
  }
  EXPECT_EQ(refusals, (QList{RunRefusal::NothingNewer, RunRefusal::NoDBEntry, RunRefusal::NoVoiceEntry,
                             RunRefusal::NoFWFile, RunRefusal::None}));
  in.strFileVoice = "10105_German";
  in.strFWFile = "V770 FW#2%";  // the address percent-encodes the file name
  const RunStart start = PlanAutoRun(in);
  const PackageLocations& at = start.plan.at;
  EXPECT_EQ(QStringList({at.strUrlDB, at.strUrlVoice, at.strUrlFW, at.strPathVoice}),
            QStringList({"ftp://h/down/FW/V770/DB/100412_Europe.hdr", "ftp://h/down/FW/V770/Voice/10105_German.hdr",
                         "ftp://h/down/FW/V770/FW/V770%20FW%232%25.hdr", "/tmp/work/10105_German.hdr"}));
  EXPECT_EQ(LocalPackagePath("/tmp/work/", "a"), "/tmp/work/a.hdr");
  for (const char* name : {"../x", "a\\b", ""}) EXPECT_EQ(LocalPackagePath("/tmp/work", name), "") << name;

  // The unit's next identification: a version, an area or a language other than the entry
  // sent was not taken (France's database of the same version stays when Europe's is refused).
  EXPECT_TRUE(PackagesNotTaken(start.plan, Unit(2, 100412, 2, 10105, 1, 10)).isEmpty());
  EXPECT_EQ(PackagesNotTaken(start.plan, Unit(2, 100411, 2, 10105, 1, 1)), (QList<int>{kPackageDB, kPackageFW}));
  EXPECT_EQ(PackagesNotTaken(start.plan, Unit(3, 100412, 0, 10105, 1, 10)), (QList<int>{kPackageDB, kPackageVoice}));
  UpdateRunPlan voiceOnly = start.plan;
  voiceOnly.bUpdateDB = voiceOnly.bUpdateFW = false;
  EXPECT_EQ(PackagesNotTaken(voiceOnly, Unit(2, 1, 2, 10203)), QList<int>{kPackageVoice});

  // A manual run sends the ticked packages, each of which needs its file name, and has
  // nothing to compare; a refusal that is no error message names the package.
  struct ManualCase { ManualRunInputs in; RunRefusal refusal; ExtraTextId text; };
  const ManualCase manualCases[] = {
      {{true, false, true, "db.hdr", "", "fw.hdr", "/w"}, RunRefusal::None, {}},
      {{false, false, false, "db.hdr", "v.hdr", "fw.hdr", "/w"}, RunRefusal::NothingTicked, {}},
      {{true, true, true, "", "v.hdr", ""}, RunRefusal::NoManualFileDB, ExtraTextId::UPDATE_NO_FILE_DB},
      {{true, true, false, "db.hdr", "", "fw.hdr"}, RunRefusal::NoManualFileVoice, ExtraTextId::UPDATE_NO_FILE_VOICE},
      {{false, false, true, "db.hdr", "v.hdr", ""}, RunRefusal::NoManualFileFW, ExtraTextId::UPDATE_NO_FILE_FW},
  };
  ErrorMessages errors;
  for (size_t i = 0; i < errors.size(); ++i) errors[i] = QString::number(i + 1);
  for (const ManualCase& c : manualCases) {
    const RunStart manual = PlanManualRun(c.in);
    EXPECT_EQ(manual.refusal, c.refusal) << c.in.strManualDB.toStdString();
    EXPECT_EQ(RefusalMessage(c.refusal, errors),
              c.refusal == RunRefusal::NothingTicked ? "5" : c.refusal == RunRefusal::None ? "" : ExtraText(c.text));
  }
  const RunStart ticked = PlanManualRun(manualCases[0].in);
  EXPECT_EQ(std::tuple(ticked.plan.bUpdateDB, ticked.plan.bUpdateVoice, ticked.plan.at.strPathDB, ticked.plan.at.strPathFW),
            std::tuple(true, false, QString("db.hdr"), QString("fw.hdr")));
  EXPECT_TRUE(PackagesNotTaken(ticked.plan, Unit(0, 0, 0, 0)).isEmpty());
}

}  // namespace
