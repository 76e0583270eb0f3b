#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// What the fuzz targets share. The parsers read files, so an input is first written to a
// file in the process's own temporary folder; the emulated unit reads messages, so an input
// is cut into messages.

// A broken promise of the code under test: reported and ended like a crash, so the fuzzer
// keeps the input.
#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) {                                                          \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                              \
    }                                                                            \
  } while (0)

namespace FuzzInput {

// The process's temporary folder, removed at exit.
inline QString Folder() {
  static const QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/v770-fuzz-XXXXXX"));
  if (!dir.isValid()) std::abort();
  return dir.path();
}

// Writes the input into the file `name` of the folder; returns its path.
inline QString File(const std::uint8_t* data, std::size_t size, const QString& name = QStringLiteral("input")) {
  const QString path = Folder() + QLatin1Char('/') + name;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
    std::abort();
  return path;
}

// The input as messages: a length byte, then that many bytes (what is left, at the end).
class Messages {
 public:
  Messages(const std::uint8_t* data, std::size_t size) : m_data(data), m_left(size) {}

  bool Next(std::string_view& message) {
    if (m_left == 0) return false;
    const std::size_t length = std::min<std::size_t>(*m_data, m_left - 1);
    message = std::string_view(reinterpret_cast<const char*>(m_data + 1), length);
    m_data += length + 1;
    m_left -= length + 1;
    return true;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_left;
};

}  // namespace FuzzInput
