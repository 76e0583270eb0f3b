#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

#include "device/UnitChannel.h"
#include "platform/Worker.h"

// A package file read whole into memory; nothing when it cannot be opened or read in full,
// or when it is shorter than the payload offset (it then has no payload to send).
std::optional<QByteArray> ReadPackageFile(const QString& path);

// Sends one package file to the unit over its update channel, on a worker thread the sender
// owns. Reports come back as signals on the thread that owns the sender; reports of a
// transfer that was cancelled are dropped, and the sender joins its worker before it goes. Progress is reported when its value
// changes (and at least every kProgressHeartbeat while it does not); reports that pile up
// while the owner's thread is busy are merged into the latest value. The last value always
// comes before the finished report. Only one transfer talks to the unit at a time: a new
// one waits until a cancelled one has closed its channel and ended (a cancelled transfer is
// woken from any wait on the unit, so that is quick).
class PackageSender : public QObject {
  Q_OBJECT
 public:
  enum class Outcome {
    Sent,            // every chunk was written
    GaveUp,          // a write kept failing until its retries ran out
    ChannelNotOpen,  // the library or the channel could not be opened
    Cancelled,       // stopped by Cancel (never reported)
  };

  // Opens the channel through the unit library and sends the file: the header, then the
  // payload in chunks, each write retried as the exchange rules say. `progress` gets
  // sent / step after every chunk. Runs on the calling thread; once `stop` is asked every
  // further write fails at once and the retry pauses end.
  static Outcome SendPackage(const QByteArray& file, const char* channelName, std::stop_token stop,
                             const std::function<void(unsigned value)>& progress);

  static constexpr std::chrono::milliseconds kProgressHeartbeat{250};

  explicit PackageSender(QObject* parent = nullptr);
  ~PackageSender() override;

  // Starts the transfer of `file` on the worker; a transfer still running is cancelled and
  // joined first, so the new one opens the channel only once the old one has ended.
  void Start(QByteArray file, const char* channelName);
  // The running transfer stops at once and reports nothing more; does not wait for it.
  void Cancel();
  // Cancels and waits until the worker has ended.
  void Stop();
  bool IsRunning() const { return m_bRunning; }

 signals:
  void progress(unsigned value);
  void finished(PackageSender::Outcome outcome);

 private:
  void OnWorkerEnded(Outcome outcome);

  bool m_bRunning = false;
  Worker<PackageSender> m_worker{this};  // last member: stopped and joined first
};
