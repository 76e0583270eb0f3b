#include "unitsim/UnitSimClient.h"

#include <unistd.h>

UnitSimClient::UnitSimClient(std::string socketPath) : m_socketPath(std::move(socketPath)) {}

std::optional<std::string> UnitSimClient::Command(std::string_view command) {
  const int fd = UnitProtocol::Connect(m_socketPath);
  if (fd < 0) {
    m_lastError = "no emulated unit on " + m_socketPath;
    return std::nullopt;
  }
  std::string answer, text;
  const bool answered = UnitProtocol::Exchange(fd, std::string(UnitProtocol::kControl) + std::string(command), &answer);
  ::close(fd);
  if (!answered) {
    m_lastError = "the emulated unit on " + m_socketPath + " did not answer";
    return std::nullopt;
  }
  if (!UnitProtocol::IsOk(answer, &text)) {
    m_lastError = text;
    return std::nullopt;
  }
  m_lastError.clear();
  return text;
}

bool UnitSimClient::Plug() { return Command("plug").has_value(); }
bool UnitSimClient::Unplug() { return Command("unplug").has_value(); }
std::optional<std::string> UnitSimClient::Status() { return Command("status"); }
bool UnitSimClient::Set(std::string_view field, long value) {
  return Command("set " + std::string(field) + " " + std::to_string(value)).has_value();
}
bool UnitSimClient::Stall(long ms) { return Command("stall " + std::to_string(ms)).has_value(); }
bool UnitSimClient::ReplyDelay(long ms) { return Command("reply-delay " + std::to_string(ms)).has_value(); }
bool UnitSimClient::Rate(long bytesPerSecond) { return Command("rate " + std::to_string(bytesPerSecond)).has_value(); }
