#include "device/UnitExchange.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace UnitExchange {
namespace {

const std::uint8_t* Bytes(const QByteArray& data) {
  return reinterpret_cast<const std::uint8_t*>(data.constData());
}

// One write with its retries: true once a call succeeded, false after `attempts` failures.
// No pause follows the last failure.
bool WriteWithRetries(IUnitChannel& channel, const std::uint8_t* data, std::size_t size, int attempts,
                      int pauseMs, const SleepFn& sleep) {
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (channel.Write(data, size)) return true;
    if (attempt < attempts) sleep(pauseMs);
  }
  return false;
}

}  // namespace

void RealSleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::optional<QByteArray> RequestWithReply(IUnitChannel& writeChannel, IUnitChannel& readChannel,
                                           const QByteArray& command, std::size_t replySize) {
  int failures = 0;
  while (!writeChannel.Write(Bytes(command), static_cast<std::size_t>(command.size())))
    if (++failures > kMaxFailedCalls) return std::nullopt;

  QByteArray reply(static_cast<qsizetype>(replySize), '\0');
  std::size_t got = 0;
  while (!readChannel.Read(reinterpret_cast<std::uint8_t*>(reply.data()), replySize, &got))
    if (++failures > kMaxFailedCalls) return std::nullopt;
  reply.truncate(static_cast<qsizetype>(std::min(got, replySize)));
  return reply;
}

bool SendCommand(IUnitChannel& writeChannel, const QByteArray& command, const SleepFn& sleep) {
  if (!WriteWithRetries(writeChannel, Bytes(command), static_cast<std::size_t>(command.size()),
                        kMaxFailedCalls + 1, 0, [](int) {}))
    return false;
  sleep(kCommandPauseMs);
  return true;
}

std::size_t TransferStep(std::size_t fileSize) {
  if (fileSize < kPayloadOffset) return 1;
  return std::max<std::size_t>((fileSize - kPayloadOffset) / 100, 1);
}

TransferResult SendPackageFile(IUnitChannel& writeChannel, const QByteArray& file,
                               const std::function<void(unsigned value)>& progress,
                               const SleepFn& sleep) {
  const auto fileSize = static_cast<std::size_t>(file.size());
  // Without a whole header and a payload offset the file is no package.
  if (fileSize < kPayloadOffset) return TransferResult::FileTooShort;
  const std::size_t step = TransferStep(fileSize);
  const std::uint8_t* bytes = Bytes(file);

  if (!WriteWithRetries(writeChannel, bytes, kHeaderSize, kTransferAttempts, kHeaderRetryPauseMs, sleep))
    return TransferResult::HeaderFailed;

  const std::uint8_t* payload = bytes + kPayloadOffset;
  const std::size_t payloadSize = fileSize - kPayloadOffset;
  std::size_t sent = 0;
  // At least one write: an empty payload still goes as one empty chunk.
  do {
    const std::size_t chunk = std::min(kChunkSize, payloadSize - sent);
    if (!WriteWithRetries(writeChannel, payload + sent, chunk, kTransferAttempts, kChunkRetryPauseMs, sleep))
      return TransferResult::ChunkFailed;
    sent += chunk;
    if (progress) progress(static_cast<unsigned>(sent / step));
  } while (sent < payloadSize);
  return TransferResult::Done;
}

}  // namespace UnitExchange
