// Downloads from a loopback FTP server: contents, reports, and no failure leaves a file behind.
#include <QCoreApplication>
#include <optional>
#include <thread>

#include "UpdateTestSupport.h"
#include "support/FtpServer.h"
#include "text/ExtraTexts.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadByteSize.h"
#include "update/DownloadQueuedSink.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"

using TestSupport::FtpServer;

namespace {

struct RecordingSink : IDownloadSink {
  struct Report {
    QString statusText, progressText;
    int percent;
    quint64 done, total;
  };
  void OnDownloadProgress(const QString& status, const QString& text, int percent, quint64 done,
                          quint64 total) override {
    reports.push_back({status, text, percent, done, total});
  }
  std::vector<Report> reports;
};

struct HookedCallback : CDownloadStatusCallback {  // may stop the transfer at a report of its choosing
  HookedCallback(IDownloadSink* sink, std::function<bool(quint64 done, quint64 total)> abortWhen)
      : CDownloadStatusCallback(sink), abortWhen(std::move(abortWhen)) {}
  Answer OnProgress(quint64 done, quint64 total, const QString& status) override {
    if (abortWhen && abortWhen(done, total)) return Answer::Abort;
    return CDownloadStatusCallback::OnProgress(done, total, status);
  }
  std::function<bool(quint64, quint64)> abortWhen;
};

QByteArray Bytes(std::size_t size) { return UpdateTestSupport::Database(size - PackageHeader::kPayloadOffset); }

TEST(DownloadReportTest, SizesTextsPercentDeadlineAndAbort) {
  const std::pair<quint64, const char*> sizes[] = {
      {0, "0 bytes"},          {1023, "1023 bytes"},       {1024, "1.00 KB"},  {2047, "1.99 KB"},  // cut, not rounded
      {12800, "12.5 KB"},      {999 * 1024, "999 KB"},     {1000 * 1024, "0.97 MB"},
      {quint64(12.3 * 1024 * 1024) + 1, "12.3 MB"},        {3ULL << 30, "3.00 GB"}, {~0ULL, "15.9 EB"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(FormatByteSize(size), text) << size;

  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  EXPECT_FALSE(callback.m_bDeadline);  // armed by a download only
  const std::tuple<quint64, quint64, const char*, int> steps[] = {
      {0, 0, "", 0},                                // no total yet: no text
      {999, 1000, " 999 bytes / 1000 bytes", 99},  // truncated
      {5000, 0, " 999 bytes / 1000 bytes", 0},      // no total: the text stays
      {1536, 3072, " 1.50 KB / 3.00 KB", 50}};
  for (const auto& [done, total, text, percent] : steps) {
    EXPECT_EQ(callback.OnProgress(done, total, QStringLiteral("status")), CDownloadStatusCallback::Answer::Continue);
    EXPECT_EQ(std::tuple(sink.reports.back().progressText, sink.reports.back().percent, sink.reports.back().done),
              std::tuple(QString(text), percent, done));
  }
  EXPECT_EQ(sink.reports.back().statusText, "status");

  // A passed deadline or an abort request stops the transfer and reports nothing.
  callback.ArmDeadline(10);
  EXPECT_EQ(callback.OnProgress(1, 2, QString()), CDownloadStatusCallback::Answer::Continue);
  callback.m_timeDeadline -= 11;
  EXPECT_EQ(callback.OnProgress(2, 2, QString()), CDownloadStatusCallback::Answer::Abort);
  CDownloadStatusCallback aborted(&sink);
  aborted.RequestAbort();
  EXPECT_EQ(aborted.OnProgress(1, 2, QString()), CDownloadStatusCallback::Answer::Abort);
  EXPECT_EQ(sink.reports.size(), 5u);

  // Reports made on a worker reach the page's thread, and only while the page lives.
  RecordingSink target;
  auto page = std::make_unique<QObject>();
  auto queued = std::make_shared<CDownloadQueuedSink>(page.get(), &target);
  std::thread([queued] { queued->OnDownloadProgress(QString(), QStringLiteral(" a / b"), 50, 1, 2); }).join();
  EXPECT_TRUE(target.reports.empty());  // not delivered on the worker
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return !target.reports.empty(); }, 5000));
  EXPECT_EQ(std::pair(target.reports[0].progressText, target.reports[0].percent), std::pair(QString(" a / b"), 50));
  std::thread([queued] { queued->OnDownloadProgress(QString(), QStringLiteral("late"), 0, 0, 0); }).join();
  page.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(target.reports.size(), 1u);
}

class DownloadFromServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start(serverDir.path())) << server.Log().toStdString(); }
  QString Publish(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(TestSupport::WriteFile(serverDir.filePath(name), bytes));
    return server.BaseUrl() + QLatin1Char('/') + name;
  }
  QStringList LocalFiles() const {
    return QDir(localDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
  }

  QTemporaryDir serverDir, localDir, outside;
  FtpServer server;
};

TEST_F(DownloadFromServer, CopiesTheFileWithRisingReportsAndReplacesAnOlderOne) {
  const QByteArray bytes = Bytes(300 * 1024 + 17);
  const QString target = localDir.filePath(QStringLiteral("V770_FW_v0106.hdr"));
  ASSERT_TRUE(TestSupport::WriteFile(target, "old contents"));
  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  QString error;
  ASSERT_EQ(DownloadToFile(Publish(QStringLiteral("FW/V770_FW_v0106.hdr"), bytes), target, callback, {}, &error),
            DownloadResult::Done)
      << error.toStdString();
  EXPECT_EQ(TestSupport::ReadFile(target), bytes);
  EXPECT_EQ(LocalFiles(), QStringList{QStringLiteral("V770_FW_v0106.hdr")});
  ASSERT_FALSE(sink.reports.empty());
  const RecordingSink::Report& last = sink.reports.back();
  EXPECT_EQ(std::tuple(last.done, last.total, last.percent, last.progressText),
            std::tuple(quint64(bytes.size()), quint64(bytes.size()), 100, QString(" 300 KB / 300 KB")));
  for (std::size_t i = 1; i < sink.reports.size(); ++i) EXPECT_GE(sink.reports[i].done, sink.reports[i - 1].done);
}

// Whatever goes wrong, the target keeps its old contents and no part of the download is left.
TEST_F(DownloadFromServer, FailuresLeaveNoFileAndWriteNothingElsewhere) {
  // Larger than the loopback socket buffers hold, so freezing the server stops the flow.
  constexpr std::size_t kWhole = 48 * 1024 * 1024;
  const QString url = Publish(QStringLiteral("pkg.hdr"), Bytes(kWhole));
  const QString small = Publish(QStringLiteral("small.hdr"), Bytes(6000));
  const QString outsideFile = outside.filePath(QStringLiteral("precious"));
  ASSERT_TRUE(TestSupport::WriteFile(outsideFile, "precious"));
  struct Case {
    const char* what;
    QString url, target;
    std::function<bool(quint64, quint64)> abortWhen;
    DownloadOptions options;
    DownloadResult result;
    rlim_t diskRoom = 0;  // the room left on the disk; 0: as much as needed
    ExtraTextId why = ExtraTextId::DOWNLOAD_WRITE_ERROR;  // the reason a write failure names
  };
  DownloadOptions pastDeadline, shortStall;
  pastDeadline.deadline = std::chrono::seconds(-1);
  shortStall.stallPeriod = std::chrono::seconds(2);
  bool frozen = false;
  const auto freeze = [&](quint64 done, quint64) { return done > 0 && !frozen && !(frozen = server.Pause()); };
  const QString target = localDir.filePath(QStringLiteral("pkg.hdr"));
  const QString down = QStringLiteral("ftp://127.0.0.1:%1/pkg.hdr").arg(FtpServer::FreePort());
  const auto midway = [](quint64 done, quint64 total) { return done > 0 && done < total; };
  // The server answers "no" alike to a file it lacks and to one it will not give (here: one
  // that leads out of its tree); its listing tells them apart, a folder's too.
  ASSERT_TRUE(QDir(serverDir.path()).mkpath(QStringLiteral("FW")));
  ASSERT_TRUE(QFile::link(outsideFile, serverDir.filePath(QStringLiteral("FW/kept.hdr"))));
  ASSERT_TRUE(QFile::link(outside.path(), serverDir.filePath(QStringLiteral("closed"))));
  QString wrongLogin = server.BaseUrl() + QStringLiteral("/pkg.hdr");
  wrongLogin.insert(wrongLogin.indexOf(QLatin1String("127.")), QLatin1String("nobody:wrong@"));
  const Case cases[] = {
      {"missing on the server", server.BaseUrl() + "/FW/none.hdr", target, {}, {}, DownloadResult::NotOnServer},
      {"missing folder on the server", server.BaseUrl() + "/no/none.hdr", target, {}, {}, DownloadResult::NotOnServer},
      {"refused by the server", server.BaseUrl() + "/FW/kept.hdr", target, {}, {}, DownloadResult::Refused},
      {"folder refused by the server", server.BaseUrl() + "/closed/precious", target, {}, {}, DownloadResult::Refused},
      {"login refused", wrongLogin, target, {}, {}, DownloadResult::Refused},
      {"server down", down, target, {}, {}, DownloadResult::Failed},
      {"no such local folder", url, localDir.filePath("no/such/pkg.hdr"), {}, {}, DownloadResult::WriteFailed, 0,
       ExtraTextId::DOWNLOAD_NO_FOLDER},
      {"target is a link", url, localDir.filePath("link.hdr"), {}, {}, DownloadResult::WriteFailed, 0,
       ExtraTextId::PATH_IS_LINK},
      {"aborted midway", url, target, midway, {}, DownloadResult::Aborted},
      {"deadline passed", url, target, {}, pastDeadline, DownloadResult::Aborted},
      {"disk full", url, target, {}, {}, DownloadResult::WriteFailed, 1024 * 1024, ExtraTextId::DOWNLOAD_DISK_FULL},
      {"disk full at the last bytes", small, target, {}, {}, DownloadResult::WriteFailed, 2048,
       ExtraTextId::DOWNLOAD_DISK_FULL},
      {"no byte for the stall period", url, target, freeze, shortStall, DownloadResult::Stalled},
  };
  ASSERT_TRUE(QFile::link(outsideFile, localDir.filePath(QStringLiteral("link.hdr"))));
  ASSERT_TRUE(TestSupport::WriteFile(target, "old contents"));
  for (const Case& c : cases) {
    RecordingSink sink;
    HookedCallback callback(&sink, c.abortWhen);
    QString error;
    QElapsedTimer timer;
    timer.start();
    std::optional<UpdateTestSupport::FullDisk> full;
    if (c.diskRoom) full.emplace(c.diskRoom);
    EXPECT_EQ(DownloadToFile(c.url, c.target, callback, c.options, &error), c.result) << c.what;
    full.reset();
    EXPECT_LT(timer.elapsed(), 30000) << c.what;
    // A write failure names the file and the reason in the user's language.
    EXPECT_EQ(error, c.result == DownloadResult::WriteFailed
                         ? ExtraText(ExtraTextId::DOWNLOAD_WRITE_FAILED).arg(c.target, ExtraText(c.why))
                         : error.isEmpty() ? QString("a reason") : error)
        << c.what;
    // A failure ends the download where it happens: a failed write does not fetch the rest.
    EXPECT_LT(sink.reports.empty() ? 0 : sink.reports.back().done, quint64(kWhole)) << c.what;
    EXPECT_EQ(LocalFiles(), (QStringList{QStringLiteral("link.hdr"), QStringLiteral("pkg.hdr")})) << c.what;
    EXPECT_EQ(TestSupport::ReadFile(target), "old contents") << c.what;
    EXPECT_TRUE(c.options.deadline.count() >= 0 || sink.reports.empty()) << c.what;
    EXPECT_TRUE(!frozen || timer.elapsed() >= 2000);
  }
  EXPECT_TRUE(frozen && server.Resume());
  EXPECT_EQ(TestSupport::ReadFile(outsideFile), "precious");
}

}  // namespace
