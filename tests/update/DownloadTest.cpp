// Downloads from a loopback FTP server: contents, reports, and no failure leaves a file behind.
#include <optional>

#include "UpdateTestSupport.h"
#include "support/FtpServer.h"
#include "text/ExtraTexts.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadByteSize.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"

using TestSupport::FtpServer;

namespace {

// Records the reports it hands on, and may stop the transfer at a report of its choosing.
struct RecordingCallback : CDownloadStatusCallback, IDownloadSink {
  struct Report { QString statusText, progressText; int percent; quint64 done, total; };
  explicit RecordingCallback(std::function<bool(quint64 done, quint64 total)> abortWhen = {})
      : CDownloadStatusCallback(this), abortWhen(std::move(abortWhen)) {}
  Answer OnProgress(quint64 done, quint64 total, const QString& status) override {
    if (abortWhen && abortWhen(done, total)) return Answer::Abort;
    return CDownloadStatusCallback::OnProgress(done, total, status);
  }
  void OnDownloadProgress(const QString& status, const QString& text, int percent, quint64 done,
                          quint64 total) override {
    reports.push_back({status, text, percent, done, total});
  }
  std::function<bool(quint64, quint64)> abortWhen;
  std::vector<Report> reports;
};

QByteArray Bytes(std::size_t size) { return UpdateTestSupport::Database(size - PackageHeader::kPayloadOffset); }
using enum CDownloadStatusCallback::Answer;

TEST(DownloadReportTest, SizesTextsAndPercent) {
  const std::pair<quint64, const char*> sizes[] = {
      {0, "0 bytes"}, {1023, "1023 bytes"}, {1024, "1.00 KB"}, {2047, "1.99 KB"},  // cut, not rounded
      {12800, "12.5 KB"}, {999 * 1024, "999 KB"}, {1000 * 1024, "0.97 MB"},
      {quint64(12.3 * 1024 * 1024) + 1, "12.3 MB"}, {3ULL << 30, "3.00 GB"}, {~0ULL, "15.9 EB"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(FormatByteSize(size), text) << size;

  RecordingCallback callback;
  const std::tuple<quint64, quint64, const char*, int> steps[] = {
      {0, 0, "", 0},                                // no total yet: no text
      {999, 1000, " 999 bytes / 1000 bytes", 99},  // truncated
      {5000, 0, " 999 bytes / 1000 bytes", 0},      // no total: the text stays
      {1536, 3072, " 1.50 KB / 3.00 KB", 50}};
  for (const auto& [done, total, text, percent] : steps) {
    EXPECT_EQ(callback.OnProgress(done, total, QStringLiteral("status")), Continue);
    const RecordingCallback::Report& last = callback.reports.back();
    EXPECT_EQ(std::tuple(last.statusText, last.progressText, last.percent, last.done),
              std::tuple(QString("status"), QString(text), percent, done));
  }
}

// Whatever goes wrong (a passed deadline or an abort too), the target keeps its old contents
// and no part of the download is left; a download that succeeds then replaces them.
TEST(DownloadFromServer, FailuresLeaveNoFileAndWriteNothingElsewhereThenADownloadReplacesTheFile) {
  using enum DownloadResult;
  using enum ExtraTextId;
  QTemporaryDir serverDir, localDir, outside;
  FtpServer server;
  ASSERT_TRUE(server.Start(serverDir.path())) << server.Log().toStdString();
  const auto publish = [&](const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(TestSupport::WriteFile(serverDir.filePath(name), bytes));
    return server.BaseUrl() + '/' + name;
  };
  // Larger than the loopback socket buffers hold, so freezing the server stops the flow.
  constexpr std::size_t kWhole = 48 * 1024 * 1024;
  const QString url = publish("pkg.hdr", Bytes(kWhole)), small = publish("small.hdr", Bytes(6000));
  const QString outsideFile = outside.filePath("precious"), base = server.BaseUrl();
  ASSERT_TRUE(TestSupport::WriteFile(outsideFile, "precious"));
  struct Case {
    const char* what;
    QString url, target;
    std::function<bool(quint64, quint64)> abortWhen;
    DownloadOptions options;
    DownloadResult result;
    rlim_t diskRoom = 0;                 // the room left on the disk; 0: as much as needed
    ExtraTextId why = DOWNLOAD_WRITE_ERROR;  // the reason a write failure names
  };
  DownloadOptions pastDeadline, shortStall;
  pastDeadline.deadline = std::chrono::seconds(-1);
  shortStall.stallPeriod = std::chrono::seconds(2);
  bool frozen = false;
  const auto freeze = [&](quint64 done, quint64) { return done > 0 && !frozen && !(frozen = server.Pause()); };
  const auto midway = [](quint64 done, quint64 total) { return done > 0 && done < total; };
  const QString target = localDir.filePath("pkg.hdr");
  // The server answers "no" alike to a file it lacks and to one it will not give (here: one
  // that leads out of its tree); its listing tells them apart, a folder's too.
  ASSERT_TRUE(QDir(serverDir.path()).mkpath("FW") && QFile::link(outside.path(), serverDir.filePath("closed")));
  ASSERT_TRUE(QFile::link(outsideFile, serverDir.filePath("FW/kept.hdr")));
  QString wrongLogin = base + "/pkg.hdr";
  wrongLogin.insert(wrongLogin.indexOf("127."), "nobody:wrong@");
  const Case cases[] = {
      {"missing on the server", base + "/FW/none.hdr", target, {}, {}, NotOnServer},
      {"missing folder on the server", base + "/no/none.hdr", target, {}, {}, NotOnServer},
      {"refused by the server", base + "/FW/kept.hdr", target, {}, {}, Refused},
      {"folder refused by the server", base + "/closed/precious", target, {}, {}, Refused},
      {"login refused", wrongLogin, target, {}, {}, Refused},
      {"server down", "ftp://127.0.0.1:1/pkg.hdr", target, {}, {}, Failed},
      {"no local folder", url, localDir.filePath("no/pkg.hdr"), {}, {}, WriteFailed, 0, DOWNLOAD_NO_FOLDER},
      {"target is a link", url, localDir.filePath("link.hdr"), {}, {}, WriteFailed, 0, PATH_IS_LINK},
      {"aborted midway", url, target, midway, {}, Aborted},
      {"deadline passed", url, target, {}, pastDeadline, Aborted},
      {"disk full", url, target, {}, {}, WriteFailed, 1024 * 1024, DOWNLOAD_DISK_FULL},
      {"disk full at the last bytes", small, target, {}, {}, WriteFailed, 2048, DOWNLOAD_DISK_FULL},
      {"no byte for the stall period", url, target, freeze, shortStall, Stalled},
  };
  ASSERT_TRUE(QFile::link(outsideFile, localDir.filePath("link.hdr")));
  ASSERT_TRUE(TestSupport::WriteFile(target, "old contents"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingCallback callback(c.abortWhen);
    QString error;
    const TestSupport::Clock clock;
    std::optional<UpdateTestSupport::FullDisk> full;
    if (c.diskRoom) full.emplace(c.diskRoom);
    EXPECT_EQ(DownloadToFile(c.url, c.target, callback, c.options, &error), c.result);
    full.reset();
    EXPECT_LT(clock.elapsed(), 30000);
    // A write failure names the file and the reason in the user's language.
    EXPECT_EQ(error, c.result == WriteFailed ? ExtraText(DOWNLOAD_WRITE_FAILED).arg(c.target, ExtraText(c.why))
                     : error.isEmpty()       ? QString("a reason")
                                             : error);
    // A failure ends the download where it happens: a failed write does not fetch the rest.
    EXPECT_LT(callback.reports.empty() ? 0 : callback.reports.back().done, quint64(kWhole));
    EXPECT_EQ(TestSupport::Entries(localDir.path()), QStringList({"link.hdr", "pkg.hdr"}));
    EXPECT_EQ(TestSupport::ReadFile(target), "old contents");
    EXPECT_TRUE(c.options.deadline.count() >= 0 || callback.reports.empty());
    EXPECT_TRUE(!frozen || clock.elapsed() >= 2000);
  }
  EXPECT_TRUE(frozen && server.Resume());
  EXPECT_EQ(TestSupport::ReadFile(outsideFile), "precious");

  const QByteArray bytes = Bytes(300 * 1024 + 17);
  RecordingCallback callback;
  QString error;
  ASSERT_EQ(DownloadToFile(publish("ok.hdr", bytes), target, callback, {}, &error), Done)
      << error.toStdString();
  EXPECT_EQ(std::pair(TestSupport::ReadFile(target), TestSupport::Entries(localDir.path())),
            std::pair(bytes, QStringList({"link.hdr", "pkg.hdr"})));
  ASSERT_FALSE(callback.reports.empty());
  const RecordingCallback::Report& last = callback.reports.back();
  EXPECT_EQ(std::tuple(last.done, last.total, last.percent, last.progressText),
            std::tuple(quint64(bytes.size()), quint64(bytes.size()), 100, QString(" 300 KB / 300 KB")));
}

}  // namespace
