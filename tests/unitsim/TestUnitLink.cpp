#include "TestUnitLink.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>

#include <QDeadlineTimer>

#include "support/TestSupport.h"
#include "unitsim/PackageHeader.h"

TestUnitLink::TestUnitLink() {
  m_module = ::dlopen(TestSupport::BinPath(QStringLiteral("libRUD51iZEV.so")).toLocal8Bit().constData(),
                      RTLD_NOW | RTLD_LOCAL);
  if (!m_module) return;
  m_openDev = reinterpret_cast<int (*)()>(::dlsym(m_module, "open_dev"));
  m_openFile = reinterpret_cast<std::intptr_t (*)(const char*)>(::dlsym(m_module, "open_file"));
}

TestUnitLink::~TestUnitLink() { Unload(); }

void TestUnitLink::Unload() {
  if (m_module) ::dlclose(m_module);
  m_module = nullptr;
  m_openDev = nullptr;
  m_openFile = nullptr;
}

bool TestUnitLink::Write(std::intptr_t fd, const QByteArray& bytes, int timeoutMs) {
  pollfd entry{int(fd), POLLOUT, 0};
  if (::poll(&entry, 1, timeoutMs) != 1 || !(entry.revents & POLLOUT)) return false;
  return ::send(int(fd), bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT) == bytes.size();
}

std::optional<QByteArray> TestUnitLink::Read(std::intptr_t fd, int timeoutMs, std::size_t maxSize) {
  pollfd entry{int(fd), POLLIN, 0};
  if (::poll(&entry, 1, timeoutMs) != 1 || !(entry.revents & POLLIN)) return std::nullopt;
  QByteArray buffer(qsizetype(maxSize), '\0');
  const ssize_t got = ::recv(int(fd), buffer.data(), maxSize, MSG_DONTWAIT);
  if (got <= 0) return std::nullopt;
  buffer.resize(got);
  return buffer;
}

bool TestUnitLink::SendPackage(std::intptr_t fd, const std::vector<std::uint8_t>& file, std::size_t payloadLimit) {
  constexpr std::size_t kChunk = 2048;
  constexpr int kWriteTimeoutMs = 5000;
  const auto bytes = [&](std::size_t at, std::size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(file.data() + at), qsizetype(size));
  };
  if (file.size() < PackageHeader::kPayloadOffset || !Write(fd, bytes(0, PackageHeader::kSize), kWriteTimeoutMs))
    return false;
  const std::size_t payload = std::min(file.size() - PackageHeader::kPayloadOffset, payloadLimit);
  for (std::size_t sent = 0; sent < payload; sent += kChunk)
    if (!Write(fd, bytes(PackageHeader::kPayloadOffset + sent, std::min(kChunk, payload - sent)), kWriteTimeoutMs))
      return false;
  return true;
}

bool TestUnitLink::WaitClosed(std::intptr_t fd, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  char buffer[4096];
  while (!deadline.hasExpired()) {
    pollfd entry{int(fd), POLLIN, 0};
    if (::poll(&entry, 1, int(deadline.remainingTime())) != 1) return false;
    if (::recv(int(fd), buffer, sizeof buffer, MSG_DONTWAIT) == 0) return true;
  }
  return false;
}
