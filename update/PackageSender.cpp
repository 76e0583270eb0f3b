#include "update/PackageSender.h"

#include <QFile>
#include <atomic>
#include <chrono>
#include <memory>

#include "device/StoppableChannel.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"

std::optional<QByteArray> ReadPackageFile(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const qint64 size = file.size();
  if (size < static_cast<qint64>(UnitExchange::kPayloadOffset)) return std::nullopt;
  QByteArray bytes = file.read(size);
  if (bytes.size() != size) return std::nullopt;
  return bytes;
}

PackageSender::Outcome PackageSender::SendPackage(const QByteArray& file, const char* channelName,
                                                  std::stop_token stop,
                                                  const std::function<void(unsigned value)>& progress) {
  CUnitLibrary library;
  if (!library.Load()) return Outcome::ChannelNotOpen;
  const ChannelHandle handle = library.open_file(channelName);
  library.Free();
  if (!IsChannelOpen(handle)) return Outcome::ChannelNotOpen;

  UnitChannel channel(handle);
  UnitExchange::TransferResult result;
  {
    StoppableChannel stoppable(channel, stop);
    const auto sleep = [&stop](int ms) { StoppableSleep(stop, ms); };
    result = UnitExchange::SendPackageFile(stoppable, file, progress, sleep);
  }
  channel.Close();  // once nothing can interrupt it any more
  if (stop.stop_requested()) return Outcome::Cancelled;
  return result == UnitExchange::TransferResult::Done ? Outcome::Sent : Outcome::GaveUp;
}

PackageSender::PackageSender(QObject* parent) : QObject(parent) {}

PackageSender::~PackageSender() = default;

void PackageSender::Start(QByteArray file, const char* channelName) {
  m_bRunning = true;
  m_worker.Start([file = std::move(file), channelName](const WorkerRun<PackageSender>& run) {
    // A report goes out when the value changed, or as a sign of life after a quiet spell, and
    // at most one travels at a time, carrying the latest value when it arrives: a fast link
    // does not bury the user-interface thread under one report per chunk, a slow one still
    // keeps the watchdog fed.
    auto latest = std::make_shared<std::atomic<unsigned>>(0);
    auto pending = std::make_shared<std::atomic<bool>>(false);
    std::optional<unsigned> lastValue;
    auto lastReport = std::chrono::steady_clock::now();
    const auto progress = [&](unsigned value) {
      const auto now = std::chrono::steady_clock::now();
      if (lastValue == value && now - lastReport < kProgressHeartbeat) return;
      lastValue = value;
      lastReport = now;
      latest->store(value);
      if (pending->exchange(true)) return;
      run.Post([latest, pending](PackageSender* sender) {
        pending->store(false);
        if (sender->m_bRunning) emit sender->progress(latest->load());
      });
    };
    const Outcome outcome = SendPackage(file, channelName, run.StopToken(), progress);
    // The channel is closed by now.
    run.Post([outcome](PackageSender* sender) { sender->OnWorkerEnded(outcome); });
  });
}

void PackageSender::OnWorkerEnded(Outcome outcome) {
  if (!m_bRunning) return;
  m_bRunning = false;
  if (outcome != Outcome::Cancelled) emit finished(outcome);
}

void PackageSender::Cancel() {
  m_worker.RequestStop();
  m_bRunning = false;
}

void PackageSender::Stop() {
  Cancel();
  m_worker.Stop();
}
