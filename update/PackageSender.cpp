#include "update/PackageSender.h"

#include <QFile>
#include <QPointer>
#include <chrono>
#include <thread>

#include "device/PageReport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"

namespace {

// Passes writes through until the transfer is cancelled; from then on every write fails at
// once, so the retry loop runs out quickly instead of waiting for the unit.
class CancellableChannel : public IUnitChannel {
 public:
  CancellableChannel(IUnitChannel& inner, const std::atomic<bool>& cancel)
      : m_inner(inner), m_cancel(cancel) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    return !m_cancel.load() && m_inner.Write(data, size);
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    return !m_cancel.load() && m_inner.Read(buffer, size, bytesRead);
  }
  void Close() override { m_inner.Close(); }
  bool IsOpen() const override { return m_inner.IsOpen(); }

 private:
  IUnitChannel& m_inner;
  const std::atomic<bool>& m_cancel;
};

}  // namespace

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

PackageSender::Outcome PackageSender::SendPackage(
    const QByteArray& file, const char* channelName, const std::atomic<bool>& cancel,
    const std::function<void(unsigned value)>& progress) {
  CUnitLibrary library;
  if (!library.Load()) return Outcome::ChannelNotOpen;
  const ChannelHandle handle = library.open_file(channelName);
  library.Free();
  if (!IsChannelOpen(handle)) return Outcome::ChannelNotOpen;

  FdChannel channel(handle);
  CancellableChannel guarded(channel, cancel);
  const auto sleep = [&cancel](int ms) {
    if (!cancel.load()) UnitExchange::RealSleep(ms);
  };
  const UnitExchange::TransferResult result =
      UnitExchange::SendPackageFile(guarded, file, progress, sleep);
  if (cancel.load()) return Outcome::Cancelled;
  return result == UnitExchange::TransferResult::Done ? Outcome::Sent : Outcome::GaveUp;
}

PackageSender::PackageSender(QObject* parent) : QObject(parent) {}

PackageSender::~PackageSender() { Cancel(); }

void PackageSender::Start(QByteArray file, const char* channelName) {
  Cancel();
  m_pending.emplace(std::move(file), channelName);
  m_bRunning = true;
  if (!m_bWorkerAlive) Launch();
}

void PackageSender::Launch() {
  QByteArray file = std::move(m_pending->first);
  const char* const channelName = m_pending->second;
  m_pending.reset();
  m_cancel = std::make_shared<std::atomic<bool>>(false);
  m_bWorkerAlive = true;
  const quint64 job = ++m_nJob;
  const QPointer<PackageSender> self(this);
  // Reports of an older job (one that was cancelled) are dropped on arrival.
  std::thread([self, job, cancel = m_cancel, file = std::move(file), channelName] {
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
      PostToPage(self, [job, latest, pending, cancel](PackageSender* sender) {
        pending->store(false);
        if (sender->m_nJob == job && sender->m_bRunning && !cancel->load())
          emit sender->progress(latest->load());
      });
    };
    const Outcome outcome = SendPackage(file, channelName, *cancel, progress);
    // The channel is closed by now.
    PostToPage(self, [job, outcome](PackageSender* sender) { sender->OnWorkerEnded(job, outcome); });
  }).detach();
}

void PackageSender::OnWorkerEnded(quint64 job, Outcome outcome) {
  if (job != m_nJob) return;
  m_bWorkerAlive = false;
  if (m_pending) {
    Launch();
    return;
  }
  if (!m_bRunning) return;
  m_bRunning = false;
  if (outcome != Outcome::Cancelled) emit finished(outcome);
}

void PackageSender::Cancel() {
  if (m_cancel) m_cancel->store(true);
  m_pending.reset();
  m_bRunning = false;
}
