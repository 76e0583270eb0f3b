#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>

class IDownloadSink;

// The progress callback of one download: turns each report of the transfer into the
// owner's texts and numbers, and decides whether the transfer goes on. It lives for exactly
// one download, on the downloading thread.
class CDownloadStatusCallback {
 public:
  enum class Answer { Continue, Abort };

  explicit CDownloadStatusCallback(IDownloadSink* sink);
  virtual ~CDownloadStatusCallback() = default;
  CDownloadStatusCallback(const CDownloadStatusCallback&) = delete;
  CDownloadStatusCallback& operator=(const CDownloadStatusCallback&) = delete;

  // One report of the transfer. Abort stops it; nothing is reported to the owner then.
  virtual Answer OnProgress(quint64 bytesDone, quint64 bytesTotal, const QString& statusText);

  // The download stops at its next report. Callable from any thread.
  void RequestAbort() { m_bAbortRequested = true; }
  bool AbortRequested() const { return m_bAbortRequested; }

  // The download is aborted by the first report later than this many seconds from now.
  void ArmDeadline(qint64 seconds);

  // Deadline in force, and its moment in seconds since the epoch.
  bool m_bDeadline = false;
  qint64 m_timeDeadline = 0;

  // Texts of the last report. The progress text is kept from report to report: a report
  // without a total repeats it. They belong to this download, so two downloads at once do
  // not overwrite each other's texts.
  QString m_strStatusText;
  QString m_strProgressText;

 private:
  IDownloadSink* m_pSink;
  std::atomic<bool> m_bAbortRequested{false};
};

// The text of one report: a blank, the done size, " / ", the total size.
QString FormatDownloadProgressText(quint64 bytesDone, quint64 bytesTotal);
// Share of the total in whole percent, truncated; 0 without a total.
int DownloadPercent(quint64 bytesDone, quint64 bytesTotal);
