#pragma once

#include <QString>
#include <QtGlobal>

// Receives the progress reports of a download. Called on the thread that runs the download,
// which is never the user-interface thread: an owner that shows the report forwards it
// (CDownloadQueuedSink does that for a page).
class IDownloadSink {
 public:
  virtual ~IDownloadSink() = default;
  virtual void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                                  quint64 bytesDone, quint64 bytesTotal) = 0;
};
