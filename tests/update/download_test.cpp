// Downloads against a real FTP server on loopback: contents, progress reports, and that no
// failure leaves a file behind.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadByteSize.h"
#include "update/DownloadQueuedSink.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"

using TestSupport::FtpServer;

namespace {

struct Report {
  QString statusText;
  QString progressText;
  int percent;
  quint64 done;
  quint64 total;
};

class RecordingSink : public IDownloadSink {
 public:
  void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                          quint64 bytesDone, quint64 bytesTotal) override {
    reports.push_back({statusText, progressText, percent, bytesDone, bytesTotal});
  }
  std::vector<Report> reports;
};

QByteArray Bytes(qsizetype size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(seed);
  for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>(generator.bounded(256));
  return bytes;
}

QStringList FilesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// ---------------------------------------------------------------------------------------
// Texts and numbers of a report

TEST(DownloadByteSize, ThreeSignificantDigitsTruncated) {
  EXPECT_EQ(FormatByteSize(0), "0 bytes");
  EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
  EXPECT_EQ(FormatByteSize(1024), "1.00 KB");
  EXPECT_EQ(FormatByteSize(1536), "1.50 KB");
  EXPECT_EQ(FormatByteSize(2047), "1.99 KB");  // cut off, not rounded up to 2.00
  EXPECT_EQ(FormatByteSize(12800), "12.5 KB");
  EXPECT_EQ(FormatByteSize(999 * 1024), "999 KB");
  EXPECT_EQ(FormatByteSize(1000 * 1024), "0.97 MB");
  EXPECT_EQ(FormatByteSize(quint64(12.3 * 1024 * 1024) + 1), "12.3 MB");
  EXPECT_EQ(FormatByteSize(3ULL << 30), "3.00 GB");
  EXPECT_EQ(FormatByteSize(~0ULL), "15.9 EB");
}

TEST(DownloadStatusCallback, ReportTextsAndPercent) {
  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);

  // Before any report with a total the progress text is empty.
  EXPECT_EQ(callback.OnProgress(0, 0, QString()), CDownloadStatusCallback::Answer::Continue);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].progressText, "");
  EXPECT_EQ(sink.reports[0].percent, 0);

  callback.OnProgress(999, 1000, QStringLiteral("status"));
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[1].progressText, " 999 bytes / 1000 bytes");
  EXPECT_EQ(sink.reports[1].percent, 99);  // truncated
  EXPECT_EQ(sink.reports[1].statusText, "status");
  EXPECT_EQ(sink.reports[1].done, 999u);
  EXPECT_EQ(sink.reports[1].total, 1000u);

  // A report without a total keeps the previous text and gives 0 %.
  callback.OnProgress(5000, 0, QString());
  ASSERT_EQ(sink.reports.size(), 3u);
  EXPECT_EQ(sink.reports[2].progressText, " 999 bytes / 1000 bytes");
  EXPECT_EQ(sink.reports[2].percent, 0);
  EXPECT_EQ(sink.reports[2].done, 5000u);

  callback.OnProgress(1536, 3072, QString());
  EXPECT_EQ(sink.reports[3].progressText, " 1.50 KB / 3.00 KB");
  EXPECT_EQ(sink.reports[3].percent, 50);
}

TEST(DownloadStatusCallback, DeadlineAndAbortStopWithoutReport) {
  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  EXPECT_FALSE(callback.m_bDeadline);  // no deadline until a download arms it

  callback.ArmDeadline(10);
  EXPECT_EQ(callback.OnProgress(1, 2, QString()), CDownloadStatusCallback::Answer::Continue);
  callback.m_timeDeadline -= 11;  // the deadline now lies in the past
  EXPECT_EQ(callback.OnProgress(2, 2, QString()), CDownloadStatusCallback::Answer::Abort);
  EXPECT_EQ(sink.reports.size(), 1u);

  CDownloadStatusCallback aborted(&sink);
  aborted.RequestAbort();
  EXPECT_EQ(aborted.OnProgress(1, 2, QString()), CDownloadStatusCallback::Answer::Abort);
  EXPECT_EQ(sink.reports.size(), 1u);
}

// Reports made on a worker reach the page's thread; once the page is gone they are dropped.
TEST(DownloadQueuedSink, CarriesReportsToThePageThreadAndDropsThemWhenThePageIsGone) {
  RecordingSink target;
  auto page = std::make_unique<QObject>();
  auto queued = std::make_shared<CDownloadQueuedSink>(page.get(), &target);
  std::thread worker([queued] { queued->OnDownloadProgress(QString(), QStringLiteral(" a / b"), 50, 1, 2); });
  worker.join();
  EXPECT_TRUE(target.reports.empty());  // not delivered on the worker
  ASSERT_TRUE(TestSupport::WaitUntil([&] { return !target.reports.empty(); }, 5000));
  EXPECT_EQ(target.reports[0].progressText, " a / b");
  EXPECT_EQ(target.reports[0].percent, 50);

  std::thread late([queued] { queued->OnDownloadProgress(QString(), QStringLiteral("late"), 0, 0, 0); });
  late.join();
  page.reset();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(target.reports.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Against the server

class DownloadFromServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(serverDir.isValid());
    ASSERT_TRUE(localDir.isValid());
  }

  void StartServer() { ASSERT_TRUE(server.Start(serverDir.path())) << server.Log().toStdString(); }

  QString Publish(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(TestSupport::WriteFile(serverDir.filePath(name), bytes));
    return server.BaseUrl() + QLatin1Char('/') + name;
  }

  QTemporaryDir serverDir;
  QTemporaryDir localDir;
  FtpServer server;
};

TEST_F(DownloadFromServer, CopiesTheFileWithProgressReports) {
  StartServer();
  const QByteArray bytes = Bytes(300 * 1024 + 17, 1);
  const QString url = Publish(QStringLiteral("FW/V770_FW_v0106.hdr"), bytes);
  const QString target = localDir.filePath(QStringLiteral("V770_FW_v0106.hdr"));

  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  const qint64 start = QDateTime::currentSecsSinceEpoch();
  QString error;
  ASSERT_EQ(DownloadToFile(url, target, callback, {}, &error), DownloadResult::Done) << error.toStdString();

  EXPECT_EQ(TestSupport::ReadFile(target), bytes);
  EXPECT_EQ(FilesIn(localDir.path()), QStringList{QStringLiteral("V770_FW_v0106.hdr")});

  // The deadline was armed 300 000 seconds ahead.
  EXPECT_TRUE(callback.m_bDeadline);
  EXPECT_GE(callback.m_timeDeadline, start + 300000);
  EXPECT_LE(callback.m_timeDeadline, QDateTime::currentSecsSinceEpoch() + 300000);

  ASSERT_FALSE(sink.reports.empty());
  const Report& last = sink.reports.back();
  EXPECT_EQ(last.done, quint64(bytes.size()));
  EXPECT_EQ(last.total, quint64(bytes.size()));
  EXPECT_EQ(last.percent, 100);
  EXPECT_EQ(last.progressText, " 300 KB / 300 KB");
  quint64 previous = 0;
  for (const Report& report : sink.reports) {
    EXPECT_GE(report.done, previous);
    previous = report.done;
    EXPECT_GE(report.percent, 0);
    EXPECT_LE(report.percent, 100);
  }
}

TEST_F(DownloadFromServer, ReplacesAnOlderFileOnlyWhenComplete) {
  StartServer();
  const QString target = localDir.filePath(QStringLiteral("pkg.hdr"));
  ASSERT_TRUE(TestSupport::WriteFile(target, "old contents"));

  CDownloadStatusCallback missing(nullptr);
  EXPECT_EQ(DownloadToFile(server.BaseUrl() + QStringLiteral("/nothing.hdr"), target, missing),
            DownloadResult::Failed);
  EXPECT_EQ(TestSupport::ReadFile(target), "old contents");
  EXPECT_EQ(FilesIn(localDir.path()), QStringList{QStringLiteral("pkg.hdr")});

  const QByteArray bytes = Bytes(5000, 2);
  CDownloadStatusCallback found(nullptr);
  EXPECT_EQ(DownloadToFile(Publish(QStringLiteral("pkg.hdr"), bytes), target, found), DownloadResult::Done);
  EXPECT_EQ(TestSupport::ReadFile(target), bytes);
}

TEST_F(DownloadFromServer, MissingFileFailsAndLeavesNoFile) {
  StartServer();
  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  QString error;
  EXPECT_EQ(DownloadToFile(server.BaseUrl() + QStringLiteral("/FW/none.hdr"),
                           localDir.filePath(QStringLiteral("none.hdr")), callback, {}, &error),
            DownloadResult::Failed);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(FilesIn(localDir.path()).isEmpty());
}

TEST_F(DownloadFromServer, ServerDownFailsAndLeavesNoFile) {
  const int port = FtpServer::FreePort();
  ASSERT_NE(port, 0);
  CDownloadStatusCallback callback(nullptr);
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(DownloadToFile(QStringLiteral("ftp://127.0.0.1:%1/FW/x.hdr").arg(port),
                           localDir.filePath(QStringLiteral("x.hdr")), callback),
            DownloadResult::Failed);
  EXPECT_LT(timer.elapsed(), 30000);
  EXPECT_TRUE(FilesIn(localDir.path()).isEmpty());
}

TEST_F(DownloadFromServer, UnwritableTargetIsAWriteFailure) {
  StartServer();
  CDownloadStatusCallback callback(nullptr);
  EXPECT_EQ(DownloadToFile(Publish(QStringLiteral("a.hdr"), Bytes(100, 3)),
                           localDir.filePath(QStringLiteral("no/such/folder/a.hdr")), callback),
            DownloadResult::WriteFailed);
  EXPECT_TRUE(QDir(localDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// The callback stops a transfer that is under way; the part received is not kept.
class AbortMidway : public CDownloadStatusCallback {
 public:
  using CDownloadStatusCallback::CDownloadStatusCallback;
  Answer OnProgress(quint64 done, quint64 total, const QString& status) override {
    if (done > 0 && done < total) {
      sawPartial = true;
      return Answer::Abort;
    }
    return CDownloadStatusCallback::OnProgress(done, total, status);
  }
  bool sawPartial = false;
};

TEST_F(DownloadFromServer, AbortThroughTheCallbackLeavesNoFile) {
  StartServer();
  const QString url = Publish(QStringLiteral("big.hdr"), Bytes(8 * 1024 * 1024, 4));
  AbortMidway callback(nullptr);
  EXPECT_EQ(DownloadToFile(url, localDir.filePath(QStringLiteral("big.hdr")), callback),
            DownloadResult::Aborted);
  EXPECT_TRUE(callback.sawPartial);
  EXPECT_TRUE(FilesIn(localDir.path()).isEmpty());
}

TEST_F(DownloadFromServer, PassedDeadlineAbortsBeforeAnyReport) {
  StartServer();
  const QString url = Publish(QStringLiteral("a.hdr"), Bytes(64 * 1024, 5));
  RecordingSink sink;
  CDownloadStatusCallback callback(&sink);
  DownloadOptions options;
  options.deadline = std::chrono::seconds(-1);
  EXPECT_EQ(DownloadToFile(url, localDir.filePath(QStringLiteral("a.hdr")), callback, options),
            DownloadResult::Aborted);
  EXPECT_TRUE(sink.reports.empty());
  EXPECT_TRUE(FilesIn(localDir.path()).isEmpty());
}

// The server freezes once bytes have started to flow: the download gives up after the
// stall period instead of waiting for ever.
class FreezeServerOnFirstBytes : public CDownloadStatusCallback {
 public:
  FreezeServerOnFirstBytes(FtpServer& server) : CDownloadStatusCallback(nullptr), m_server(server) {}
  Answer OnProgress(quint64 done, quint64 total, const QString& status) override {
    if (done > 0 && !frozen) frozen = m_server.Pause();
    return CDownloadStatusCallback::OnProgress(done, total, status);
  }
  bool frozen = false;

 private:
  FtpServer& m_server;
};

TEST_F(DownloadFromServer, NoByteForTheStallPeriodFails) {
  StartServer();
  // Larger than what the loopback socket buffers hold, so the freeze stops the flow.
  const QString url = Publish(QStringLiteral("huge.hdr"), Bytes(48 * 1024 * 1024, 6));
  FreezeServerOnFirstBytes callback(server);
  DownloadOptions options;
  options.stallPeriod = std::chrono::seconds(2);
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(DownloadToFile(url, localDir.filePath(QStringLiteral("huge.hdr")), callback, options),
            DownloadResult::Stalled);
  EXPECT_TRUE(callback.frozen);
  EXPECT_GE(timer.elapsed(), 2000);
  EXPECT_LT(timer.elapsed(), 60000);
  EXPECT_TRUE(FilesIn(localDir.path()).isEmpty());
  server.Resume();
}

}  // namespace
