// The v770 program end to end: run as a user runs it, in a working folder of its own, against
// the emulated unit and the loopback FTP server.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include "../update/UpdateTestSupport.h"
#include "platform/SingleInstance.h"
#include "poi/PoiFile.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "../poi/PoiTestSupport.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"
#include "update/UnitCheck.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateServer.h"

using namespace UpdateTestSupport;

namespace {

constexpr qint64 kFailureLimitMs = 5000;  // a server that is down included

// The unit's "$VER>" reply fields: Europe (area 2), database 100411, hardware 7, firmware
// 1.5, voice 10203 in English (speed-unit index 0).
const QJsonObject kUnitVersion{{"area", 2},   {"db1", 2},    {"db2", 4},    {"db3", 11},
                               {"hwid", 7},   {"fwmajor", 1}, {"fwminor", 5}, {"voice1", 1},
                               {"voice2", 2}, {"voice3", 3},  {"voicelang", 0}};

// Three POIs as the window's POI file holds them.
const QByteArray kPoiFile =
    "2009/03/15,07:45,48.85837,2.29448,90,\r\n"
    "2015/12/01,23:59,-33.86785,151.21000,511,\r\n"
    "2023/06/30,00:00,0.00001,-0.00001,0,\r\n";

struct CliRun { int exitCode = -1; QByteArray out, err; qint64 elapsedMs = 0; };

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_work.isValid() && m_config.isValid() && m_runtime.isValid() && m_ftpRoot.isValid());
    for (const char* name : {"V770UIText_New_v12.txt", "V770_VersionInfo_v12.txt", kExtraTextFileName})
      ASSERT_TRUE(QFile::copy(TestSupport::ShippedDataPath(QString::fromLatin1(name)), Work(QString::fromLatin1(name))));
    ASSERT_TRUE(m_unit.Start(QJsonObject{{"version", kUnitVersion}})) << m_unit.DaemonLog().constData();
    ASSERT_TRUE(ReadUITextFile(Work(QStringLiteral("V770UIText_New_v12.txt")), m_texts));
  }

  QString Work(const QString& name) const { return m_work.filePath(name); }

  void ServePackages() {
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"),
                            BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 60000)));
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", QStringLiteral("V770_FW_v0106"),
                            BuildPackage(PackageHeader::kFirmware, 0, {1, 6, 0}, 40000)));
    ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
    m_server = m_ftp.BaseUrl() + QString::fromLatin1(UpdateCatalogue::kServerPath);
  }

  // `v770` with the words of a command line.
  CliRun Run(const char* commandLine) { return Run(QString::fromUtf8(commandLine).split(u' ', Qt::SkipEmptyParts)); }
  CliRun Run(const QStringList& args, const QString& folder = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    // The single-instance lock of this test alone.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QString::fromLatin1(UpdateServer::kOverrideVariable), m_server);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder.isEmpty() ? m_work.path() : folder);
    TestSupport::Clock clock;
    process.start(TestSupport::BinPath(QStringLiteral("v770")), args);
    // A run that hangs is killed and ends as a crash: exit code -1.
    if (!process.waitForFinished(kRunTimeoutMs)) process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError(), clock.elapsed()};
  }
  void SetLanguage(int language) {
    QSettings(m_config.filePath(QStringLiteral("V770PCSoft.ini")), QSettings::IniFormat)
        .setValue(QStringLiteral("Config/LanguageID"), language);
  }
  int UnitPoiCount() { return m_unit.Status()[QStringLiteral("poi")][QStringLiteral("count")].toInt(); }

  QString Ui(int index, int language = kLanguageEnglish) const { return UiText(m_texts, language, index); }

  QTemporaryDir m_work;
  QTemporaryDir m_config;
  QTemporaryDir m_runtime;
  QTemporaryDir m_ftpRoot;
  TestSupport::FtpServer m_ftp;
  UnitEmulator m_unit;
  UiTextTables m_texts;
  QString m_server = QStringLiteral("ftp://127.0.0.1:1/down/FW/V770");
};

}  // namespace

TEST_F(CliTest, StatusJsonGivesTheUnitsValuesOrNotConnected) {
  // The unit never tells its speed unit (byte 11 is its voice language, French here): it is
  // known only once this computer set it, and said to be so.
  ASSERT_TRUE(m_unit.Client().Set("voicelang", 2));
  QJsonObject values{{"connected", true}, {"hardwareId", 7}, {"firmware", "1.5"}, {"dbArea", "Europe"},
                     {"dbAreaCode", 2}, {"dbVersion", 100411}, {"voiceVersion", 10203}, {"speedUnit", QJsonValue::Null}};
  const CliRun connected = Run("status --json");
  ASSERT_EQ(connected.exitCode, 0) << connected.err.constData();
  EXPECT_EQ(QJsonDocument::fromJson(connected.out).object(), values) << connected.out.constData();
  EXPECT_FALSE(Run("status").out.contains(Ui(UiIndex(OPTION_TAB_001, 1)).toUtf8()));
  const CliRun set = Run("speed-unit mph");
  ASSERT_EQ(set.exitCode, 0) << set.err.constData();
  EXPECT_EQ(QString::fromUtf8(set.out), ExtraText(ExtraTextId::CLI_SPEED_UNIT_SET).arg(Ui(UiIndex(OPTION_TAB_001, 3))) + u'\n');
  values["speedUnit"] = "mph";
  EXPECT_EQ(QJsonDocument::fromJson(Run("status --json").out).object(), values);
  EXPECT_TRUE(QString::fromUtf8(Run("status").out).contains(
      ExtraText(ExtraTextId::CLI_SPEED_UNIT_SET_HERE).arg(Ui(UiIndex(OPTION_TAB_001, 3)))));

  ASSERT_TRUE(m_unit.Client().Unplug());
  const CliRun away = Run("status --json");
  EXPECT_EQ(away.exitCode, 0);
  EXPECT_EQ(QJsonDocument::fromJson(away.out).object(), (QJsonObject{{"connected", false}}));
  // The plain form speaks the language the window remembered last.
  SetLanguage(kLanguageFrench);
  const CliRun plain = Run("status");
  EXPECT_TRUE(QString::fromUtf8(plain.out).contains(Ui(UiIndex(MAIN_TAB_001, 11), kLanguageFrench)))
      << plain.out.constData();
}

TEST_F(CliTest, UpdateInstallsTheNewerPackagesAndDryRunSendsNothing) {
  ServePackages();
  const CliRun dry = Run("update --dry-run");
  ASSERT_EQ(dry.exitCode, 0) << dry.err.constData();
  EXPECT_EQ(dry.out.count('\n'), 2) << "the database and the firmware: " << dry.out.constData();
  // The manual pack's list, read without unpacking it into the working folder.
  const QString pack = QStringLiteral(V770_BUILD_DATA_DIR "/demo/V770_manualPack.PCK");
  const CliRun manual = Run({QStringLiteral("update"), QStringLiteral("--manual"), pack, QStringLiteral("--dry-run")});
  ASSERT_EQ(manual.exitCode, 0) << manual.err.constData();
  for (const char* name : {"100412_France.hdr", "10203_English.hdr", "V770_FW_v0106.hdr"})
    EXPECT_TRUE(manual.out.contains(name)) << name;
  EXPECT_TRUE(ReceivedPackages(m_unit.Status()).isEmpty());
  EXPECT_EQ(QDir(m_work.path()).entryList(QDir::Files).size(), 3) << "only the data files";

  const CliRun update = Run("update");
  ASSERT_EQ(update.exitCode, 0) << update.err.constData();
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("kind")].toString(), QStringLiteral("database"));
  EXPECT_EQ(received[1][QStringLiteral("kind")].toString(), QStringLiteral("firmware"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool() && received[1][QStringLiteral("installed")].toBool());
  // Not a terminal: plain progress lines, then the end message with the restart advice, and
  // the unit's versions were checked afterwards.
  const QString out = QString::fromUtf8(update.out);
  EXPECT_TRUE(out.contains(QStringLiteral("\n100%\n"))) << update.out.constData();
  EXPECT_TRUE(out.endsWith(Ui(UiIndex(DBFW_TAB_001, 19)) + u'\n' + Ui(UiIndex(ERROR_MSG_001, 10)) + u'\n' +
                           ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT) + u'\n'))
      << update.out.constData();
  EXPECT_TRUE(QDir(m_work.path()).entryList({QStringLiteral("*.hdr")}).isEmpty());
}

// An update succeeds only when the unit afterwards reports what was sent; a package the
// server lacks is named before anything is sent.
TEST_F(CliTest, UpdateNamesWhatTheServerLacksAndWhatTheUnitDidNotTake) {
  ServePackages();
  const QString firmware = m_ftpRoot.filePath(QStringLiteral("down/FW/V770/FW/V770_FW_v0106.hdr"));
  const QByteArray goodFirmware = TestSupport::ReadFile(firmware);
  ASSERT_TRUE(QFile::remove(firmware));
  const CliRun lacking = Run("update");
  EXPECT_EQ(QString::fromUtf8(lacking.err), ExtraText(ExtraTextId::UPDATE_PACKAGE_NOT_ON_SERVER).arg("V770_FW_v0106") + u'\n');
  // The unit takes the firmware, throws the damaged database away and keeps 100411.
  ASSERT_TRUE(TestSupport::WriteFile(firmware, goodFirmware) &&
              PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"), CorruptPackage(Database(60000))));
  const CliRun refused = Run("update");
  EXPECT_EQ(QString::fromUtf8(refused.err), ExtraText(ExtraTextId::UPDATE_DB_NOT_TAKEN).arg("100412_Europe", "100411") + u'\n');
  EXPECT_EQ(std::tuple(lacking.exitCode, refused.exitCode, ReceivedPackages(m_unit.Status()).size()), std::tuple(1, 1, 2));
  EXPECT_TRUE(QDir(m_work.path()).entryList({QStringLiteral("*.hdr")}).isEmpty());
}

TEST_F(CliTest, PoiWriteOfEachFormatThenReadGivesBackTheSameRows) {
  const QList<PoiTexts> rows = PoiFile::Parse(kPoiFile);
  // Another tool's file also holds a POI 3 m from the first, facing 10 degrees away, and one
  // at a latitude the unit cannot keep: the import report names both.
  const QList<PoiTexts> toolRows =
      rows + QList<PoiTexts>{{"2009/03/15", "07:45", "48.85840", "2.29448", "100"}, {"2009/03/15", "07:45", "91.00000", "1.00000", "0"}};
  // The POIs of the window's file written, how they are read back, and into which file (null:
  // the standard output). The last, shorter file replaces all the unit held. What the unit
  // held is kept in the export file each write names; the messages never speak of a list.
  struct Case { PoiFormat format; int count; const char* read; const char* back; };
  int held = 0;
  for (const Case& c : {Case{PoiFormat::Text, 3, "poi read -o back.txt", "back.txt"}, Case{PoiFormat::Gpx, 3, "poi read -o back.gpx", "back.gpx"},
                        Case{PoiFormat::Kml, 3, "poi read --format kml", nullptr},
                        Case{PoiFormat::Csv, 3, "poi read --format csv -o back.dat", "back.dat"}, Case{PoiFormat::Text, 1, "poi read", nullptr}}) {
    const QString name = QStringLiteral("mine%1.").arg(c.count) + PoiFormatName(c.format);
    ASSERT_TRUE(TestSupport::WriteFile(Work(name), FormatPois(c.format, c.format == PoiFormat::Text ? rows.first(c.count) : toolRows)));
    const CliRun write = Run({QStringLiteral("poi"), QStringLiteral("write"), name});
    ASSERT_EQ(write.exitCode, 0) << name.toStdString() << ": " << write.err.constData();
    // The window's own file replaces the list without a report, as Read from PC does.
    EXPECT_EQ(write.out.startsWith(PoiImportReportText({5, 1, 1, 0, 0, rows}, PoiAudience::CommandLine).toUtf8() + '\n'),
              c.format != PoiFormat::Text);
    EXPECT_EQ(UnitPoiCount(), c.count);
    const QString kept = QRegularExpression(u"POI_[0-9]{6}_[0-9]{6}(_[0-9]+)?\\.txt"_qs).match(QString::fromUtf8(write.out)).captured();
    EXPECT_TRUE(write.out.contains(ExtraText(ExtraTextId::CLI_POI_UNIT_KEPT).arg(held).arg(kept).toUtf8()));
    EXPECT_EQ(TestSupport::ReadFile(Work(kept)), FormatPois(PoiFormat::Text, rows.first(held)));
    EXPECT_FALSE(write.out.contains("list")) << write.out.constData();
    held = c.count;
    const CliRun read = Run(c.read);
    ASSERT_EQ(read.exitCode, 0) << c.read << ": " << read.err.constData();
    const PoiFileContent back = ReadPoiContent(c.back ? TestSupport::ReadFile(Work(c.back)) : read.out);
    EXPECT_EQ(back.format, c.format) << c.read;
    EXPECT_EQ(PoiTest::Rows(back), rows.first(c.count)) << c.read;
  }
  EXPECT_EQ(TestSupport::ReadFile(Work(QStringLiteral("back.txt"))), kPoiFile);
  // The window's files: a backup before each write, an export after each read.
  EXPECT_FALSE(QDir(m_work.path()).entryList({QStringLiteral("POI_SAVE_*.txt")}).isEmpty());
  EXPECT_FALSE(QDir(m_work.path()).entryList({QStringLiteral("POI_??????_??????.txt")}).isEmpty());

  // A file that yields no POI leaves the unit as it was; erasing is a command of its own.
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("empty.gpx")), FormatPois(PoiFormat::Gpx, {})));
  const CliRun empty = Run("poi write empty.gpx");
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(QString::fromUtf8(empty.err), ExtraText(ExtraTextId::CLI_POI_NO_POI).arg(QStringLiteral("empty.gpx")) + u'\n');
  EXPECT_EQ(UnitPoiCount(), 1);
  ASSERT_EQ(Run("poi erase").exitCode, 0);
  EXPECT_EQ(UnitPoiCount(), 0);
}

TEST_F(CliTest, SpeedUnitAndRecoveryReachTheUnit) {
  ASSERT_EQ(Run("speed-unit mph").exitCode, 0);
  EXPECT_EQ(m_unit.Status()[QStringLiteral("speedUnit")].toInt(), 1);
  const QString done = Ui(UiIndex(DBFW_TAB_001, 19)) + u'\n' + ExtraText(ExtraTextId::RESET_UNIT_FIRMWARE);

  // From a file, then from the update server, each time once the unit is back from the
  // restart its new firmware makes.
  ServePackages();
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("fw.hdr")), BuildPackage(PackageHeader::kFirmware, 0, {1, 7, 0}, 5000)));
  // Complete only once the unit is back from its restart: the end message says what it runs.
  for (const auto& [args, firmware] : {std::pair{"recover fw.hdr", "1.7"}, {"recover --download", "1.6"}}) {
    const CliRun recover = Run(args);
    ASSERT_EQ(recover.exitCode, 0) << args << ": " << recover.err.constData();
    EXPECT_TRUE(QString::fromUtf8(recover.out).endsWith(done.arg(firmware) + u'\n')) << recover.out.constData();
  }
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("version")].toString(), QStringLiteral("1.7"));
  EXPECT_EQ(received[1][QStringLiteral("version")].toString(), QStringLiteral("1.6"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool() && received[1][QStringLiteral("installed")].toBool());
}

TEST_F(CliTest, BadRequestsEndWithOneLineAndAnExitCode) {
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("bad.txt")), "2007/01/01,00:00,0,0,0,\r\n"));
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("blank.txt")), " \r\n"));
  // Each state holds from its first case on: the unit unplugged, then the window's lock held.
  enum Before { Nothing, Unplug, Lock };
  // An empty error: only one line is checked.
  struct Case { const char* args; int exitCode; Before before; QString error; };
  const QString inUse = ExtraText(ExtraTextId::CLI_UNIT_IN_USE);
  const Case cases[] = {
      {"frobnicate", 2, Nothing, {}},
      {"", 2, Nothing, {}},
      {"status --force", 2, Nothing, {}},
      {"speed-unit kph", 2, Nothing, {}},
      {"recover", 2, Nothing, {}},
      {"poi read --format xls", 2, Nothing, {}},
      {"poi write bad.txt", 1, Nothing, {}},
      {"poi write missing.txt", 1, Nothing, ExtraText(ExtraTextId::CLI_POI_FILE_NOT_READ).arg("missing.txt")},
      {"poi write blank.txt", 1, Nothing, ExtraText(ExtraTextId::CLI_POI_FILE_FOREIGN).arg("blank.txt")},
      {"recover bad.txt", 1, Nothing, ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE)},
      {"update", 1, Nothing, Ui(UiIndex(ERROR_MSG_001, 2))},  // the update server is down
      {"poi erase", 1, Unplug, Ui(UiIndex(ERROR_MSG_001, 1))},
      {"speed-unit km/h", 1, Nothing, Ui(UiIndex(ERROR_MSG_001, 1))},
      {"update", 1, Nothing, Ui(UiIndex(ERROR_MSG_001, 1))},
      // The lock comes before the unit; a wrong command line needs none.
      {"poi erase", 3, Lock, inUse},
      {"status --json", 3, Nothing, inUse},
      {"update --dry-run", 3, Nothing, inUse},
      {"recover --download", 3, Nothing, inUse},
      {"poi read -o x.gpx", 3, Nothing, inUse},
      {"speed-unit kph", 2, Nothing, {}},
  };
  // Files of the packages' names that no run of v770 wrote are the user's: they stay.
  for (const char* name : {"100412_Europe.hdr", "V770_FW_v0106.hdr"})
    ASSERT_TRUE(TestSupport::WriteFile(Work(QString::fromLatin1(name)), "the user's own"));
  SingleInstance window(m_runtime.path());
  for (const Case& c : cases) {
    if (c.before == Unplug) { ASSERT_TRUE(m_unit.Client().Unplug()); }
    if (c.before == Lock) { ASSERT_TRUE(window.Acquire()); }
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(run.err.count('\n'), 1) << c.args << ": " << run.err.constData();
    if (!c.error.isEmpty()) { EXPECT_EQ(QString::fromUtf8(run.err), c.error + u'\n') << c.args; }
    EXPECT_LT(run.elapsedMs, kFailureLimitMs) << c.args;  // every failure ends at once
  }
  EXPECT_EQ(UnitPoiCount(), 0);
  EXPECT_TRUE(ReceivedPackages(m_unit.Status()).isEmpty());
  EXPECT_FALSE(QFile::exists(Work(QStringLiteral("x.gpx"))));
  for (const char* name : {"100412_Europe.hdr", "V770_FW_v0106.hdr"})
    EXPECT_EQ(TestSupport::ReadFile(Work(QString::fromLatin1(name))), "the user's own") << name;

  const CliRun help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"status", "update", "recover", "speed-unit", "poi read", "poi write", "poi erase", "--dry-run",
                              "--manual", "--area", "--voice", "--force", "--format", "--download", "--json", "gpx", "kml", "csv"})
    EXPECT_TRUE(help.out.contains(command)) << command;
}

// A file sent whole proves nothing: the unit that refuses it does not restart, and the
// command waits for that restart before it says anything.
TEST_F(CliTest, RecoveryTheUnitDoesNotTakeEndsWithTheFileNamed) {
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("db.hdr")), Database(20000)));
  const CliRun recover = Run("recover db.hdr");
  EXPECT_EQ(recover.exitCode, 1);
  EXPECT_EQ(QString::fromUtf8(recover.err), ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN).arg("db.hdr").arg(30) + u'\n');
  EXPECT_GE(recover.elapsedMs, std::chrono::milliseconds(UnitCheck::kTimeout).count());
}

// Every line in the chosen language, each naming what is missing or wrong.
TEST_F(CliTest, CommandLineSaysWhatIsMissingInTheChosenLanguage) {
  const auto usage = [](ExtraTextId id, const char* what) { return ExtraText(ExtraTextId::CLI_USAGE).arg(ExtraText(id).arg(what)); };
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    SetLanguage(language);
    SetExtraTextLanguage(language);
    const std::tuple<const char*, int, QString> cases[] = {
        {"status --bogus", 2, usage(ExtraTextId::CLI_UNKNOWN_OPTION, "--bogus")},
        {"status -x", 2, usage(ExtraTextId::CLI_UNKNOWN_OPTION, "-x")},
        {"poi read -o", 2, usage(ExtraTextId::CLI_OPTION_NEEDS_VALUE, "-o")},
        {"status --json=yes", 2, usage(ExtraTextId::CLI_OPTION_TAKES_NO_VALUE, "--json")},
        {"update --manual nowhere.PCK", 1, ExtraText(ExtraTextId::CLI_PACK_MISSING).arg("nowhere.PCK")},
    };
    for (const auto& [args, exitCode, error] : cases) {
      const CliRun run = Run(args);
      EXPECT_EQ(std::pair(run.exitCode, QString::fromUtf8(run.err)), std::pair(exitCode, error + u'\n')) << args;
    }
    // A command's own help, and the POI commands' when none of them is named.
    const CliRun readHelp = Run("poi read --help"), poi = Run("poi");
    EXPECT_EQ(std::pair(readHelp.exitCode, poi.exitCode), std::pair(0, 2));
    for (ExtraTextId id : {ExtraTextId::CLI_HELP_POI_READ, ExtraTextId::CLI_HELP_POI_WRITE, ExtraTextId::CLI_HELP_STATUS}) {
      EXPECT_EQ(readHelp.out.contains(ExtraText(id).toUtf8()), id == ExtraTextId::CLI_HELP_POI_READ);
      EXPECT_EQ(poi.out.contains(ExtraText(id).toUtf8()), id != ExtraTextId::CLI_HELP_STATUS);
    }
  }
  SetLanguage(kLanguageEnglish);
  SetExtraTextLanguage(kLanguageEnglish);

  // Without the UI text file, or the program's own texts, one line names the file and the
  // folder; nothing is shown half blank.
  QTemporaryDir bare;
  for (const auto& [present, missing] : {std::pair{kExtraTextFileName, "V770UIText_New_v12.txt"}, {"V770UIText_New_v12.txt", kExtraTextFileName}}) {
    ASSERT_TRUE(QFile::copy(Work(QString::fromLatin1(present)), bare.filePath(QString::fromLatin1(present))));
    const CliRun run = Run(QStringList{QStringLiteral("status")}, bare.path());
    EXPECT_EQ(std::pair(run.exitCode, QString::fromUtf8(run.err)),
              std::pair(1, ExtraText(ExtraTextId::CLI_FILE_MISSING).arg(QString::fromLatin1(missing), bare.path()) + u'\n'));
    QFile::remove(bare.filePath(QString::fromLatin1(present)));
  }
}
