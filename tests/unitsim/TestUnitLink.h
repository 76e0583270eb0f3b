#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>
#include <optional>

// The unit library loaded as the program loads it (dlopen of the built libRUD51iZEV.so),
// and plain reads and writes on the descriptors it hands out.
class TestUnitLink {
 public:
  TestUnitLink();
  ~TestUnitLink();
  TestUnitLink(const TestUnitLink&) = delete;
  TestUnitLink& operator=(const TestUnitLink&) = delete;

  bool IsLoaded() const { return m_openDev && m_openFile; }
  void Unload();

  int OpenDev() const { return m_openDev ? m_openDev() : -1; }
  std::intptr_t OpenFile(const char* name) const { return m_openFile ? m_openFile(name) : -1; }

  // One message; false when the call fails (or would block for longer than timeoutMs).
  static bool Write(std::intptr_t fd, const QByteArray& bytes, int timeoutMs = 2000);
  // One message of at most maxSize bytes, or nothing when none came within timeoutMs or the
  // channel was closed.
  static std::optional<QByteArray> Read(std::intptr_t fd, int timeoutMs, std::size_t maxSize = 4096);
  // Sends a package file as the program does: the 20-byte header, then the payload from
  // byte 1024 in 2048-byte chunks; stops after `payloadLimit` payload bytes.
  static bool SendPackage(std::intptr_t fd, const std::vector<std::uint8_t>& file,
                          std::size_t payloadLimit = SIZE_MAX);
  // True once the unit closed the channel (within timeoutMs); pending messages are dropped.
  static bool WaitClosed(std::intptr_t fd, int timeoutMs);

 private:
  void* m_module = nullptr;
  int (*m_openDev)() = nullptr;
  std::intptr_t (*m_openFile)(const char*) = nullptr;
};
