#pragma once

#include <QByteArray>
#include <QList>
#include <functional>

#include "device/UnitChannel.h"

// A channel that fails its next calls on demand and records what was written.
class ScriptedChannel : public IUnitChannel {
 public:
  int failWrites = 0;       // the next this many writes fail
  int failReads = 0;        // the next this many reads fail
  std::function<bool(std::size_t size)> refuseWrite;  // true: this write fails
  QByteArray reply;         // what a successful read delivers (cut to the buffer size)
  QList<QByteArray> written;
  int writeCalls = 0;
  int readCalls = 0;
  std::size_t lastReadSize = 0;

  bool Write(const std::uint8_t* data, std::size_t size) override {
    ++writeCalls;
    if (failWrites > 0) {
      --failWrites;
      return false;
    }
    if (refuseWrite && refuseWrite(size)) return false;
    written.append(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    ++readCalls;
    lastReadSize = size;
    if (failReads > 0) {
      --failReads;
      return false;
    }
    const std::size_t n = std::min(size, static_cast<std::size_t>(reply.size()));
    std::copy_n(reply.constData(), n, reinterpret_cast<char*>(buffer));
    *bytesRead = n;
    return true;
  }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }

 private:
  bool open = true;
};
