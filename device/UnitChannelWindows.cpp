#include "device/UnitChannelWindows.h"

#include <windows.h>

#include <algorithm>
#include <limits>

namespace {
HANDLE AsHandle(ChannelHandle handle) { return reinterpret_cast<HANDLE>(handle); }

UnitChannelCanceller::Clock::time_point DeadlineIn(int ms) {
  return UnitChannelCanceller::Clock::now() + std::chrono::milliseconds(ms);
}

constexpr std::size_t kMaxCallSize = std::numeric_limits<DWORD>::max();
}  // namespace

HandleChannel::HandleChannel(ChannelHandle handle, int timeoutMs) : m_handle(handle), m_timeoutMs(timeoutMs) {}

HandleChannel::~HandleChannel() { Close(); }

bool HandleChannel::Write(const std::uint8_t* data, std::size_t size) {
  if (!IsOpen() || (size > 0 && !data)) return false;
  if (!m_canceller.Begin(DeadlineIn(m_timeoutMs))) return false;
  bool ok = true;
  std::size_t done = 0;
  // At least one call, so an empty chunk is still one (empty) write.
  do {
    DWORD written = 0;
    const auto piece = static_cast<DWORD>(std::min(size - done, kMaxCallSize));
    if (!::WriteFile(AsHandle(m_handle), data + done, piece, &written, nullptr) || (piece > 0 && written == 0)) {
      ok = false;
      break;
    }
    done += written;
  } while (done < size);
  m_canceller.End();
  return ok;
}

bool HandleChannel::ReadWithin(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead, int timeoutMs) {
  if (bytesRead) *bytesRead = 0;
  if (!IsOpen() || !buffer || size == 0) return false;
  if (!m_canceller.Begin(DeadlineIn(timeoutMs))) return false;
  DWORD got = 0;
  const bool ok = ::ReadFile(AsHandle(m_handle), buffer, static_cast<DWORD>(std::min(size, kMaxCallSize)), &got,
                             nullptr) != 0;
  m_canceller.End();
  // Nothing at all means the unit closed the channel.
  if (!ok || got == 0) return false;
  if (bytesRead) *bytesRead = got;
  return true;
}

bool HandleChannel::Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) {
  return ReadWithin(buffer, size, bytesRead, m_timeoutMs);
}

int HandleChannel::DiscardPending() {
  // A handle cannot be asked what is waiting on it: whatever a short read finds is dropped.
  int dropped = 0;
  std::uint8_t scrap[kDiscardBufferSize];
  std::size_t got = 0;
  while (ReadWithin(scrap, sizeof scrap, &got, kDiscardWaitMs)) ++dropped;
  return dropped;
}

void HandleChannel::Interrupt() { m_canceller.Interrupt(); }

void HandleChannel::Close() {
  if (IsOpen()) ::CloseHandle(AsHandle(m_handle));
  m_handle = kChannelNotOpen;
}

bool HandleChannel::IsOpen() const { return IsChannelOpen(m_handle); }
