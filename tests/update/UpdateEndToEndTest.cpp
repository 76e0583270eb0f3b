// The update page driven as a user would, against an emulated unit and a real FTP server on
// loopback: automatic and manual updates, and what the user sees when things go wrong.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "UpdatePageFixture.h"
#include "UpdateTestSupport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateServer.h"
#include "widgets/GradientLabel.h"
#include "widgets/TextProgressBar.h"

using namespace UpdateTestSupport;
using TestSupport::WaitUntil;

namespace {

constexpr int kRunTimeoutMs = 60000;
constexpr COLORREF kGreen = 0x01FF00;

int DBFW(int number) { return UiIndex(DBFW_TAB_001, number); }

// The unit's "$VER>" reply, asked as the main page asks it; empty while the unit is away.
QByteArray AskVersions() {
  CUnitLibrary library;
  if (!library.Load() || library.open_dev() == CUnitLibrary::kNoUnit) return {};
  FdChannel read(library.open_file(UnitChannels::kMainRead));
  FdChannel write(library.open_file(UnitChannels::kMainWrite));
  if (!read.IsOpen() || !write.IsOpen()) return {};
  return UnitExchange::RequestWithReply(write, read, "$VER>", 12).value_or(QByteArray());
}

class UpdateEndToEndTest : public UpdatePageFixture {
 protected:
  void SetUp() override {
    UpdatePageFixture::SetUp();
    ASSERT_TRUE(m_ftpRoot.isValid());
    const QJsonObject version{{"area", 2},   {"db1", 2},    {"db2", 4},    {"db3", 11},
                              {"hwid", 7},   {"fwmajor", 1}, {"fwminor", 5}, {"voice1", 1},
                              {"voice2", 2}, {"voice3", 3},  {"voicelang", 0}};
    ASSERT_TRUE(m_unit.Start(QJsonObject{{"version", version}})) << m_unit.DaemonLog().constData();
    m_savedServer = qgetenv(UpdateServer::kOverrideVariable);
  }

  void TearDown() override {
    qputenv(UpdateServer::kOverrideVariable, m_savedServer);
    UpdatePageFixture::TearDown();
  }

  // Serves the FTP tree and points the program at it.
  void StartServer() {
    ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
    qputenv(UpdateServer::kOverrideVariable,
            (m_ftp.BaseUrl() + QString::fromLatin1(UpdateCatalogue::kServerPath)).toUtf8());
  }

  QStringList PackageFilesInWork() const {
    return QDir(m_work.path()).entryList({QStringLiteral("*.hdr")}, QDir::Files);
  }

  QTemporaryDir m_ftpRoot;
  TestSupport::FtpServer m_ftp;
  UnitEmulator m_unit;
  QByteArray m_savedServer;
};

}  // namespace

TEST_F(UpdateEndToEndTest, AutomaticUpdateOfDatabaseAndFirmware) {
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"),
                          BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 60000)));
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "FW", Sheet().m_strFWFile,
                          BuildPackage(PackageHeader::kFirmware, 0, {1, 6, 0}, 40000)));
  StartServer();
  OpenPage();
  CDBUpdateTab& page = Page();
  ASSERT_TRUE(page.m_bUpdateDB && page.m_bUpdateFW && !page.m_bUpdateVoice);
  QList<int> steps;
  QObject::connect(&page.m_run, &UpdateRun::timerStep, [&](int id) {
    if (id != UpdateRun::kTimerWatchdog) steps << id;
  });

  page.m_buttonUpdate->click();
  EXPECT_TRUE(Sheet().m_pageMain.m_bBusy);
  EXPECT_FALSE(Sheet().m_pageMain.IsPollTimerActive());
  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));

  EXPECT_EQ(m_messages, QStringList{Text(DBFW(19)) + QStringLiteral("\n") + Error(10)});
  EXPECT_EQ(steps, (QList<int>{5, 6, 7, 8}));
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("kind")].toString(), QStringLiteral("database"));
  EXPECT_EQ(received[1][QStringLiteral("kind")].toString(), QStringLiteral("firmware"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_TRUE(received[1][QStringLiteral("installed")].toBool());

  // The page is back at rest and the main page polls again.
  EXPECT_TRUE(PackageFilesInWork().isEmpty());
  EXPECT_FALSE(Sheet().m_pageMain.m_bBusy);
  EXPECT_TRUE(Sheet().m_pageMain.IsPollTimerActive());
  EXPECT_FALSE(page.m_bUpdateDB || page.m_bUpdateVoice || page.m_bUpdateFW || page.m_bForce);
  EXPECT_EQ(page.m_lampDB->BackgroundColor(), kGreen);
  EXPECT_EQ(page.m_lampFW->BackgroundColor(), kGreen);
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());
  EXPECT_EQ(page.m_progress->GetPos(), 0);
  EXPECT_TRUE(page.m_labelSendPhase->text().isEmpty());
  EXPECT_EQ(page.m_nMode, CDBUpdateTab::kModeAuto);

  // After its restart the unit reports the new versions.
  QByteArray reply;
  ASSERT_TRUE(WaitUntil(
      [&] {
        reply = AskVersions();
        return reply.size() == 12 && reply[3] == 12 && reply[6] == 6;
      },
      kRunTimeoutMs))
      << reply.toHex().constData();
  EXPECT_EQ(reply[5], 1);

  // The program asks the unit again: the main page and the update page show what it now
  // holds, and nothing is left to update.
  CMainTab& main = Sheet().m_pageMain;
  EXPECT_TRUE(WaitUntil([&] { return main.m_staticFWValue->text() == QStringLiteral("v 1.6"); }, kRunTimeoutMs))
      << main.m_staticFWValue->text().toStdString();
  EXPECT_EQ(main.m_staticDBValue->text(), QStringLiteral("v 100412"));
  EXPECT_EQ(page.m_nUnitDBVersion, 100412);
  EXPECT_TRUE(page.m_labelFWVersion->text().endsWith(QStringLiteral("1.6")))
      << page.m_labelFWVersion->text().toStdString();
  EXPECT_FALSE(page.m_bUpdateDB || page.m_bUpdateFW);
  EXPECT_EQ(page.m_lampFW->BackgroundColor(), kGreen);
}

TEST_F(UpdateEndToEndTest, ManualUpdateFromThePack) {
  const QByteArray db = BuildPackage(PackageHeader::kDatabase, 3, {2, 4, 20}, 30000, 7);
  const QByteArray voice = BuildPackage(PackageHeader::kVoice, 1, {1, 2, 4}, 25000, 8);
  ASSERT_TRUE(MakeZip(WorkFile(QString::fromLatin1(kManualPackFileName)),
                      {{QStringLiteral("ZipLIST.txt"), "DB_FNAME=db.hdr\r\nVOICE_FNAME=voice.hdr\r\n"},
                       {QStringLiteral("db.hdr"), db},
                       {QStringLiteral("voice.hdr"), voice}}));
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_radioManual->click();
  ASSERT_TRUE(page.m_bUpdateDB && page.m_bUpdateVoice && !page.m_bUpdateFW);
  Sheet().m_pageMain.m_bConnectionShown = true;  // identified, as when its pages appeared
  QList<int> steps;
  QObject::connect(&page.m_run, &UpdateRun::timerStep, [&](int id) {
    if (id != UpdateRun::kTimerWatchdog) steps << id;
  });

  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, QStringList{Text(DBFW(19))});  // no firmware: no restart line
  EXPECT_EQ(steps, QList<int>{8});
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 2);
  EXPECT_EQ(received[0][QStringLiteral("kind")].toString(), QStringLiteral("database"));
  EXPECT_EQ(received[1][QStringLiteral("kind")].toString(), QStringLiteral("voice"));
  EXPECT_TRUE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_TRUE(received[1][QStringLiteral("installed")].toBool());
  const QByteArray reply = AskVersions();
  ASSERT_EQ(reply.size(), 12);
  EXPECT_EQ(reply[0], 3);    // the new area
  EXPECT_EQ(reply[9], 4);    // the new voice version
  EXPECT_EQ(reply[11], 1);   // and language
  // The sent files of the pack are deleted; its list stays.
  EXPECT_TRUE(PackageFilesInWork().isEmpty());
  EXPECT_TRUE(QFile::exists(WorkFile(QStringLiteral("ZipLIST.txt"))));
  EXPECT_TRUE(page.m_editDB->text().isEmpty());

  // No firmware, so the unit does not restart: the program still asks it again and shows
  // the new contents instead of what the unit held before the update.
  CMainTab& main = Sheet().m_pageMain;
  EXPECT_TRUE(WaitUntil([&] { return main.m_staticDBValue->text() == QStringLiteral("v 100420"); }, kRunTimeoutMs))
      << main.m_staticDBValue->text().toStdString();
  EXPECT_EQ(main.m_staticVoiceValue->text(), QStringLiteral("v 10204"));
  EXPECT_EQ(page.m_nUnitVoiceVersion, 10204);
}

// Nothing is read back during a transfer: the user is told the update is complete while
// the unit has thrown the package away.
TEST_F(UpdateEndToEndTest, CorruptedPackageLooksCompleteToTheUser) {
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"),
                          CorruptPackage(BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 40000))));
  StartServer();
  SetUnitReply({2, 2, 4, 11, 7, 1, 6, 1, 2, 3, 0, 0});  // only the database is older
  OpenPage();
  Page().m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, QStringList{Text(DBFW(19))});
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 1);
  EXPECT_FALSE(received[0][QStringLiteral("installed")].toBool());
  EXPECT_EQ(AskVersions().at(3), 11);  // still the old database
}

TEST_F(UpdateEndToEndTest, UnitPulledOutDuringTheTransfer) {
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"),
                          BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 1024 * 1024)));
  StartServer();
  ASSERT_TRUE(m_unit.Client().Rate(128 * 1024));  // some seconds for the whole package
  SetUnitReply({2, 2, 4, 11, 7, 1, 6, 1, 2, 3, 0, 0});
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_run.SetWatchdogPeriodMs(500);  // 21 ticks without progress: about 10 s
  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return page.m_progress->GetPos() > 0; }, kRunTimeoutMs));
  EXPECT_EQ(page.m_labelSendPhase->text(), Text(DBFW(16)));
  ASSERT_TRUE(m_unit.Client().Unplug());

  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, QStringList{Error(11)});
  // The writes ran out of retries first: the error line says the transfer failed.
  EXPECT_FALSE(page.m_labelError->isHidden());
  EXPECT_EQ(page.m_labelError->text(), Text(DBFW(6)));
  EXPECT_FALSE(page.m_buttonUpdate->isEnabled());
  EXPECT_TRUE(Sheet().m_pageMain.m_bBusy);
  const QJsonArray received = ReceivedPackages(m_unit.Status());
  ASSERT_EQ(received.size(), 1);
  EXPECT_FALSE(received[0][QStringLiteral("installed")].toBool());

  // Switching the mode makes the button usable again.
  ASSERT_TRUE(m_unit.Client().Plug());
  page.m_radioAuto->click();
  EXPECT_TRUE(page.m_buttonUpdate->isEnabled());
}

TEST_F(UpdateEndToEndTest, MissingFileOrServerDownEndsWithTheWatchdogsMessage) {
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "Voice", QStringLiteral("unrelated"), QByteArray(2000, 'v')));
  StartServer();
  SetUnitReply({2, 2, 4, 11, 7, 1, 6, 1, 2, 3, 0, 0});  // the database is due, not on the server
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_run.SetWatchdogPeriodMs(50);
  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, QStringList{Error(11)});
  EXPECT_TRUE(PackageFilesInWork().isEmpty());
  EXPECT_TRUE(ReceivedPackages(m_unit.Status()).isEmpty());

  // Again with the server gone.
  m_ftp.Stop();
  m_messages.clear();
  page.m_radioAuto->click();
  ASSERT_TRUE(page.m_buttonUpdate->isEnabled());
  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, QStringList{Error(11)});
  EXPECT_TRUE(ReceivedPackages(m_unit.Status()).isEmpty());
}

TEST_F(UpdateEndToEndTest, UnitGoneBeforeTheTransferCannotOpenTheChannel) {
  const QByteArray db = BuildPackage(PackageHeader::kDatabase, 2, {2, 4, 12}, 5000);
  ASSERT_TRUE(PutOnServer(m_ftpRoot.path(), "DB", QStringLiteral("100412_Europe"), db));
  StartServer();
  SetUnitReply({2, 2, 4, 11, 7, 1, 6, 1, 2, 3, 0, 0});
  OpenPage();
  CDBUpdateTab& page = Page();
  page.m_run.SetWatchdogPeriodMs(50);
  ASSERT_TRUE(m_unit.Client().Unplug());
  page.m_buttonUpdate->click();
  ASSERT_TRUE(WaitUntil([&] { return m_messages.size() >= 2; }, kRunTimeoutMs));
  EXPECT_EQ(m_messages, (QStringList{Error(12), Error(11)}));
}
