// The update page driven as a user would, against an emulated unit and a loopback FTP server.
#include "UpdatePageFixture.h"
#include "update/UnzipArchive.h"
#include "update/UnzipManualPack.h"
#include "widgets/TextProgressBar.h"

using namespace UpdateTestSupport;
using TestSupport::WaitUntil;
using TestSupport::WriteFile;
using UpdatePageTest = UpdatePageFixture;
using enum ExtraTextId;

namespace {

TEST_F(UpdatePageTest, AutoModeMarksWhatIsNewerThanTheUnit) {
  // The unit's reply, the language, forced; database and firmware marked (never the voice
  // here); the area shown and the entry that may be sent; Update's error message, if any.
  const std::tuple<Reply, int, bool, bool, bool, const char*, const char*, int> cases[] = {
      // Database 100412 > 100411 and firmware 1.6 > 1.5; the voice 10203 is the unit's.
      {kUnitReply, 1, false, true, true, "Europe", "100412_Europe", 0},
      // Up to date, with French names shown (the catalogue is searched with the English ones).
      {{4, 2, 3, 30, 7, 1, 6, 1, 2, 3, 0, 1}, 2, false, false, false, "Allemagne", "", 9},
      // Its own area is not in the catalogue: the last one shows, marked, but nobody chose it,
      // not even by forcing (nor the last voice, its language unknown too).
      {{20, 2, 0, 0, 7, 1, 6, 1, 2, 3, 0, 0}, 1, false, true, false, "Spain", "", 6},
      {{20, 2, 0, 0, 7, 1, 6, 1, 2, 3, 0, 5}, 1, true, true, true, "Spain", "", 6},
  };
  for (const auto& [reply, language, force, db, fw, area, fileDB, refusal] : cases) {
    SCOPED_TRACE(std::string(area) + (force ? ", forced" : ""));
    Renew();
    Sheet().m_nLanguageID = language;
    SetUnitReply(reply);
    CDBUpdateTab& page = OpenPage();
    if (force) page.m_checkForce->click();
    EXPECT_EQ(std::tuple(page.m_bUpdateDB, page.m_bUpdateVoice, page.m_bUpdateFW, page.m_strFileVoice),
              std::tuple(db, false, fw, QString()));
    EXPECT_EQ(Lamps(), (std::array{db ? kOrange : kGreen, kGreen, fw ? kOrange : kGreen}));
    EXPECT_EQ(page.m_comboDB->currentText() + ' ' + page.m_strFileDB, QString(area) + ' ' + fileDB);
    EXPECT_EQ(std::pair(page.m_buttonUpdate->isEnabled(), m_messages), std::pair(db || fw, QStringList()));
    if (refusal) page.OnUpdateClicked();  // nothing newer, or no entry to send
    EXPECT_EQ(m_messages, refusal ? QStringList{Error(refusal)} : QStringList());
    EXPECT_FALSE(page.m_run.IsRunning() || (refusal && !force && page.m_buttonUpdate->isEnabled()));
    EXPECT_EQ(Sheet().m_pageMain.m_bBusy, !m_messages.isEmpty());  // a refusal keeps the poll paused
  }
}

// Forcing and picking mark their packages; the unit's own choice again unmarks them, and so
// does a replug of the unit.
TEST_F(UpdatePageTest, ChoicesMarkTheirPackagesUntilTheUnitIsPluggedInAgain) {
  ASSERT_TRUE(m_unit.Client().Set("db3", 12) && m_unit.Client().Set("fwminor", 6));  // as kUpToDate
  Sheet().m_nLanguageID = kLanguageFrench;
  SetUnitReply(kUpToDate);
  CDBUpdateTab& page = OpenPage();
  page.m_checkForce->click();
  EXPECT_TRUE(page.m_bForce && page.m_checkForce->isChecked() && page.m_buttonUpdate->isEnabled());
  EXPECT_EQ(Lamps(), (std::array{kOrange, kOrange, kOrange}));
  EXPECT_EQ(page.m_strFileDB + ' ' + page.m_strFileVoice, "100412_Europe 10203_English");
  Choose(page.m_comboVoice, 0);  // the unit's own again: everything is still to be sent
  Choose(page.m_comboDB, 0);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());
  page.m_checkForce->click();  // the marks of before come back
  EXPECT_FALSE(page.m_bForce || page.m_checkForce->isChecked());
  EXPECT_EQ(Lamps(), kAllGreen);
  Choose(page.m_comboDB, 2);  // Allemagne: the shown French name is not the unit's area
  Choose(page.m_comboVoice, 2);
  EXPECT_TRUE(page.m_bDBAreaChanged && page.m_bVoiceLangChanged && page.m_buttonUpdate->isEnabled());
  EXPECT_EQ(Lamps(), (std::array{kOrange, kOrange, kGreen}));
  page.EvaluateUpdates();
  EXPECT_EQ(page.m_strFileDB + ' ' + page.m_strFileVoice, "100330_Germany 10105_German");
  // Back to the unit's area: the voice choice still needs the button; then nothing does.
  Choose(page.m_comboDB, 0);
  EXPECT_FALSE(page.m_bDBAreaChanged || page.m_bUpdateDB || !page.m_buttonUpdate->isEnabled());
  Choose(page.m_comboVoice, 0);
  EXPECT_FALSE(page.m_bVoiceLangChanged || page.m_bUpdateVoice || page.m_buttonUpdate->isEnabled());
  EXPECT_EQ(Lamps(), kAllGreen);
  // An area and a language chosen while forced outlive the force: no green lamp for them.
  page.m_checkForce->click();
  Choose(page.m_comboDB, 2);
  Choose(page.m_comboVoice, 2);
  page.m_checkForce->click();
  EXPECT_EQ(Lamps(), (std::array{kOrange, kOrange, kGreen}));

  // Plugged in again, the unit's own choice comes back: nothing picked before is marked.
  Choose(page.m_comboDB, 1);
  Choose(page.m_comboVoice, 2);
  ASSERT_TRUE(page.m_bUpdateDB && page.m_bVoiceLangChanged);
  Sheet().m_pageMain.StartPollTimer(CMainTab::kPollPeriodMs);
  ASSERT_TRUE(m_unit.Client().Unplug());
  ASSERT_TRUE(WaitUntil([&] { return !Sheet().m_bUnitConnected; }, kRunTimeoutMs));
  ASSERT_TRUE(m_unit.Client().Plug() && IdentifiedWith("v 100412"));
  OpenPage();  // its window went with the unit
  EXPECT_EQ(std::pair(page.m_comboDB->currentIndex(), page.m_comboVoice->currentIndex()), std::pair(0, 0));
  EXPECT_FALSE(page.m_bDBAreaChanged || page.m_bVoiceLangChanged || page.m_bUpdateDB || page.m_bUpdateVoice);
  EXPECT_EQ(std::pair(Lamps(), page.m_buttonUpdate->isEnabled()), std::pair(kAllGreen, false));

  // An area without entry never sends the database of the area chosen before.
  Sheet().m_listDB.removeAt(1);  // no entry for France
  Choose(page.m_comboDB, 1);
  page.m_buttonUpdate->click();
  EXPECT_EQ(m_messages, QStringList{Error(6)});
  EXPECT_TRUE(!page.m_bUpdateDB && page.m_strFileDB.isEmpty() && !page.m_run.IsRunning());
  Sheet().SetLanguage(kLanguageEnglish);  // the lamps' state texts follow the language
  EXPECT_EQ(page.m_labelDBState->text() + page.m_labelFWState->text(), DBFW(2) + DBFW(2));
}

TEST_F(UpdatePageTest, ManualModeWithoutAUsablePack) {
  const QString pack = WorkFile(kManualPackFileName);
  const std::pair<std::function<bool()>, QString> cases[] = {
      {[] { return true; }, DBFW(10)},
      {[&] { return MakeZip(pack, {{"db.hdr", "d"}}); }, UpdateCatalogue::kZipListMissingMessage},
      {[&] { return TestSupport::WriteFile(pack, "no zip"); }, Sheet().Text(UiIndex(RESET_TAB_001, 18))},
  };
  for (const auto& [make, message] : cases) {
    Renew();
    ASSERT_TRUE(make());
    CDBUpdateTab& page = OpenPage();
    page.m_radioManual->click();
    EXPECT_EQ(m_messages.value(m_messages.size() - 1), message);
    // A pack that is no archive: the unpack dialog says why before the page says it failed.
    EXPECT_EQ(m_messages.size() == 2 && m_messages[0].startsWith(UnzipArchive::FormatMessage(ZR_NOTZIP)),
              &message == &cases[2].second);
    EXPECT_TRUE(page.m_nMode == CDBUpdateTab::kModeManual && page.m_labelDownloadPhase->isHidden());
    // Without a pack the run reads the auto radio; with one, the automatic marks are gone.
    const bool packThere = QFile::exists(pack);
    EXPECT_EQ(std::pair(page.m_radioAuto->isChecked(), page.m_buttonUpdate->isEnabled()),
              std::pair(!packThere, !packThere));
    EXPECT_TRUE(!packThere || Lamps() == kAllGreen);
  }
}

// The unit throws a corrupted database away: its next identification says so, not "complete".
// Sent again whole, it is taken; the unit then gone before telling its versions, the end
// message still comes, then the page says it could not check them, and nothing more.
TEST_F(UpdatePageTest, AutomaticUpdateNamesThePackageTheUnitDidNotTake) {
  Sheet().m_strFWFile = QStringLiteral("V770 FW#0106");  // reaches the server only percent-encoded
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", Sheet().m_strFWFile, Firmware(6, 40000)));
  StartServer(CorruptPackage(Database(60000)));
  CDBUpdateTab& page = OpenPage();
  QStringList phases;  // shown as each package starts going out
  QObject::connect(&page.m_run, &UpdateRun::sendStarted, [&] { phases << page.m_labelSendPhase->text(); });
  // The unit answers while the restart notice is still open: its verdict waits for it.
  int messagesWhileNoticeOpen = -1;
  m_whileMessageShown = [&] {
    if (messagesWhileNoticeOpen >= 0) return;
    EXPECT_TRUE(WaitUntil([&] { return !page.m_run.AwaitsUnitCheck(); }, kRunTimeoutMs));
    messagesWhileNoticeOpen = int(m_messages.size());
  };
  page.m_buttonUpdate->click();
  EXPECT_TRUE(Sheet().m_pageMain.m_bBusy && !Sheet().m_pageMain.IsPollTimerActive());
  ASSERT_TRUE(Told(2));
  // The end message with the firmware's restart advice; the verdict once the unit tells its versions.
  const QString notTaken = ExtraText(UPDATE_DB_NOT_TAKEN).arg("100412_Europe", "100411");
  EXPECT_EQ(m_messages, (QStringList{DBFW(19) + "\n" + Error(10), notTaken}));
  EXPECT_EQ(messagesWhileNoticeOpen, 1);
  m_whileMessageShown = nullptr;
  EXPECT_EQ(phases, QStringList({DBFW(16), DBFW(18)}));
  EXPECT_EQ(Received(m_unit), QStringList({"database 100412 refused", "firmware 1.6"}));
  const CMainTab& main = Sheet().m_pageMain;
  EXPECT_TRUE(WorkFiles().isEmpty() && !main.m_bBusy && main.IsPollTimerActive());
  EXPECT_FALSE(page.m_bUpdateVoice || page.m_bUpdateFW || page.m_bForce);
  EXPECT_EQ(Lamps(), (std::array{kOrange, kGreen, kGreen}));
  EXPECT_EQ(std::tuple(page.m_buttonUpdate->isEnabled(), page.m_progress->GetPos(), page.m_nMode),
            std::tuple(true, 0, int(CDBUpdateTab::kModeAuto)));

  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", "100412_Europe", Database(60000)));
  page.m_run.SetUnitCheckTimeoutMs(2000);
  QObject::connect(&page.m_run, &UpdateRun::progressChanged, [&](int value) {
    if (value == UpdateRun::kProgressFull) m_unit.Client().Unplug();  // the last chunk is written
  });
  m_messages.clear();
  ASSERT_TRUE(UpdateAndTold(1));
  EXPECT_EQ(std::pair(m_messages, page.m_labelSendPhase->text()),
            std::pair(QStringList{DBFW(19)}, ExtraText(UPDATE_CHECKING_UNIT)));
  ASSERT_TRUE(Told(2));
  EXPECT_EQ(m_messages[1], ExtraText(UPDATE_UNIT_NOT_CHECKED).arg(30));
  EXPECT_TRUE(page.m_labelSendPhase->text().isEmpty() && !page.m_run.AwaitsUnitCheck());
  ASSERT_TRUE(m_unit.Client().Plug() && IdentifiedWith("v 100412"));
  OpenPage();  // its window went with the unit
  EXPECT_EQ(m_messages.size(), 2);
  EXPECT_EQ(Received(m_unit).mid(2), QStringList{"database 100412"});
  EXPECT_EQ(std::pair(Lamps(), page.m_buttonUpdate->isEnabled()), std::pair(kAllGreen, false));
}

// The pack's list ticks what it names. After the run the page is laid out as on entry (the
// pack unpacked afresh, its list ticked), whatever the unit says, so the run can be made again.
TEST_F(UpdatePageTest, ManualUpdateFromThePackCanBeMadeAgain) {
  ASSERT_TRUE(MakeZip(WorkFile(kManualPackFileName),
                      {{"ZipLIST.txt", "DB_FNAME = db 1.hdr\r\nVOICE_FNAME=voice.hdr\r\n"
                                       "FW_FNAME=../fw.hdr\r\nFW_FNAME =\r\n"},
                       {"db1.hdr", Database(30000, 3, 20)},
                       {"voice.hdr", BuildPackage(PackageHeader::kVoice, 1, {1, 2, 4}, 25000, 8)}}));
  CDBUpdateTab& page = OpenPage();
  const QStringList leftOut = {ExtraText(ZIPLIST_NAME_EMPTY) + "\nFW_FNAME",
                               ExtraText(ZIPLIST_NAME_OUTSIDE) + "\n../fw.hdr"};
  // What a manual page shows once the list is read: the database and the voice ticked, the
  // firmware left out (both its lines, each with its reason), the automatic marks gone.
  const auto laidOutFromTheList = [&] {
    return page.m_radioManual->isChecked() && page.m_nMode == CDBUpdateTab::kModeManual &&
           page.m_strManualDB == "db1.hdr" && page.m_editVoice->text() == "voice.hdr" &&
           page.m_checkDB->isChecked() && page.m_checkVoice->isChecked() && !page.m_checkFW->isChecked() &&
           !page.m_bUpdateFW &&
           Lamps() == std::array{kOrange, kOrange, kGreen} && !page.m_comboDB->isEnabled() &&
           page.m_checkFW->isEnabled() && page.m_editDB->isEnabled() && page.m_buttonUpdate->isEnabled();
  };
  page.m_radioManual->click();  // the unpack dialog runs modally and closes itself
  EXPECT_TRUE(laidOutFromTheList());
  EXPECT_EQ(m_messages, leftOut);
  page.m_checkDB->click();  // nothing ticked: nothing to send
  page.m_checkVoice->click();
  EXPECT_FALSE(page.m_editDB->isEnabled() || page.m_buttonUpdate->isEnabled() || page.m_bUpdateDB);
  page.m_checkDB->click();
  m_messages.clear();
  ASSERT_TRUE(UpdateAndTold(3));  // the database alone
  EXPECT_EQ(m_messages, QStringList{DBFW(19)} + leftOut);  // no firmware: no restart line
  EXPECT_EQ(Received(m_unit), QStringList{"database 100420"});
  EXPECT_TRUE(laidOutFromTheList());
  EXPECT_TRUE(QFile::exists(WorkFile("db1.hdr")));  // sent and deleted, then unpacked again
  // The unit's identification shows its versions and leaves the manual page as it is.
  ASSERT_TRUE(IdentifiedWith("v 100420"));
  EXPECT_EQ(std::pair(page.m_labelDBVersion->text(), page.m_comboDB->currentIndex()),
            std::pair(DBFW(26) + " - 100420", 1));
  EXPECT_TRUE(laidOutFromTheList());

  m_messages.clear();
  ASSERT_TRUE(UpdateAndTold(3));  // straight away, as the page offers it: both packages
  EXPECT_EQ(Received(m_unit).mid(1), QStringList({"database 100420", "voice 10204"}));
  EXPECT_TRUE(laidOutFromTheList());
}

// Nothing can start or change a run until it ends, here by a give-up: the unit unplugged while
// it takes a database. (Every package goes through the same sender, and gives up alike.)
TEST_F(UpdatePageTest, ControlsStayLockedUntilTheRunEnds) {
  StartServer(Database(1024 * 1024));  // some seconds for the whole package
  ASSERT_TRUE(m_unit.Client().Rate(128 * 1024));
  SetUnitReply(kOnlyDBOlder);
  CDBUpdateTab& page = OpenPage();
  const QList<bool> before = RunControls(), locked(before.size(), false);
  page.m_run.SetWatchdogPeriodMs(400);  // 21 ticks without progress: more than a give-up takes
  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return page.m_progress->GetPos() > 0; }, kRunTimeoutMs));
  EXPECT_EQ(std::pair(page.m_labelSendPhase->text(), RunControls()), std::pair(DBFW(16), locked));
  Sheet().EnableDevicePages(true);  // as the main page does when a unit identifies itself
  Choose(page.m_comboDB, 1);
  page.OnForceClicked();
  EXPECT_EQ(RunControls(), locked);
  EXPECT_FALSE(page.m_bDBAreaChanged || page.m_bForce);
  ASSERT_TRUE(m_unit.Client().Unplug());
  ASSERT_TRUE(WaitUntil([&] { return !page.m_labelError->isHidden(); }, kRunTimeoutMs));
  EXPECT_EQ(page.m_labelError->text(), DBFW(6));  // the writes ran out of retries
  EXPECT_EQ(RunControls(), before);
  EXPECT_TRUE(m_messages.isEmpty() && WorkFiles().isEmpty());
  ASSERT_TRUE(Told(1));
  EXPECT_EQ(std::pair(m_messages, Sheet().m_pageMain.m_bBusy), std::pair(QStringList{Error(11)}, true));
  EXPECT_EQ(Received(m_unit), QStringList{"database 100412 refused"});
}

// A run that cannot send ends at once, saying why; a failed download never opens the channel.
TEST_F(UpdatePageTest, ARunThatCannotSendEndsAtOnce) {
  StartServer(Database(5000));
  SetUnitReply(kOnlyDBOlder);  // the database is due
  CDBUpdateTab& page = OpenPage();
  page.m_run.SetWatchdogPeriodMs(50);
  const QList<bool> before = RunControls();
  const QString onServer = m_ftpRoot.filePath("down/FW/V770/DB/100412_Europe.hdr");
  QTemporaryDir outside;
  const QString mine = "100412_Europe.hdr";
  const struct {
    std::function<bool()> prepare;
    QStringList messages, filesLeft = {};
  } cases[] = {
      // The unit left before the transfer: the watchdog's message follows.
      {[&] { return m_unit.Client().Unplug(); }, {Error(12), Error(11)}},
      // The server holds the package but will not give it (it leads out of its tree).
      {[&] {
         return m_unit.Client().Plug() && WriteFile(outside.filePath(mine), Database(3000)) &&
                QFile::remove(onServer) && QFile::link(outside.filePath(mine), onServer);
       },
       {ExtraText(UPDATE_SERVER_REFUSED).arg("100412_Europe")}},
      // A file of the package's name that the run did not write is neither sent nor deleted.
      {[&] {
         return QDir(m_ftpRoot.path()).removeRecursively() && WriteFile(WorkFile(mine), Database(3000));
       },
       {ExtraText(UPDATE_PACKAGE_NOT_ON_SERVER).arg("100412_Europe")},
       {mine}},
      // The messages follow the language chosen after the start.
      {[&] { return m_ftp.Stop(), Sheet().SetLanguage(kLanguageFrench), true; },
       {UiText(Sheet().m_arrText, kLanguageFrench, UiIndex(ERROR_MSG_001, 2))},
       {mine}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(c.prepare());
    m_messages.clear();
    const TestSupport::Clock clock;
    ASSERT_TRUE(UpdateAndTold(c.messages.size()));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(m_messages, c.messages);
    EXPECT_EQ(std::pair(page.m_progress->GetPos(), page.m_labelSendPhase->text()), std::pair(0, QString()));
    EXPECT_EQ(RunControls(), before);
    EXPECT_EQ(WorkFiles(), c.filesLeft);  // a download is taken away
  }
  EXPECT_EQ(LogCount(m_unit.Status(), UnitChannels::kUpdateWrite, "opened"), 0);
  EXPECT_EQ(Received(m_unit), QStringList());
}

}  // namespace
