#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

// One running program per user. The first program takes a lock file in the user's runtime
// folder and listens on a local socket beside it; a second one finds the lock held, asks the
// first through that socket to bring its window to the front, and ends before it talks to
// the unit. A lock left by a program that crashed belongs to no running process and is taken
// over.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  static constexpr int kAnswerTimeoutMs = 3000;
  // The application name the command line takes the lock under.
  static constexpr const char* kCommandLineName = "v770";

  // `folder` holds the lock and the socket; by default the user's runtime folder.
  explicit SingleInstance(const QString& folder = QString(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this program is now the one running: the lock is taken (or could not be
  // made at all, in which case nothing can be promised and the program runs anyway).
  bool Acquire();
  // The lock alone, for a program with no window to bring forward (the command line): a
  // program started meanwhile finds the lock held and nobody to ask. Same result as Acquire.
  bool AcquireLock();
  // The application name of the program holding the lock; empty when it cannot be told.
  QString HolderName() const;
  // From a second program: asks the running one to come to the front. False when it did not
  // answer in time.
  bool AskRunningToActivate(int timeoutMs = kAnswerTimeoutMs);

 signals:
  // Another start asked for this program's window.
  void activationRequested();

 private:
  QString ServerName() const;

  QString m_folder;
  QLockFile m_lock;
  std::unique_ptr<QLocalServer> m_server;
};
