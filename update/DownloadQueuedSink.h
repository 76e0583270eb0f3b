#pragma once

#include <QObject>
#include <QPointer>

#include "update/DownloadSink.h"

// Carries the reports of a download running on a worker over to the thread of the page that
// shows them. A report that arrives after the page is gone is dropped. Build it on the
// page's thread before the worker starts; it may be used by the worker after the page died.
class CDownloadQueuedSink : public IDownloadSink {
 public:
  // `page` and `target` are the same object: the page as a QObject and as a sink.
  CDownloadQueuedSink(QObject* page, IDownloadSink* target);

  void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                          quint64 bytesDone, quint64 bytesTotal) override;

 private:
  QPointer<QObject> m_page;
  IDownloadSink* m_target;
};
