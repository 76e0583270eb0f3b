// The program run as a user runs it: one per user, and closed during any of its operations.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <functional>

#include "support/FtpServer.h"
#include "support/ProgramProcess.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateCatalogue.h"

using TestSupport::BinPath;
using TestSupport::WaitUntil;

namespace {

// Start, the offline splash, one poll, the 1.5 s wait and the answer, on a loaded machine.
constexpr int kIdentifiedTimeoutMs = 20000;
constexpr int kWouldHaveAskedMs = 4000;  // for a program that did start to have asked the unit

qsizetype VersionQueries(UnitEmulator& unit) { return ReceivedOn(unit, "PIPE00Main").size(); }

// A program that crashed leaves its lock behind; the next start takes it over, and a start
// while that one runs hands over and ends without talking to the unit.
TEST(OneProgram, CrashedProgramDoesNotBlockAndSecondStartHandsOver) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(QJsonObject{{"plugged", true}}));
  qputenv("V770_INTERNET", "0");
  ProgramProcess programs;
  QProcess& crashed = programs.Start();
  ASSERT_TRUE(WaitUntil([&] { return VersionQueries(unit) == 1; }, kIdentifiedTimeoutMs));
  crashed.kill();
  ASSERT_TRUE(crashed.waitForFinished());
  QProcess& running = programs.Start();
  ASSERT_TRUE(WaitUntil([&] { return VersionQueries(unit) == 2; }, kIdentifiedTimeoutMs))
      << "the lock of the crashed program blocked the next start";
  QProcess& second = programs.Start();
  ASSERT_TRUE(second.waitForFinished(kIdentifiedTimeoutMs));
  EXPECT_EQ(std::pair(second.exitStatus(), second.exitCode()), std::pair(QProcess::NormalExit, 0))
      << "the running program did not answer";
  QThread::msleep(kWouldHaveAskedMs);
  EXPECT_EQ(VersionQueries(unit), 2) << "two programs talked to the unit";
  EXPECT_EQ(running.state(), QProcess::Running);
  qunsetenv("V770_INTERNET");
}

constexpr int kCloseLimitMs = 3000;
// Start, the splash, the identification, the presses and the package before the one waited for.
constexpr int kOperationStartTimeoutMs = 40000;
constexpr int kSettleMs = 1000;             // lets the operation reach its wait
constexpr int kUnpackDialogSettleMs = 200;  // within the dialog's start delay
constexpr int kPauseSettleMs = 300;         // within the 1.5 s pause after a package
constexpr int kBytesPerSecond = 20000;      // every package takes seconds
constexpr int kPoiReplyDelayMs = 1500;      // within the program's reply time-out
constexpr int kImportedPois = 60;           // 12 s of paced writes

// The running program and what it talks to.
struct Session {
  UnitEmulator& unit;
  TestSupport::FtpServer& ftp;
  ProgramProcess& programs;

  bool Settled(bool reached, int ms = kSettleMs) const { return reached && (QThread::msleep(ms), true); }
  bool Logged(const char* line) const { return programs.ErrorOutput().contains(QLatin1String(line)); }
  // The newest message on `channel` that starts with `start` (its log keeps the newest records).
  QByteArray Last(const char* channel, const QByteArray& start) const {
    QByteArray last;
    for (const QByteArray& message : ReceivedOn(unit, QLatin1String(channel)))
      if (message.startsWith(start)) last = message;
    return last;
  }
  void Prepare(const char* presses, const char* internet = "0", const QString& fileAnswer = {}) const {
    qputenv("V770_PRESS", presses);
    qputenv("V770_INTERNET", internet);
    qputenv("V770_FILE_ANSWER", fileAnswer.toUtf8());
  }
  void WithManualPack(const char* presses) const {
    Prepare(presses);
    QFile::copy(BinPath(QStringLiteral("../data/demo/") + kManualPackFileName),
                programs.WorkPath(QLatin1String(kManualPackFileName)));
  }
};

// At full speed the database is installed as its channel closes; the program then pauses
// before the voice, and a moment later it is well within that pause.
bool Pausing(Session& s) {
  const QJsonObject status = s.unit.Status();
  const QJsonArray log = status["log"]["PIPE00DB"].toArray();
  const bool closed = !log.isEmpty() && log.last()["event"].toString() == "closed";
  return s.Settled(status["packages"].toArray().size() == 1 && closed, kPauseSettleMs);
}

// One operation of the running program: how it is started and kept going, when it runs.
struct CloseCase {
  const char* name;
  std::function<void(Session&)> prepare;
  std::function<bool(Session&)> reached;
  bool asks = false;  // closing asks first: the unit is being written to
};

// The whole update run counts as a transfer, its downloads and pauses too: they leave the unit
// with part of it. Every package goes out through the same sender, the database here.
const CloseCase kCloseCases[] = {
    {"WhileTheUnitIsAsked", [](Session& s) { s.Prepare(""), s.unit.Client().ReplyDelay(60000); },
     [](Session& s) { return !s.Last("PIPE00Main", "$VER>").isEmpty(); }},
    {"Download", [](Session& s) { s.Prepare("Update:Update", "1"), s.ftp.Pause(); },
     [](Session& s) { return s.Settled(s.Logged("press: Update:Update")); }, true},
    {"DatabaseTransfer",
     [](Session& s) { s.WithManualPack("Update:Update"), s.unit.Client().Rate(kBytesPerSecond); },
     [](Session& s) { return s.Last("PIPE00DB", "V7PK").mid(4, 1) == "\x01"; }, true},
    {"PauseBetweenPackages", [](Session& s) { s.WithManualPack("Update:Update"); }, Pausing, true},
    {"RecoveryDownload",
     [](Session& s) {
       s.Prepare("Firmware recovery:Automatic recovery;Firmware recovery:Update");
       s.ftp.Pause();
     },
     [](Session& s) { return s.Settled(s.Logged("press: Firmware recovery:Update")); }},
    {"RecoveryTransfer",
     [](Session& s) {
       const QDir firmware(BinPath(QStringLiteral("../data/ftp") + UpdateCatalogue::kServerPath + "/FW"));
       s.Prepare("Firmware recovery:Browse...;Firmware recovery:Update", "0",
                 firmware.filePath(firmware.entryList({"*.hdr"}).value(0)));
       s.unit.Client().Rate(kBytesPerSecond);
     },
     [](Session& s) { return !s.Last("PIPE00RESET", "").isEmpty(); }, true},
    {"PoiRead", [](Session& s) { s.Prepare("POI:Read"), s.unit.Client().ReplyDelay(kPoiReplyDelayMs); },
     [](Session& s) { return !s.Last("PIPE00POI", "$PC>").isEmpty(); }},
    {"PoiSave",
     [](Session& s) {
       QByteArray pois = "Name;Latitude;Longitude;Heading;Date;Time\n";
       for (int i = 0; i < kImportedPois; ++i)  // a kilometre apart: no duplicates
         pois += QStringLiteral("P%1;48,%2;2,35;90;2015/06/12;08:30\n").arg(i).arg(10000 + i * 1000).toLatin1();
       ASSERT_TRUE(TestSupport::WriteFile(s.programs.WorkPath("import.csv"), pois));
       s.Prepare("POI:Read from PC;POI:Save", "0", s.programs.WorkPath("import.csv"));
     },
     [](Session& s) { return !s.Last("PIPE00POI", "$P8<").isEmpty(); }, true},
    {"ManualPackUnpack", [](Session& s) { s.WithManualPack("Update:"); },
     [](Session& s) { return s.Settled(s.Logged("page: Update"), kUnpackDialogSettleMs); }},
};

class CloseTest : public ::testing::TestWithParam<CloseCase> {};

// Closed (the desktop ending it is the close box) during any operation, the program asks
// first while the unit is written to (answered yes), then ends with status 0 within 3 s.
TEST_P(CloseTest, EndsWithStatusZeroWithinThreeSeconds) {
  UnitEmulator unit;
  const QByteArray demoUnit = TestSupport::ReadFile(TestSupport::ShippedDataPath("../unitsim/demo-unit.json"));
  ASSERT_TRUE(unit.Start(QJsonDocument::fromJson(demoUnit).object()));
  TestSupport::FtpServer ftp;
  ASSERT_TRUE(ftp.Start(BinPath(QStringLiteral("../data/ftp"))));
  ProgramProcess programs;
  Session session{unit, ftp, programs};
  qputenv("V770_MESSAGE_ANSWER", "yes");
  qputenv("V770_UPDATE_SERVER", (ftp.BaseUrl() + UpdateCatalogue::kServerPath).toUtf8());
  GetParam().prepare(session);
  QProcess& program = programs.Start();
  for (const char* name :
       {"V770_INTERNET", "V770_MESSAGE_ANSWER", "V770_PRESS", "V770_FILE_ANSWER", "V770_UPDATE_SERVER"})
    qunsetenv(name);
  ASSERT_TRUE(WaitUntil([&] { return GetParam().reached(session); }, kOperationStartTimeoutMs))
      << programs.ErrorOutput().toStdString();

  const TestSupport::Clock clock;
  program.terminate();
  const bool ended = program.waitForFinished(kCloseLimitMs);
  ftp.Resume();
  ASSERT_TRUE(ended) << "still running after " << clock.elapsed() << " ms";
  EXPECT_EQ(std::pair(program.exitStatus(), program.exitCode()), std::pair(QProcess::NormalExit, 0));
  EXPECT_EQ(programs.ErrorOutput().contains(ExtraText(ExtraTextId::CLOSE_DURING_TRANSFER)), GetParam().asks);
}

INSTANTIATE_TEST_SUITE_P(States, CloseTest, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
