#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "device/UnitChannel.h"

// A package file read whole into memory; nothing when it cannot be opened or read in full,
// or when it is shorter than the payload offset (it then has no payload to send).
std::optional<QByteArray> ReadPackageFile(const QString& path);

// Sends one package file to the unit over its update channel, on a worker thread. Reports
// come back as signals on the thread that owns the sender; reports of a transfer that was
// cancelled, or that outlives the sender, are dropped. Progress is reported when its value
// changes (and at least every kProgressHeartbeat while it does not); reports that pile up
// while the owner's thread is busy are merged into the latest value. The last value always
// comes before the finished report. Only one transfer talks to the unit at a time: a new
// one waits until a cancelled one has closed its channel and ended.
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
  // sent / step after every chunk. Runs on the calling thread; a set `cancel` makes every
  // further write fail at once and skips the retry pauses.
  static Outcome SendPackage(const QByteArray& file, const char* channelName,
                             const std::atomic<bool>& cancel,
                             const std::function<void(unsigned value)>& progress);

  static constexpr std::chrono::milliseconds kProgressHeartbeat{250};

  explicit PackageSender(QObject* parent = nullptr);
  ~PackageSender() override;

  // Starts the transfer of `file` on a new worker thread; a transfer still running is
  // cancelled first, and the new one opens the channel only once the old one has ended.
  void Start(QByteArray file, const char* channelName);
  // The running transfer stops at its next write and reports nothing more; one waiting to
  // start is dropped.
  void Cancel();
  bool IsRunning() const { return m_bRunning; }

 signals:
  void progress(unsigned value);
  void finished(PackageSender::Outcome outcome);

 private:
  void Launch();
  void OnWorkerEnded(quint64 job, Outcome outcome);

  std::shared_ptr<std::atomic<bool>> m_cancel;
  quint64 m_nJob = 0;
  bool m_bRunning = false;
  bool m_bWorkerAlive = false;  // a worker has not ended yet (it may be a cancelled one)
  std::optional<std::pair<QByteArray, const char*>> m_pending;  // waits for that worker
};
