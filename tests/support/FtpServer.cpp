#include "support/FtpServer.h"

#include <signal.h>

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QThread>

#include "support/TestSupport.h"

namespace TestSupport {
namespace {

constexpr int kStartAttempts = 3;
constexpr int kReadyTimeoutMs = 15000;
constexpr int kReadyPollMs = 50;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

bool FtpServer::Start(const QString& folder) {
  Stop();
  // Another process may take the free port before the server binds it: try a few ports.
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    QTcpServer probe;
    m_port = probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
    probe.close();
    if (m_port == 0) continue;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_logDir.filePath(QStringLiteral("ftp.log")), QIODevice::Append);
    EndWithTestProgram(m_process);
    m_process.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
         QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-d"), folder});
    if (!m_process.waitForStarted()) continue;
    m_pid = m_process.processId();
    // pyftpdlib says so once it has bound its port. A test connection alone could reach
    // another test's server that took the port first, while this one failed to bind and quit.
    const QString listening =
        QStringLiteral(">>> starting FTP server on 127.0.0.1:%1, pid=%2 <<<").arg(m_port).arg(m_pid);
    QDeadlineTimer deadline(kReadyTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
      if (Log().contains(listening)) return true;
      QThread::msleep(kReadyPollMs);
    }
    Stop();
  }
  m_port = 0;
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
