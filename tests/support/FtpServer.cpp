#include "support/FtpServer.h"

#include <signal.h>

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include "support/TestSupport.h"

namespace TestSupport {
namespace {

constexpr int kReadyTimeoutMs = 15000;
constexpr int kReadyPollMs = 50;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

bool FtpServer::Start(const QString& folder) {
  Stop();
  m_process.setProcessChannelMode(QProcess::MergedChannels);
  m_process.setStandardOutputFile(m_logDir.filePath(QStringLiteral("ftp.log")), QIODevice::Append);
  EndWithTestProgram(m_process);
  // Port 0: the server binds a free port itself, so no other process can take it first.
  m_process.start(
      QStringLiteral("/usr/bin/python3"),
      {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
       QStringLiteral("-p"), QStringLiteral("0"), QStringLiteral("-d"), folder});
  if (!m_process.waitForStarted()) return false;
  m_pid = m_process.processId();
  // pyftpdlib names the port once it has bound it.
  const QRegularExpression listening(
      QStringLiteral(">>> starting FTP server on 127\\.0\\.0\\.1:(\\d+), pid=%1 <<<").arg(m_pid));
  QDeadlineTimer deadline(kReadyTimeoutMs);
  while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
    m_port = listening.match(Log()).captured(1).toInt();
    if (m_port > 0) return true;
    QThread::msleep(kReadyPollMs);
  }
  Stop();
  return false;
}

void FtpServer::Stop() {
  if (m_process.state() != QProcess::NotRunning) Resume();  // a frozen process ignores the request to end
  EndProcess(m_process, kStopTimeoutMs);
  m_pid = 0;
}

QString FtpServer::BaseUrl() const { return QStringLiteral("ftp://127.0.0.1:%1").arg(m_port); }

QString FtpServer::Log() const {
  return QString::fromLocal8Bit(ReadFile(m_logDir.filePath(QStringLiteral("ftp.log"))));
}

bool FtpServer::Pause() { return m_pid > 0 && ::kill(static_cast<pid_t>(m_pid), SIGSTOP) == 0; }

bool FtpServer::Resume() { return m_pid > 0 && ::kill(static_cast<pid_t>(m_pid), SIGCONT) == 0; }

}  // namespace TestSupport
