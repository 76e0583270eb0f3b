#include "support/FtpServer.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QThread>

namespace TestSupport {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartAttempts = 3;
constexpr int kReadyTimeoutMs = 15000;
constexpr int kReadyPollMs = 50;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

FtpServer::~FtpServer() { Stop(); }

int FtpServer::FreePort() {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool FtpServer::Start(const QString& folder) {
  Stop();
  // Another process may take the free port before the server binds it: try a few ports.
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    m_port = FreePort();
    if (m_port == 0) continue;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_logDir.filePath(QStringLiteral("ftp.log")), QIODevice::Append);
    // A test program that crashes takes its server with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(
        QString::fromLatin1(kPython),
        {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
         QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-d"), folder});
    if (!m_process.waitForStarted()) continue;
    m_pid = m_process.processId();
    QDeadlineTimer deadline(kReadyTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
      if (IsListening()) return true;
      QThread::msleep(kReadyPollMs);
    }
    Stop();
  }
  m_port = 0;
  return false;
}

void FtpServer::Stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  Resume();  // a frozen process does not act on the termination request
  m_process.terminate();
  if (!m_process.waitForFinished(kStopTimeoutMs)) {
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
  }
  m_pid = 0;
}

bool FtpServer::IsListening() const {
  // pyftpdlib says so once it has bound its port. A test connection alone could reach
  // another test's server that took the port first, while this one failed to bind and quit.
  return Log().contains(
      QStringLiteral(">>> starting FTP server on 127.0.0.1:%1, pid=%2 <<<").arg(m_port).arg(m_pid));
}

QString FtpServer::BaseUrl() const { return QStringLiteral("ftp://127.0.0.1:%1").arg(m_port); }

QString FtpServer::Log() const {
  QFile log(m_logDir.filePath(QStringLiteral("ftp.log")));
  return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

bool FtpServer::Pause() { return m_pid > 0 && ::kill(static_cast<pid_t>(m_pid), SIGSTOP) == 0; }

bool FtpServer::Resume() { return m_pid > 0 && ::kill(static_cast<pid_t>(m_pid), SIGCONT) == 0; }

}  // namespace TestSupport
