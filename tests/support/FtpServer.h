#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace TestSupport {

// pyftpdlib serving one folder read-only to anonymous users, on 127.0.0.1 and a free port.
class FtpServer {
 public:
  ~FtpServer() { Stop(); }

  // Starts the server over `folder` and waits until it accepts connections.
  bool Start(const QString& folder);
  void Stop();
  // "ftp://127.0.0.1:PORT"
  QString BaseUrl() const;
  // What the server wrote (its log of commands and errors).
  QString Log() const;
  // Freezes and thaws the server, so a transfer in progress stops (from any thread).
  bool Pause();
  bool Resume();

 private:
  QTemporaryDir m_logDir;  // the log goes to a file: a full pipe would freeze the server
  QProcess m_process;
  int m_port = 0;
  qint64 m_pid = 0;
};

}  // namespace TestSupport
