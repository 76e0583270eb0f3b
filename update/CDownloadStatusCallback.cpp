#include "update/CDownloadStatusCallback.h"

#include <QDateTime>

#include "update/DownloadByteSize.h"
#include "update/DownloadSink.h"

QString FormatDownloadProgressText(quint64 bytesDone, quint64 bytesTotal) {
  return QStringLiteral(" %1 / %2").arg(FormatByteSize(bytesDone), FormatByteSize(bytesTotal));
}

int DownloadPercent(quint64 bytesDone, quint64 bytesTotal) {
  if (bytesTotal == 0) return 0;
  return static_cast<int>(static_cast<double>(bytesDone) * 100.0 / static_cast<double>(bytesTotal));
}

CDownloadStatusCallback::CDownloadStatusCallback(IDownloadSink* sink) : m_pSink(sink) {}

void CDownloadStatusCallback::ArmDeadline(qint64 seconds) {
  m_bDeadline = true;
  m_timeDeadline = QDateTime::currentSecsSinceEpoch() + seconds;
}

CDownloadStatusCallback::Answer CDownloadStatusCallback::OnProgress(quint64 bytesDone, quint64 bytesTotal,
                                                                    const QString& statusText) {
  if (m_bAbortRequested) return Answer::Abort;
  if (m_bDeadline && QDateTime::currentSecsSinceEpoch() > m_timeDeadline) return Answer::Abort;

  m_strStatusText = statusText;
  int percent = 0;
  if (bytesTotal != 0) {
    m_strProgressText = FormatDownloadProgressText(bytesDone, bytesTotal);
    percent = DownloadPercent(bytesDone, bytesTotal);
  }
  if (m_pSink)
    m_pSink->OnDownloadProgress(m_strStatusText, m_strProgressText, percent, bytesDone, bytesTotal);
  return Answer::Continue;
}
