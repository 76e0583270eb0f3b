#pragma once

#include <QtWidgets>

#include "UpdateTestSupport.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "support/FtpServer.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"
#include "update/UpdateServer.h"
#include "widgets/GradientLabel.h"

// The sheet with the shipped texts and catalogue, an identified emulated unit, the update
// page in a working folder of its own, a loopback FTP server on request; boxes recorded.
class UpdatePageFixture : public ::testing::Test {
 protected:
  // The unit of StartUnit; the shipped catalogue has database 100412 and firmware 1.6.
  using Reply = std::array<std::int8_t, 12>;
  static constexpr Reply kUnitReply = {2, 2, 4, 11, 7, 1, 5, 1, 2, 3, 0, 0};
  static constexpr Reply kOnlyDBOlder = {2, 2, 4, 11, 7, 1, 6, 1, 2, 3, 0, 0};
  static constexpr Reply kUpToDate = {2, 2, 4, 12, 7, 1, 6, 1, 2, 3, 0, 0};
  static constexpr COLORREF kOrange = CDBUpdateTab::kLampToSend, kGreen = CDBUpdateTab::kLampUpToDate;
  static constexpr std::array<COLORREF, 3> kAllGreen = {kGreen, kGreen, kGreen};

  void SetUp() override {
    m_messages.clear();
    ASSERT_TRUE(QDir::setCurrent(m_work.path()));
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages << request.text;
      if (m_whileMessageShown) m_whileMessageShown();
      return QMessageBox::Ok;
    });
    ASSERT_TRUE(m_unit.IsRunning() || UpdateTestSupport::StartUnit(m_unit)) << m_unit.DaemonLog().constData();
    m_sheet = std::make_unique<CV700UpdaterDlg>();
    CV700UpdaterDlg& s = *m_sheet;
    s.m_strCurDir = TestSupport::ShippedDataPath({});  // the shipped texts and catalogue
    s.m_strUITextPath = TestSupport::ShippedDataPath(CV700UpdaterDlg::kUITextFileName);
    s.m_strVersionPath = TestSupport::ShippedDataPath(CV700UpdaterDlg::kVersionFileName);
    ASSERT_TRUE(s.ReadUITextFile() && s.ReadVersionFile());
    s.m_bInternetConnected = s.m_bUnitConnected = true;
    s.m_pageMain.m_bConnectionShown = true;  // identified, as when its pages appeared
    SetUnitReply(kUnitReply);
  }
  void TearDown() override {
    m_sheet.reset();
    SetExtraTextLanguage(kLanguageEnglish);  // a test that switched the language leaves none behind
    UiSeams::SetMessageHandler({});
    qputenv(UpdateServer::kOverrideVariable, m_savedServer);
  }
  // A new sheet and page, for the next case of a table.
  void Renew() {
    TearDown();
    SetUp();
  }

  // The unit's version reply, shown and handed on as the main page does with it.
  void SetUnitReply(const Reply& reply) {
    std::copy(reply.begin(), reply.end(), m_sheet->m_pageMain.m_byVersionReply.begin());
    m_sheet->m_pageMain.OnVersionReply(CMainTab::kReplyReady, 0);
  }
  CDBUpdateTab& OpenPage() {
    Page().CreatePageWindow();
    return Page();
  }
  // Serves the FTP tree with a database package and points the program at it.
  void StartServer(const QByteArray& database) {
    ASSERT_TRUE(UpdateTestSupport::PutOnServer(m_ftpRoot.path(), "DB", "100412_Europe", database));
    ASSERT_TRUE(m_ftp.Start(m_ftpRoot.path()));
    qputenv(UpdateServer::kOverrideVariable, (m_ftp.BaseUrl() + UpdateCatalogue::kServerPath).toUtf8());
  }
  static void Choose(QComboBox* combo, int position) {
    combo->setCurrentIndex(position);
    emit combo->activated(position);
  }
  std::array<COLORREF, 3> Lamps() {  // database, voice, firmware
    const CDBUpdateTab& p = Page();
    return {p.m_lampDB->BackgroundColor(), p.m_lampVoice->BackgroundColor(), p.m_lampFW->BackgroundColor()};
  }
  QList<bool> RunControls() {
    const CDBUpdateTab& p = Page();
    return {p.m_radioAuto->isEnabled(),  p.m_radioManual->isEnabled(), p.m_comboDB->isEnabled(),
            p.m_comboVoice->isEnabled(), p.m_checkForce->isEnabled(),  p.m_buttonUpdate->isEnabled()};
  }
  QStringList WorkFiles() const { return QDir(m_work.path()).entryList(QDir::Files | QDir::Hidden); }
  // Presses Update, then waits until the user has been told `count` messages in all.
  ::testing::AssertionResult UpdateAndTold(qsizetype count) {
    Page().m_buttonUpdate->click();
    return Told(count);
  }
  ::testing::AssertionResult Told(qsizetype count) {
    if (TestSupport::WaitUntil([&] { return m_messages.size() >= count; }, UpdateTestSupport::kRunTimeoutMs))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "told only: " << m_messages.join('|').toStdString();
  }
  // Waits until the main page has asked the unit again and shows this database version.
  bool IdentifiedWith(const char* db) {
    return TestSupport::WaitUntil([&] { return Sheet().m_pageMain.m_staticDBValue->text() == db; },
                                  UpdateTestSupport::kRunTimeoutMs);
  }

  CDBUpdateTab& Page() { return m_sheet->m_pageUpdate; }
  CV700UpdaterDlg& Sheet() { return *m_sheet; }
  QString DBFW(int number) const { return m_sheet->Text(UiIndex(DBFW_TAB_001, number)); }
  QString Error(int number) const { return m_sheet->m_strErrorMsg[static_cast<size_t>(number - 1)]; }
  QString WorkFile(const QString& name) const { return m_work.filePath(name); }

  QTemporaryDir m_work, m_ftpRoot;
  TestSupport::FtpServer m_ftp;
  UnitEmulator m_unit;
  const QByteArray m_savedServer = qgetenv(UpdateServer::kOverrideVariable);
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  QStringList m_messages;
  // What a message box does while it is up (the user reading it); nothing unless set.
  std::function<void()> m_whileMessageShown;
};
