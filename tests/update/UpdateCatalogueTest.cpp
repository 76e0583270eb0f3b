// The update page's decisions as plain functions where the page's tests do not reach (the
// manual pack's list is left to the manual update and the list's fuzz seeds).
#include "UpdateTestSupport.h"
#include "text/ExtraTexts.h"
#include "update/UpdateRunPlan.h"

using namespace UpdateCatalogue;

namespace {

UnitVersions Unit(int area, int db, int language, int voice, int fwMajor = 1, int fwMinor = 5) {
  return UnitVersions{area, db, fwMajor, fwMinor, voice, language};
}

TEST(CatalogueTest, RepliesNamesAndVersions) {
  // Reply bytes are signed; only the database's first part travels minus 8.
  using Reply = std::array<std::int8_t, 12>;
  const std::pair<Reply, std::array<int, 6>> replies[] = {
      {{4, 2, 3, 15, 7, 1, 10, 1, 2, 3, 0, 1}, {4, 100315, 1, 10, 10203, 1}},
      {{-1, -10, 0, 0, 0, -1, 0, 0, 0, 0, 0, -2}, {-1, -20000, -1, 0, 0, -2}}};
  for (const auto& [reply, expected] : replies) {
    const UnitVersions u = UnitVersions::FromReply(reply.data());
    EXPECT_EQ((std::array{u.nDBArea, u.nDBVersion, u.nFWMajor, u.nFWMinor, u.nVoiceVersion, u.nVoiceLanguage}),
              expected);
  }
  EXPECT_EQ(std::pair(EntryVersion("100412_Europe_2"), EntryVersion("_Europe")), std::pair(100412, 0));
  // "_name" must stand after the first character; an empty name would match any "_".
  const QList<VersionEntry> list = {{0, "_Europe"}, {1, "100412_Europe"}};
  EXPECT_EQ(FindEntry(list, "Europe"), &list[1]);
  for (const char* name : {"", "europe", "Spain"}) EXPECT_EQ(FindEntry(list, name), nullptr) << name;
  // An empty catalogue selects nothing; a position the English names lack has no name.
  EXPECT_EQ(SelectUnitDBArea({}, Unit(2, 0, 0, 0)), -1);
  EXPECT_EQ(CatalogueName(2, "Espagne", {"Europe", "France"}, 2), "");
  EXPECT_EQ(CatalogueName(2, "Europe", {"Europe"}, -1), "");
  // A voice newer than the unit's is sent.
  const QList<VersionEntry> voices = {{0, "10203_English"}};
  EXPECT_FALSE(CheckVoicePackage(voices, "English", false, false, Unit(2, 0, 0, 10203)).bSend);
  EXPECT_TRUE(CheckVoicePackage(voices, "English", false, false, Unit(2, 0, 0, 10202)).bSend);
  // Firmware versions compare major, then minor, as whole numbers.
  EXPECT_EQ(ParseFirmwareVersion(" 2 "), (FirmwareVersion{2, 0}));
  EXPECT_EQ(ParseFirmwareVersion("1.06"), (FirmwareVersion{1, 6}));
  const struct { const char* latest; int major, minor; bool newer; } firmwares[] = {
      {"1.10", 1, 9, true}, {"1.10", 1, 5, true},  {"1.9", 1, 10, false}, {"1.6", 1, 6, false},
      {"2.0", 1, 99, true}, {"1.99", 2, 0, false}, {"", 0, 0, false}};
  for (const auto& f : firmwares)
    EXPECT_EQ(IsFirmwareNewer(f.latest, Unit(2, 0, 0, 0, f.major, f.minor)), f.newer) << f.latest;
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
  EXPECT_EQ(start.plan.at.strUrlFW, "ftp://h/down/FW/V770/FW/V770%20FW%232%25.hdr");
  EXPECT_EQ(start.plan.at.strPathVoice, "/tmp/work/10105_German.hdr");
  EXPECT_EQ(LocalPackagePath("/tmp/work/", "a"), "/tmp/work/a.hdr");
  for (const char* name : {"../x", "a\\b", ""}) EXPECT_EQ(LocalPackagePath("/tmp/work", name), "") << name;

  // The unit's next identification: a version, an area or a language other than the entry
  // sent was not taken (France's database of the same version stays when Europe's is refused).
  EXPECT_TRUE(PackagesNotTaken(start.plan, Unit(2, 100412, 2, 10105, 1, 10)).isEmpty());
  EXPECT_EQ(PackagesNotTaken(start.plan, Unit(2, 100411, 2, 10105, 1)), QList<int>({kPackageDB, kPackageFW}));
  EXPECT_EQ(PackagesNotTaken(start.plan, Unit(3, 100412, 0, 10105, 1, 10)),
            QList<int>({kPackageDB, kPackageVoice}));
  UpdateRunPlan voiceOnly = start.plan;
  voiceOnly.bUpdateDB = voiceOnly.bUpdateFW = false;
  EXPECT_EQ(PackagesNotTaken(voiceOnly, Unit(2, 1, 2, 10203)), QList<int>{kPackageVoice});

  // A manual run sends the ticked packages, each of which needs its file name, and has
  // nothing to compare; a refusal that is no error message names the package.
  using enum RunRefusal;
  using enum ExtraTextId;
  ErrorMessages errors;
  for (size_t i = 0; i < errors.size(); ++i) errors[i] = QString::number(i + 1);
  const struct { ManualRunInputs in; RunRefusal refusal; QString message; } manualCases[] = {
      {{true, false, true, "db.hdr", "", "fw.hdr", "/w"}, None, ""},
      {{false, false, false, "db.hdr", "v.hdr", "fw.hdr", "/w"}, NothingTicked, "5"},
      {{true, true, true, "", "v.hdr", "", "/w"}, NoManualFileDB, ExtraText(UPDATE_NO_FILE_DB)},
      {{true, true, false, "db.hdr", "", "fw.hdr", "/w"}, NoManualFileVoice, ExtraText(UPDATE_NO_FILE_VOICE)},
      {{false, false, true, "db.hdr", "v.hdr", "", "/w"}, NoManualFileFW, ExtraText(UPDATE_NO_FILE_FW)},
  };
  for (const auto& c : manualCases) {
    EXPECT_EQ(PlanManualRun(c.in).refusal, c.refusal) << c.in.strManualDB.toStdString();
    EXPECT_EQ(RefusalMessage(c.refusal, errors), c.message);
  }
  EXPECT_TRUE(PackagesNotTaken(PlanManualRun(manualCases[0].in).plan, Unit(0, 0, 0, 0)).isEmpty());
}

}  // namespace
