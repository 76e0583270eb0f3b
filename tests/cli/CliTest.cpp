// The v770 program end to end: run as a user runs it, in a working folder of its own, against
// the emulated unit and the loopback FTP server.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>

#include "../update/UpdateTestSupport.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateServer.h"

using namespace UpdateTestSupport;

namespace {

constexpr qint64 kServerDownLimitMs = 5000;

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

struct CliRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
  qint64 elapsedMs = 0;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_work.isValid() && m_config.isValid() && m_ftpRoot.isValid());
    for (const char* name : {"V770UIText_New_v12.txt", "V770_VersionInfo_v12.txt", kExtraTextFileName})
      ASSERT_TRUE(QFile::copy(TestSupport::ShippedDataPath(QString::fromLatin1(name)), Work(QString::fromLatin1(name))));
    ASSERT_TRUE(m_unit.Start(QJsonObject{{"version", kUnitVersion}})) << m_unit.DaemonLog().constData();
    ASSERT_TRUE(ReadUITextFile(Work(QStringLiteral("V770UIText_New_v12.txt")), m_texts));
  }

  QString Work(const QString& name) const { return m_work.filePath(name); }

  // The language the window remembered last.
  void RememberLanguage(int language) {
    QSettings settings(m_config.filePath(QStringLiteral("V770PCSoft.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Config/LanguageID"), language);
  }

  void ServePackages() {
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"),
                            BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 60000)));
    ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", QStringLiteral("V770_FW_v0106"),
                            BuildPackage(PackageHeader::kFirmware, 0, {1, 6, 0}, 40000)));
    ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
    m_server = m_ftp.BaseUrl() + QString::fromLatin1(UpdateCatalogue::kServerPath);
  }

  CliRun Run(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    env.insert(QString::fromLatin1(UpdateServer::kOverrideVariable), m_server);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_work.path());
    QElapsedTimer clock;
    clock.start();
    process.start(TestSupport::BinPath(QStringLiteral("v770")), args);
    CliRun run;
    if (!process.waitForFinished(kRunTimeoutMs)) {
      process.kill();
      process.waitForFinished();
      return run;
    }
    run.elapsedMs = clock.elapsed();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
  }

  QString Ui(int index, int language = kLanguageEnglish) const { return UiText(m_texts, language, index); }

  QTemporaryDir m_work;
  QTemporaryDir m_config;
  QTemporaryDir m_ftpRoot;
  TestSupport::FtpServer m_ftp;
  UnitEmulator m_unit;
  UiTextTables m_texts;
  QString m_server = QStringLiteral("ftp://127.0.0.1:1/down/FW/V770");
};

// One line on standard error, and nothing else.
void ExpectOneErrorLine(const CliRun& run, const QString& text) {
  EXPECT_EQ(QString::fromUtf8(run.err), text + QLatin1Char('\n'));
}

}  // namespace

TEST_F(CliTest, StatusJsonGivesTheUnitsValuesOrNotConnected) {
  const CliRun connected = Run({QStringLiteral("status"), QStringLiteral("--json")});
  ASSERT_EQ(connected.exitCode, 0) << connected.err.constData();
  EXPECT_EQ(QJsonDocument::fromJson(connected.out).object(),
            (QJsonObject{{"connected", true},
                         {"hardwareId", 7},
                         {"firmware", "1.5"},
                         {"dbArea", "Europe"},
                         {"dbAreaCode", 2},
                         {"dbVersion", 100411},
                         {"voiceVersion", 10203},
                         {"speedUnit", "km/h"}}))
      << connected.out.constData();

  ASSERT_TRUE(m_unit.Client().Unplug());
  const CliRun away = Run({QStringLiteral("status"), QStringLiteral("--json")});
  EXPECT_EQ(away.exitCode, 0);
  EXPECT_EQ(QJsonDocument::fromJson(away.out).object(), (QJsonObject{{"connected", false}}));
  // The plain form speaks the window's language.
  RememberLanguage(kLanguageFrench);
  const CliRun plain = Run({QStringLiteral("status")});
  EXPECT_TRUE(QString::fromUtf8(plain.out).contains(Ui(UiIndex(MAIN_TAB_001, 11), kLanguageFrench)))
      << plain.out.constData();
}

TEST_F(CliTest, UpdateInstallsTheNewerPackagesAndDryRunSendsNothing) {
  ServePackages();
  const CliRun dry = Run({QStringLiteral("update"), QStringLiteral("--dry-run")});
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

  const CliRun update = Run({QStringLiteral("update")});
  ASSERT_EQ(update.exitCode, 0) << update.err.constData();
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("kind")].toString(), QStringLiteral("database"));
  EXPECT_EQ(received[1][QStringLiteral("kind")].toString(), QStringLiteral("firmware"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool() && received[1][QStringLiteral("installed")].toBool());
  // Not a terminal: plain progress lines, then the end message with the restart advice.
  const QString out = QString::fromUtf8(update.out);
  EXPECT_TRUE(out.contains(QStringLiteral("\n100%\n"))) << update.out.constData();
  EXPECT_TRUE(out.endsWith(Ui(UiIndex(DBFW_TAB_001, 19)) + QLatin1Char('\n') + Ui(UiIndex(ERROR_MSG_001, 10)) +
                           QLatin1Char('\n')))
      << update.out.constData();
  EXPECT_TRUE(QDir(m_work.path()).entryList({QStringLiteral("*.hdr")}).isEmpty());
}

TEST_F(CliTest, UpdateFromAServerThatIsDownFailsWithinFiveSeconds) {
  m_server = QStringLiteral("ftp://127.0.0.1:%1%2").arg(TestSupport::FtpServer::FreePort()).arg(UpdateCatalogue::kServerPath);
  const CliRun run = Run({QStringLiteral("update")});
  EXPECT_NE(run.exitCode, 0);
  EXPECT_LT(run.elapsedMs, kServerDownLimitMs);
  ExpectOneErrorLine(run, Ui(UiIndex(ERROR_MSG_001, 2)));
  EXPECT_TRUE(ReceivedPackages(m_unit.Status()).isEmpty());
}

TEST_F(CliTest, PoiWriteThenReadGivesBackTheSameFile) {
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("mine.txt")), kPoiFile));
  const CliRun write = Run({QStringLiteral("poi"), QStringLiteral("write"), QStringLiteral("mine.txt")});
  ASSERT_EQ(write.exitCode, 0) << write.err.constData();
  EXPECT_EQ(m_unit.Status()[QStringLiteral("poi")][QStringLiteral("count")].toInt(), 3);

  const CliRun read = Run({QStringLiteral("poi"), QStringLiteral("read"), QStringLiteral("-o"), QStringLiteral("back.txt")});
  ASSERT_EQ(read.exitCode, 0) << read.err.constData();
  EXPECT_EQ(TestSupport::ReadFile(Work(QStringLiteral("back.txt"))), kPoiFile);
  // The window's files: a backup before the write, an export after the read.
  EXPECT_EQ(QDir(m_work.path()).entryList({QStringLiteral("POI_SAVE_*.txt")}).size(), 1);
  EXPECT_EQ(QDir(m_work.path()).entryList({QStringLiteral("POI_??????_??????.txt")}).size(), 1);

  // A shorter file replaces all the unit held; erase leaves nothing.
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("one.txt")), kPoiFile.left(kPoiFile.indexOf('\n') + 1)));
  ASSERT_EQ(Run({QStringLiteral("poi"), QStringLiteral("write"), QStringLiteral("one.txt")}).exitCode, 0);
  EXPECT_EQ(Run({QStringLiteral("poi"), QStringLiteral("read")}).out, kPoiFile.left(kPoiFile.indexOf('\n') + 1));
  ASSERT_EQ(Run({QStringLiteral("poi"), QStringLiteral("erase")}).exitCode, 0);
  EXPECT_EQ(m_unit.Status()[QStringLiteral("poi")][QStringLiteral("count")].toInt(), 0);
}

TEST_F(CliTest, SpeedUnitAndRecoveryReachTheUnit) {
  ASSERT_EQ(Run({QStringLiteral("speed-unit"), QStringLiteral("mph")}).exitCode, 0);
  EXPECT_EQ(m_unit.Status()[QStringLiteral("speedUnit")].toInt(), 1);

  // From a file, then from the update server, each time once the unit is back from the
  // restart its new firmware makes.
  ServePackages();
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("fw.hdr")), BuildPackage(PackageHeader::kFirmware, 0, {1, 7, 0}, 5000)));
  const QStringList recoveries[] = {{QStringLiteral("recover"), QStringLiteral("fw.hdr")},
                                    {QStringLiteral("recover"), QStringLiteral("--download")}};
  for (const QStringList& args : recoveries) {
    ASSERT_TRUE(m_unit.WaitForStatus([](const QJsonObject& s) { return !s[QStringLiteral("restarting")].toBool(); },
                                     kRunTimeoutMs));
    const CliRun recover = Run(args);
    ASSERT_EQ(recover.exitCode, 0) << args.join(u' ').toStdString() << ": " << recover.err.constData();
    EXPECT_EQ(recover.out.trimmed().split('\n').last(), Ui(UiIndex(DBFW_TAB_001, 19)).toUtf8());
  }
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("version")].toString(), QStringLiteral("1.7"));
  EXPECT_EQ(received[1][QStringLiteral("version")].toString(), QStringLiteral("1.6"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool() && received[1][QStringLiteral("installed")].toBool());
}

TEST_F(CliTest, BadRequestsEndWithOneLineAndAnExitCode) {
  ASSERT_TRUE(TestSupport::WriteFile(Work(QStringLiteral("bad.txt")), "2007/01/01,00:00,0,0,0,\r\n"));
  struct Case {
    QStringList args;
    int exitCode;
    bool bUnplugged;
    QString error;  // empty: only one line is checked
  };
  const QString notConnected = Ui(UiIndex(ERROR_MSG_001, 1));
  const Case cases[] = {
      {{QStringLiteral("frobnicate")}, 2, false, {}},
      {{}, 2, false, {}},
      {{QStringLiteral("status"), QStringLiteral("--force")}, 2, false, {}},
      {{QStringLiteral("speed-unit"), QStringLiteral("kph")}, 2, false, {}},
      {{QStringLiteral("recover")}, 2, false, {}},
      {{QStringLiteral("poi"), QStringLiteral("read"), QStringLiteral("--format"), QStringLiteral("xls")}, 2, false, {}},
      {{QStringLiteral("poi"), QStringLiteral("write"), QStringLiteral("bad.txt")}, 1, false, {}},
      {{QStringLiteral("poi"), QStringLiteral("write"), QStringLiteral("missing.txt")}, 1, false, {}},
      {{QStringLiteral("recover"), QStringLiteral("bad.txt")}, 1, false, ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE)},
      {{QStringLiteral("poi"), QStringLiteral("erase")}, 1, true, notConnected},
      {{QStringLiteral("speed-unit"), QStringLiteral("km/h")}, 1, true, notConnected},
      {{QStringLiteral("update")}, 1, true, notConnected},
  };
  ASSERT_TRUE(LoadExtraTexts(Work(QString::fromLatin1(kExtraTextFileName))));
  for (const Case& c : cases) {
    if (c.bUnplugged) {
      ASSERT_TRUE(m_unit.Client().Unplug());
    }
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(u' ').toStdString();
    EXPECT_EQ(run.err.count('\n'), 1) << c.args.join(u' ').toStdString() << ": " << run.err.constData();
    if (!c.error.isEmpty()) ExpectOneErrorLine(run, c.error);
  }
  EXPECT_EQ(m_unit.Status()[QStringLiteral("poi")][QStringLiteral("count")].toInt(), 0);

  const CliRun help = Run({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"status", "update", "recover", "speed-unit", "poi read", "poi write", "poi erase", "--dry-run",
                              "--manual", "--area", "--voice", "--force", "--format", "--download", "--json"})
    EXPECT_TRUE(help.out.contains(command)) << command;
}
