#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <functional>

#include "device/UnitChannel.h"

// One end of a POI pipe for tests: records what is written, hands out queued replies, and
// fails the calls a test picks (call numbers count every call on this end from 0).
class FakePoiChannel : public IUnitChannel {
 public:
  std::function<bool(int call)> fails;  // true: this call fails
  QList<QByteArray> replies;            // a read takes the first; none left: the read fails
  QList<QByteArray> written;
  int calls = 0;
  std::function<void()> onCall;  // runs inside every call

  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (!Called()) return false;
    written.append(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    if (!Called() || replies.isEmpty()) return false;
    const QByteArray reply = replies.takeFirst();
    const std::size_t n = std::min(size, static_cast<std::size_t>(reply.size()));
    std::copy_n(reply.constData(), n, reinterpret_cast<char*>(buffer));
    *bytesRead = n;
    return true;
  }
  void Close() override { m_open = false; }
  bool IsOpen() const override { return m_open; }

 private:
  bool Called() {
    if (onCall) onCall();
    return !(fails && fails(calls++));
  }
  bool m_open = true;
};
