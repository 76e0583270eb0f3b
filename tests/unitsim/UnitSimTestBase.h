#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <initializer_list>
#include <utility>
#include <vector>

#include "TestUnitLink.h"
#include "support/UnitEmulator.h"

// A running emulated unit per test, reached through the unit library as the program
// reaches it. Channels opened with Open are closed at the end.
class UnitSimTestBase : public ::testing::Test {
 protected:
  static constexpr int kReplyTimeoutMs = 3000;
  // Long enough to be sure nothing is coming on a loaded machine.
  static constexpr int kSilenceMs = 300;

  virtual QJsonObject InitialState() const { return {}; }

  // A fresh unit's "$VER>" reply, with some bytes changed.
  static QByteArray FreshReplyWith(std::initializer_list<std::pair<int, int>> changes = {}) {
    QByteArray reply = QByteArray::fromHex("0302030f0701050102030000");
    for (const auto& [at, value] : changes) reply[at] = char(value);
    return reply;
  }

  void SetUp() override {
    ASSERT_TRUE(link.IsLoaded());
    ASSERT_TRUE(unit.Start(InitialState())) << unit.DaemonLog().constData();
  }

  void TearDown() override {
    for (std::intptr_t fd : opened) ::close(int(fd));
  }

  std::intptr_t Open(const char* name) {
    const std::intptr_t fd = link.OpenFile(name);
    if (fd > 0) opened.push_back(fd);
    return fd;
  }

  void CloseChannel(std::intptr_t fd) {
    std::erase(opened, fd);
    ::close(int(fd));
  }

  // The 12-byte "$VER>" reply, asked on fresh Main channels.
  QByteArray VersionReply() {
    const std::intptr_t reader = Open("PIPE01Main");
    const std::intptr_t writer = Open("PIPE00Main");
    if (reader <= 0 || writer <= 0 || !TestUnitLink::Write(writer, "$VER>")) return {};
    const auto reply = TestUnitLink::Read(reader, kReplyTimeoutMs, 13);
    CloseChannel(reader);
    CloseChannel(writer);
    return reply.value_or(QByteArray());
  }

  QJsonArray Packages() { return unit.Status()["packages"].toArray(); }

  // Waits until the unit has decided `count` packages; the last one.
  QJsonObject WaitForPackage(int count, int timeoutMs = 10000) {
    unit.WaitForStatus([&](const QJsonObject& s) { return s["packages"].toArray().size() >= count; }, timeoutMs);
    const QJsonArray packages = Packages();
    return packages.size() >= count ? packages[count - 1].toObject() : QJsonObject();
  }

  // Log entries of one channel, oldest first.
  QJsonArray Log(const char* channel) { return unit.Status()["log"].toObject()[channel].toArray(); }

  UnitEmulator unit;
  TestUnitLink link;
  std::vector<std::intptr_t> opened;
};
