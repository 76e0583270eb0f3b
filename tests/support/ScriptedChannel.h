#pragma once

#include <QByteArray>
#include <QList>
#include <functional>

#include "device/UnitChannel.h"

// A unit channel that records what is written, hands out queued replies and fails chosen calls.
class ScriptedChannel : public IUnitChannel {
 public:
  std::function<bool(int call)> fails;  // true: this call fails (every call counts, from 0)
  QList<QByteArray> replies;            // reads take them in turn; none left: the read fails
  QList<QByteArray> written;
  int calls = 0, failed = 0;

  void FailFirst(int count) {
    fails = [count](int call) { return call < count; };
  }

  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (!Called(false)) return false;
    written.append(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t* bytesRead) override {
    if (!Called(replies.isEmpty())) return false;
    const QByteArray reply = replies.takeFirst();
    *bytesRead = std::min(size, static_cast<std::size_t>(reply.size()));
    std::copy_n(reply.constData(), *bytesRead, reinterpret_cast<char*>(buffer));
    return true;
  }
  void Close() override { m_open = false; }
  bool IsOpen() const override { return m_open; }

 private:
  // Counts the call; false when it is to fail (`empty`: a read finds no reply).
  bool Called(bool empty) {
    const bool fail = (fails && fails(calls)) || empty;
    ++calls;
    failed += fail;
    return !fail;
  }
  bool m_open = true;
};
