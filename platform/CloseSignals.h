#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// The desktop ending the program (log-out, shutdown, `kill`, Ctrl+C in a terminal) is taken
// as the window's close box: the program asks what the close box asks and ends cleanly
// instead of dying in the middle of a transfer. The signal handler only writes a byte to a
// pipe; the request is raised on the user-interface thread.
class CloseSignals : public QObject {
  Q_OBJECT
 public:
  explicit CloseSignals(QObject* parent = nullptr);
  ~CloseSignals() override;

 signals:
  void closeRequested();

 private:
  void OnSignalByte();
  std::unique_ptr<QSocketNotifier> m_notifier;
};
