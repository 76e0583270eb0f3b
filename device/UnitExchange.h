#pragma once

#include <QByteArray>
#include <cstddef>
#include <functional>
#include <optional>

#include "device/UnitChannel.h"

// The rules every exchange with the unit shares, written once.
namespace UnitExchange {

// An exchange tolerates this many failed calls in all and ends at the next one.
inline constexpr int kMaxFailedCalls = 10;
inline constexpr int kCommandPauseMs = 100;

// File transfer: 20-byte header, payload from byte 1024 in chunks of at most 2048 bytes.
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kPayloadOffset = 1024;
inline constexpr std::size_t kChunkSize = 2048;
inline constexpr int kTransferAttempts = 3002;
inline constexpr int kHeaderRetryPauseMs = 5;
inline constexpr int kChunkRetryPauseMs = 1;

// Pauses the calling thread; tests pass one that only records.
using SleepFn = std::function<void(int ms)>;
void RealSleep(int ms);

// Writes the command, then reads at most replySize bytes in one call (a short reply is
// accepted as it is). Writes and reads share one failure count. nullopt: no reply.
std::optional<QByteArray> RequestWithReply(IUnitChannel& writeChannel, IUnitChannel& readChannel,
                                           const QByteArray& command, std::size_t replySize);

// Writes a command that has no answer, then pauses. False when the failures ran out.
bool SendCommand(IUnitChannel& writeChannel, const QByteArray& command,
                 const SleepFn& sleep = RealSleep);

// The progress step of a package: (size - 1024) / 100, at least 1.
std::size_t TransferStep(std::size_t fileSize);

enum class TransferResult { Done, HeaderFailed, ChunkFailed, FileTooShort };

// Sends a whole package file held in memory: the header, then the payload chunks, each
// write retried with its pause. `progress` gets sent / step after every chunk.
// A file shorter than the payload offset is refused before anything is written.
TransferResult SendPackageFile(IUnitChannel& writeChannel, const QByteArray& file,
                               const std::function<void(unsigned value)>& progress,
                               const SleepFn& sleep = RealSleep);

}  // namespace UnitExchange
