#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "device/UnitLibrary.h"
#include "unitsim/UnitSimClient.h"

// `v770-unit serve` on a socket in a folder of its own, from a chosen state. While it lives,
// V770_UNIT_SOCKET points the unit library and UnitSimClient at it.
class UnitEmulator {
 public:
  UnitEmulator();
  // Stops the daemon and restores V770_UNIT_SOCKET.
  ~UnitEmulator();

  // From the initial state (empty: a fresh unit, see `v770-unit --help`), once it answers.
  bool Start(const QJsonObject& initialState = {});
  // Stops the daemon; its state file stays for Restart.
  void Stop();
  // The daemon again, from the state it saved.
  bool Restart();
  bool IsRunning() const { return m_process.state() == QProcess::Running; }

  UnitSimClient& Client() { return m_client; }
  // `ctl status`, parsed; an empty object when the emulator does not answer.
  QJsonObject Status();
  // Polls Status until `condition` holds; false after timeoutMs.
  bool WaitForStatus(const std::function<bool(const QJsonObject&)>& condition, int timeoutMs);

  QString SocketPath() const { return m_dir.filePath(QStringLiteral("unit.sock")); }
  QString StatePath() const { return m_dir.filePath(QStringLiteral("unit-state.json")); }
  QString Folder() const { return m_dir.path(); }
  // What the daemon wrote to stderr, for failure messages.
  QByteArray DaemonLog() const;

 private:
  bool Launch();

  QTemporaryDir m_dir;
  QProcess m_process;
  UnitSimClient m_client;
  std::optional<QByteArray> m_savedSocketEnv;
};

// What the emulator received on a channel, oldest first.
inline QList<QByteArray> ReceivedOn(UnitEmulator& unit, const QString& channel) {
  QList<QByteArray> received;
  for (const auto& entry : unit.Status()[QStringLiteral("log")].toObject()[channel].toArray()) {
    const QJsonObject item = entry.toObject();
    if (item[QStringLiteral("event")].toString() == QStringLiteral("received"))
      received.append(QByteArray::fromHex(item[QStringLiteral("hex")].toString().toLatin1()));
  }
  return received;
}
