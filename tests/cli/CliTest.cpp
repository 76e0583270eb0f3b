// v770 run as a user runs it, against the emulated unit and the loopback FTP server.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include "../poi/PoiTestSupport.h"
#include "../update/UpdateTestSupport.h"
#include "platform/SingleInstance.h"
#include "poi/PoiFile.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "support/FtpServer.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"
#include "update/UnitCheck.h"
#include "update/UpdateServer.h"

using namespace UpdateTestSupport;
using TestSupport::ReadFile;
using TestSupport::WriteFile;
using enum ExtraTextId;

namespace {

constexpr qint64 kFailureLimitMs = 5000;  // a server that is down included

struct CliRun {
  int exitCode = -1;
  QByteArray out, err;
  qint64 elapsedMs = 0;
  QString Err() const { return QString::fromUtf8(err); }
};

// The unit of StartUnit: Europe (area 2), database 100411, hardware 7, firmware 1.5.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"V770UIText_New_v12.txt", "V770_VersionInfo_v12.txt", kExtraTextFileName})
      ASSERT_TRUE(QFile::copy(TestSupport::ShippedDataPath(name), Work(name)));
    ASSERT_TRUE(StartUnit(m_unit)) << m_unit.DaemonLog().constData();
    ASSERT_TRUE(ReadUITextFile(Work("V770UIText_New_v12.txt"), m_texts));
  }

  QString Work(const QString& name) const { return m_work.filePath(name); }
  // The catalogue's newer database and firmware on the update server.
  void ServePackages() {
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", "100412_Europe", Database(60000)));
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", "V770_FW_v0106", Firmware(6, 40000)));
    ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
    m_server = m_ftp.BaseUrl() + UpdateCatalogue::kServerPath;
  }

  // `v770` with the words of a command line.
  CliRun Run(const char* commandLine) { return Run(QString(commandLine).split(u' ', Qt::SkipEmptyParts)); }
  CliRun Run(const QStringList& args, const QString& folder = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", m_config.path());
    env.insert("XDG_RUNTIME_DIR", m_runtime.path());  // the single-instance lock of this test alone
    env.insert(UpdateServer::kOverrideVariable, m_server);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder.isEmpty() ? m_work.path() : folder);
    const TestSupport::Clock clock;
    process.start(TestSupport::BinPath("v770"), args);
    // A run that hangs is killed and ends as a crash: exit code -1.
    if (!process.waitForFinished(kRunTimeoutMs)) process.kill();
    process.waitForFinished();
    const int exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {exitCode, process.readAllStandardOutput(), process.readAllStandardError(), clock.elapsed()};
  }
  CliRun Ok(const char* commandLine) {
    CliRun run = Run(commandLine);
    EXPECT_EQ(run.exitCode, 0) << commandLine << ": " << run.err.constData();
    return run;
  }
  void SetLanguage(int language) {
    QSettings settings(m_config.filePath("V770PCSoft.ini"), QSettings::IniFormat);
    settings.setValue("Config/LanguageID", language);
  }
  int UnitPoiCount() { return m_unit.Status()["poi"][u"count"].toInt(); }
  QStringList PackageFiles() const { return QDir(m_work.path()).entryList({"*.hdr"}); }
  QString Ui(int index, int language = kLanguageEnglish) const { return UiText(m_texts, language, index); }

  QTemporaryDir m_work, m_config, m_runtime, m_ftpRoot;
  TestSupport::FtpServer m_ftp;
  UnitEmulator m_unit;
  UiTextTables m_texts;
  QString m_server = QStringLiteral("ftp://127.0.0.1:1/down/FW/V770");
};

TEST_F(CliTest, StatusJsonGivesTheUnitsValuesOrNotConnected) {
  // Byte 11 is the voice language (French here), never the speed unit: known once set here.
  ASSERT_TRUE(m_unit.Client().Set("voicelang", 2));
  QJsonObject values{{"connected", true},      {"hardwareId", 7},    {"firmware", "1.5"},
                     {"dbArea", "Europe"},     {"dbAreaCode", 2},    {"dbVersion", 100411},
                     {"voiceVersion", 10203},  {"speedUnit", QJsonValue::Null}, {"workingFolder", m_work.path()}};
  const CliRun connected = Ok("status --json");
  EXPECT_EQ(QJsonDocument::fromJson(connected.out).object(), values) << connected.out.constData();
  EXPECT_FALSE(Run("status").out.contains(Ui(UiIndex(OPTION_TAB_001, 1)).toUtf8()));
  const QString mph = Ui(UiIndex(OPTION_TAB_001, 3));
  EXPECT_EQ(QString::fromUtf8(Ok("speed-unit mph").out), ExtraText(CLI_SPEED_UNIT_SET).arg(mph) + '\n');
  EXPECT_EQ(m_unit.Status()["speedUnit"].toInt(), 1);
  values["speedUnit"] = "mph";
  EXPECT_EQ(QJsonDocument::fromJson(Run("status --json").out).object(), values);
  EXPECT_TRUE(QString::fromUtf8(Run("status").out).contains(ExtraText(CLI_SPEED_UNIT_SET_HERE).arg(mph)));

  ASSERT_TRUE(m_unit.Client().Unplug());
  EXPECT_EQ(QJsonDocument::fromJson(Ok("status --json").out).object(),
            (QJsonObject{{"connected", false}, {"workingFolder", m_work.path()}}));
  EXPECT_TRUE(Run("status").out.contains((ExtraText(WORKING_FOLDER) + ' ' + m_work.path()).toUtf8()));
}

// A dry run sends nothing; an update sends the newer packages and succeeds only when the unit
// afterwards reports what was sent; a package the server lacks is named before anything goes.
TEST_F(CliTest, UpdateAndRecoverySucceedOnlyWithWhatTheUnitTook) {
  ServePackages();
  EXPECT_EQ(Ok("update --dry-run").out.count('\n'), 2);  // the database and the firmware
  // The manual pack's list, read without unpacking it into the working folder.
  const CliRun manual =
      Run({"update", "--manual", V770_BUILD_DATA_DIR "/demo/V770_manualPack.PCK", "--dry-run"});
  EXPECT_TRUE(manual.exitCode == 0 && manual.out.contains("100412_France.hdr") &&
              manual.out.contains("V770_FW_v0106.hdr"));
  EXPECT_TRUE(Received(m_unit).isEmpty());
  EXPECT_EQ(QDir(m_work.path()).entryList(QDir::Files).size(), 3) << "only the data files";

  // Not a terminal: plain progress lines, the end message, and the unit's versions checked.
  const QString out = QString::fromUtf8(Ok("update").out);
  EXPECT_EQ(Received(m_unit), QStringList({"database 100412", "firmware 1.6"}));
  EXPECT_TRUE(out.contains("\n100%\n")) << out.toStdString();
  EXPECT_TRUE(out.endsWith(Ui(UiIndex(DBFW_TAB_001, 19)) + '\n' + Ui(UiIndex(ERROR_MSG_001, 10)) + '\n' +
                           ExtraText(UPDATE_CHECKING_UNIT) + '\n'))
      << out.toStdString();

  // The unit older again; the firmware missing on the server is named, nothing is sent.
  ASSERT_TRUE(m_unit.Client().Set("db3", 11) && m_unit.Client().Set("fwminor", 5));
  const QString firmware = m_ftpRoot.filePath("down/FW/V770/FW/V770_FW_v0106.hdr");
  ASSERT_TRUE(QFile::rename(firmware, firmware + ".away"));
  const CliRun lacking = Run("update");
  EXPECT_EQ(lacking.Err(), ExtraText(UPDATE_PACKAGE_NOT_ON_SERVER).arg("V770_FW_v0106") + '\n');
  // The unit takes the firmware, throws the damaged database away and keeps 100411.
  ASSERT_TRUE(QFile::rename(firmware + ".away", firmware));
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", "100412_Europe", CorruptPackage(Database(60000))));
  const CliRun refused = Run("update");
  EXPECT_EQ(refused.Err(), ExtraText(UPDATE_DB_NOT_TAKEN).arg("100412_Europe", "100411") + '\n');
  EXPECT_EQ(std::pair(lacking.exitCode, refused.exitCode), std::pair(1, 1));
  EXPECT_EQ(Received(m_unit).mid(2), QStringList({"database 100412 refused", "firmware 1.6"}));
  EXPECT_TRUE(PackageFiles().isEmpty());

  // A recovery, from a file and from the server, ends with what the unit runs after its
  // restart; a unit that refused the file does not restart, and the command waits for that.
  ASSERT_TRUE(WriteFile(Work("fw.hdr"), Firmware(7, 5000)));
  const QString done = Ui(UiIndex(DBFW_TAB_001, 19)) + '\n' + ExtraText(RESET_UNIT_FIRMWARE);
  for (const auto& [args, firmware] : {std::pair{"recover fw.hdr", "1.7"}, {"recover --download", "1.6"}})
    EXPECT_TRUE(QString::fromUtf8(Ok(args).out).endsWith(done.arg(firmware) + '\n'));
  EXPECT_EQ(Received(m_unit).mid(4), QStringList({"firmware 1.7", "firmware 1.6"}));
  ASSERT_TRUE(WriteFile(Work("db.hdr"), Database(20000)));
  const CliRun recover = Run("recover db.hdr");
  EXPECT_EQ(std::pair(recover.exitCode, recover.Err()),
            std::pair(1, ExtraText(RESET_FILE_NOT_TAKEN).arg("db.hdr").arg(30) + '\n'));
  EXPECT_GE(recover.elapsedMs, std::chrono::milliseconds(UnitCheck::kTimeout).count());
}

TEST_F(CliTest, PoiWriteOfEachFormatThenReadGivesBackTheSameRows) {
  const QByteArray poiFile = "2009/03/15,07:45,48.85837,2.29448,90,\r\n"  // as the window keeps them
                             "2015/12/01,23:59,-33.86785,151.21000,511,\r\n"
                             "2023/06/30,00:00,0.00001,-0.00001,0,\r\n";
  const QList<PoiTexts> rows = PoiFile::Parse(poiFile);
  // Another tool's file also holds a POI 3 m from the first, facing 10 degrees away, and one
  // at a latitude the unit cannot keep: the import report names both.
  const QList<PoiTexts> toolRows = rows + QList<PoiTexts>{{"2009/03/15", "07:45", "48.85840", "2.29448", "100"},
                                                          {"2009/03/15", "07:45", "91.00000", "1.00000", "0"}};
  const QString report = PoiImportReportText({5, 1, 1, 0, 0, rows}, PoiAudience::CommandLine) + '\n';
  // The POIs written, how they are read back, into which file (null: the standard output).
  // What the unit held is kept in the export file each write names; no message names a list.
  const std::tuple<PoiFormat, int, const char*, const char*> cases[] = {
      {PoiFormat::Gpx, 3, "poi read -o back.gpx", "back.gpx"},
      {PoiFormat::Csv, 3, "poi read --format csv -o back.dat", "back.dat"},
      {PoiFormat::Kml, 3, "poi read --format kml", nullptr},
      {PoiFormat::Text, 1, "poi read -o back.txt", "back.txt"}};
  int held = 0;
  for (const auto& [format, count, readArgs, backFile] : cases) {
    SCOPED_TRACE(readArgs);
    const QString name = QStringLiteral("mine%1.").arg(count) + PoiFormatName(format);
    const bool own = format == PoiFormat::Text;  // the window's own file: no report, as Read from PC
    ASSERT_TRUE(WriteFile(Work(name), FormatPois(format, own ? rows.first(count) : toolRows)));
    const QString out = QString::fromUtf8(Ok(qPrintable("poi write " + name)).out);
    EXPECT_EQ(out.startsWith(report), !own);
    EXPECT_EQ(UnitPoiCount(), count);
    const QString kept = QRegularExpression(u"POI_[0-9]{6}_[0-9]{6}(_[0-9]+)?\\.txt"_qs).match(out).captured();
    EXPECT_TRUE(out.contains(ExtraText(CLI_POI_UNIT_KEPT).arg(held).arg(kept)));
    EXPECT_EQ(ReadFile(Work(kept)), FormatPois(PoiFormat::Text, rows.first(held)));
    EXPECT_FALSE(out.contains("list")) << out.toStdString();
    held = count;
    const CliRun read = Ok(readArgs);
    const PoiFileContent back = ReadPoiContent(backFile ? ReadFile(Work(backFile)) : read.out);
    EXPECT_EQ(std::pair(back.format, PoiTest::Rows(back)), std::pair(format, rows.first(count)));
  }
  // The window's backup before each write (the export files are checked above).
  EXPECT_FALSE(QDir(m_work.path()).entryList({"POI_SAVE_*.txt"}).isEmpty());

  // A file that yields no POI leaves the unit as it was; erasing is a command of its own.
  ASSERT_TRUE(WriteFile(Work("empty.gpx"), FormatPois(PoiFormat::Gpx, {})));
  const CliRun empty = Run("poi write empty.gpx");
  EXPECT_EQ(std::tuple(empty.exitCode, empty.Err(), UnitPoiCount()),
            std::tuple(1, ExtraText(CLI_POI_NO_POI).arg("empty.gpx") + '\n', 1));
  Ok("poi erase");
  EXPECT_EQ(UnitPoiCount(), 0);
}

// Every failure ends at once with one line in the chosen language (French) and an exit code.
TEST_F(CliTest, BadRequestsEndWithOneLineInTheChosenLanguageAndAnExitCode) {
  ASSERT_TRUE(WriteFile(Work("bad.txt"), "2007/01/01,00:00,0,0,0,\r\n"));
  ASSERT_TRUE(WriteFile(Work("blank.txt"), " \r\n"));
  SetLanguage(kLanguageFrench);
  SetExtraTextLanguage(kLanguageFrench);
  // Each state holds from its first case on: the unit unplugged, then the window's lock held.
  enum Before { Nothing, Unplug, Lock };
  const QString inUse = ExtraText(CLI_UNIT_IN_USE), noUnit = Ui(UiIndex(ERROR_MSG_001, 1), kLanguageFrench);
  const auto usage = [](ExtraTextId id, const char* what) {
    return ExtraText(CLI_USAGE).arg(ExtraText(id).arg(what));
  };
  // Without an error text only the one line is checked.
  const std::tuple<const char*, int, Before, QString> cases[] = {
      {"frobnicate", 2, Nothing, {}},
      {"", 2, Nothing, {}},
      {"recover", 2, Nothing, {}},
      {"poi read --format xls", 2, Nothing, {}},
      {"status --bogus", 2, Nothing, usage(CLI_UNKNOWN_OPTION, "--bogus")},
      {"status -x", 2, Nothing, usage(CLI_UNKNOWN_OPTION, "-x")},
      {"poi read -o", 2, Nothing, usage(CLI_OPTION_NEEDS_VALUE, "-o")},
      {"status --json=yes", 2, Nothing, usage(CLI_OPTION_TAKES_NO_VALUE, "--json")},
      {"update --manual nowhere.PCK", 1, Nothing, ExtraText(CLI_PACK_MISSING).arg("nowhere.PCK")},
      {"poi write bad.txt", 1, Nothing, {}},
      {"poi write missing.txt", 1, Nothing, ExtraText(CLI_POI_FILE_NOT_READ).arg("missing.txt")},
      {"poi write blank.txt", 1, Nothing, ExtraText(CLI_POI_FILE_FOREIGN).arg("blank.txt")},
      {"recover bad.txt", 1, Nothing, ExtraText(RESET_NOT_A_PACKAGE)},
      {"update", 1, Nothing, Ui(UiIndex(ERROR_MSG_001, 2), kLanguageFrench)},  // the update server is down
      {"poi erase", 1, Unplug, noUnit},
      {"speed-unit km/h", 1, Nothing, noUnit},
      {"update", 1, Nothing, noUnit},
      // The lock comes before the unit; a wrong command line needs none.
      {"poi erase", 3, Lock, inUse},
      {"status --json", 3, Nothing, inUse},
      {"update --dry-run", 3, Nothing, inUse},
      {"recover --download", 3, Nothing, inUse},
      {"poi read -o x.gpx", 3, Nothing, inUse},
      {"speed-unit kph", 2, Nothing, {}},
  };
  // Files of the packages' names that no run of v770 wrote are the user's: they stay.
  const QStringList users = {"100412_Europe.hdr", "V770_FW_v0106.hdr"};
  for (const QString& name : users) ASSERT_TRUE(WriteFile(Work(name), "the user's own"));
  SingleInstance window(m_runtime.path());
  for (const auto& [args, exitCode, before, error] : cases) {
    SCOPED_TRACE(args);
    if (before == Unplug) {
      ASSERT_TRUE(m_unit.Client().Unplug());
    } else if (before == Lock) {
      ASSERT_TRUE(window.Acquire());
    }
    const CliRun run = Run(args);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    EXPECT_TRUE(error.isEmpty() || run.Err() == error + '\n') << run.err.constData();
    EXPECT_LT(run.elapsedMs, kFailureLimitMs);  // every failure ends at once
  }
  EXPECT_TRUE(UnitPoiCount() == 0 && Received(m_unit).isEmpty() && !QFile::exists(Work("x.gpx")));
  EXPECT_EQ(PackageFiles(), users);
  for (const QString& name : users) EXPECT_EQ(ReadFile(Work(name)), "the user's own") << name.toStdString();
  // A command's own help, and the POI commands' when none of them is named.
  const CliRun readHelp = Ok("poi read --help"), poi = Run("poi");
  EXPECT_EQ(poi.exitCode, 2);
  for (ExtraTextId id : {CLI_HELP_POI_READ, CLI_HELP_POI_WRITE, CLI_HELP_STATUS}) {
    EXPECT_EQ(readHelp.out.contains(ExtraText(id).toUtf8()), id == CLI_HELP_POI_READ);
    EXPECT_EQ(poi.out.contains(ExtraText(id).toUtf8()), id != CLI_HELP_STATUS);
  }
  SetLanguage(kLanguageEnglish);
  SetExtraTextLanguage(kLanguageEnglish);

  // Without the UI text file, or the program's own texts, one line names file and folder.
  QTemporaryDir bare;
  const char *uiTexts = "V770UIText_New_v12.txt", *extra = kExtraTextFileName;
  for (const auto& [present, missing] : {std::pair{extra, uiTexts}, {uiTexts, extra}}) {
    ASSERT_TRUE(QFile::copy(Work(present), bare.filePath(present)));
    const CliRun run = Run(QStringList{"status"}, bare.path());
    EXPECT_EQ(std::pair(run.exitCode, run.Err()),
              std::pair(1, ExtraText(CLI_FILE_MISSING).arg(QString(missing), bare.path()) + '\n'));
    QFile::remove(bare.filePath(present));
  }
}

}  // namespace
