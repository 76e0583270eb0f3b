#include "update/DownloadQueuedSink.h"

#include <QCoreApplication>

CDownloadQueuedSink::CDownloadQueuedSink(QObject* page, IDownloadSink* target) : m_page(page), m_target(target) {}

void CDownloadQueuedSink::OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                                             quint64 bytesDone, quint64 bytesTotal) {
  // Queued on the application object and checked there: the page may be destroyed while
  // the report travels, and it is only ever destroyed on its own thread.
  QObject* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app,
      [page = m_page, target = m_target, statusText, progressText, percent, bytesDone, bytesTotal] {
        if (page) target->OnDownloadProgress(statusText, progressText, percent, bytesDone, bytesTotal);
      },
      Qt::QueuedConnection);
}
