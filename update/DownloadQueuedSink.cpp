#include "update/DownloadQueuedSink.h"

#include "device/PageReport.h"

CDownloadQueuedSink::CDownloadQueuedSink(QObject* page, IDownloadSink* target)
    : m_page(page), m_target(target) {}

void CDownloadQueuedSink::OnDownloadProgress(const QString& statusText, const QString& progressText,
                                             int percent, quint64 bytesDone, quint64 bytesTotal) {
  PostToPage(m_page, [target = m_target, statusText, progressText, percent, bytesDone, bytesTotal](QObject*) {
    target->OnDownloadProgress(statusText, progressText, percent, bytesDone, bytesTotal);
  });
}
