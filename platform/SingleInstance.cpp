#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {
constexpr const char* kBaseName = "V770PCSoft";
constexpr int kRetryPauseMs = 100;

QString FolderOrDefault(const QString& folder) {
  if (!folder.isEmpty()) return folder;
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

QString FileIn(const QString& folder, const char* suffix) {
  return QDir(folder).filePath(QString::fromLatin1(kBaseName) + QLatin1String(suffix));
}
}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(FolderOrDefault(folder)), m_lock(FileIn(m_folder, ".lock")) {
  // A running program holds its lock however long it runs; only a dead owner makes it stale.
  m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName() const {
#ifdef Q_OS_WIN
  // Pipe names are global on Windows: the user's name keeps two users apart.
  return QString::fromLatin1(kBaseName) + QLatin1Char('-') + qEnvironmentVariable("USERNAME");
#else
  // A full path in the user's own folder: no other user reaches it.
  return FileIn(m_folder, ".sock");
#endif
}

bool SingleInstance::AcquireLock() {
  QDir().mkpath(m_folder);
  // Held by a living program; any other failure (a folder that cannot be written) cannot
  // tell us about other programs, and the user still gets the program.
  return m_lock.tryLock(0) || m_lock.error() != QLockFile::LockFailedError;
}

QString SingleInstance::HolderName() const {
  qint64 pid = 0;
  QString host, name;
  return m_lock.getLockInfo(&pid, &host, &name) ? name : QString();
}

bool SingleInstance::Acquire() {
  if (!AcquireLock()) return false;
  if (!m_lock.isLocked()) return true;
  m_server = std::make_unique<QLocalServer>();
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  // Whatever socket is left there belonged to a program that did not end cleanly.
  QLocalServer::removeServer(ServerName());
  if (!m_server->listen(ServerName())) return true;
  connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
      socket->disconnectFromServer();
      socket->deleteLater();
      emit activationRequested();
    }
  });
  return true;
}

bool SingleInstance::AskRunningToActivate(int timeoutMs) {
  // The running program may be between taking its lock and listening: try again a moment later.
  const QDeadlineTimer deadline(timeoutMs);
  do {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
      socket.disconnectFromServer();
      return true;
    }
    QThread::msleep(kRetryPauseMs);
  } while (!deadline.hasExpired());
  return false;
}
