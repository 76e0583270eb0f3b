// The emulated unit over TCP, as the unit library built for Windows reaches it: requests
// are lines, and a channel's bytes are a stream that the unit cuts back into its commands.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "../update/UpdateTestSupport.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "unitsim/ChannelStreamSplitter.h"
#include "unitsim/UnitTcpLink.h"

namespace {
using Messages = std::vector<std::string>;
using namespace std::string_literals;

// Pieces as they may arrive, and the messages they make, for each kind of channel.
TEST(ChannelStreamSplitter, CutsTheStreamIntoTheUnitsMessages) {
  const std::string poiWrite = "$P8<\x05" + std::string(12, 'r');
  const std::string header(20, 'h');
  const struct {
    const char* what;
    UnitChannelInfo::Role role;
    Messages pieces;
    Messages expected;
  } cases[] = {
      {"a command in two pieces", UnitChannelInfo::kCommand, {"$VE", "R>"}, {"$VER>"}},
      {"two commands in one piece", UnitChannelInfo::kCommand, {"$PC>$P6>"}, {"$PC>", "$P6>"}},
      {"the data a command carries, zero bytes included",
       UnitChannelInfo::kCommand, {"$P1<\x01", "\0$P0<"s}, {"$P1<\x01\0"s, "$P0<"}},
      {"a record written whole", UnitChannelInfo::kCommand, {poiWrite + "$PC>"}, {poiWrite, "$PC>"}},
      {"record bytes that look like commands", UnitChannelInfo::kCommand,
       {"$P8<\x01$VER>$PC>$P", "0"}, {"$P8<\x01$VER>$PC>$P0"}},
      {"stray bytes before a command", UnitChannelInfo::kCommand, {"xy$VER>"}, {"xy", "$VER>"}},
      {"no command end in time", UnitChannelInfo::kCommand, {"$VERSION", "$VER>"}, {"$VERSION", "$VER>"}},
      {"an unfinished command waits", UnitChannelInfo::kCommand, {"$VER"}, {}},
      {"a package header, then the payload as it comes", UnitChannelInfo::kTransfer,
       {header.substr(0, 7), header.substr(7) + "pay", "load"}, {header, "pay", "load"}},
      {"a write on a reply channel", UnitChannelInfo::kReply, {"$VER>$VER>"}, {"$VER>$VER>"}},
  };
  for (const auto& c : cases) {
    ChannelStreamSplitter splitter(c.role);
    Messages got;
    for (const std::string& piece : c.pieces)
      for (std::string& message : splitter.Feed(piece)) got.push_back(std::move(message));
    EXPECT_EQ(got, c.expected) << c.what;
  }
}

class UnitSimTcpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit.AlsoServeTcp();
    ASSERT_TRUE(unit.Start()) << unit.DaemonLog().constData();
    port = unit.TcpPort();
    ASSERT_GT(port, 0) << unit.DaemonLog().constData();
  }
  void TearDown() override {
    for (UnitTcpLink::Socket socket : opened) UnitTcpLink::Close(socket);
  }
  // A channel opened over TCP, as the library built for Windows opens it; -1 when refused.
  UnitTcpLink::Socket Open(const char* name) {
    const UnitTcpLink::Socket socket = UnitTcpLink::Connect(port);
    std::string answer;
    if (!UnitTcpLink::Exchange(socket, std::string("open ") + name, &answer) || answer != "ok") {
      UnitTcpLink::Close(socket);
      return UnitTcpLink::kNoSocket;
    }
    return opened.emplace_back(socket);
  }
  std::string Ask(const std::string& request) {
    const UnitTcpLink::Socket socket = UnitTcpLink::Connect(port);
    std::string answer;
    const bool answered = UnitTcpLink::Exchange(socket, request, &answer);
    UnitTcpLink::Close(socket);
    return answered ? answer : "(no answer)";
  }
  static bool Send(UnitTcpLink::Socket socket, const QByteArray& bytes) {
    return ::send(int(socket), bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
  }
  // Exactly `size` bytes, or what came before the time ran out.
  static QByteArray Receive(UnitTcpLink::Socket socket, qsizetype size, int timeoutMs = 3000) {
    QByteArray bytes;
    TestSupport::Clock clock;
    char buffer[4096];
    while (bytes.size() < size && clock.elapsed() < timeoutMs) {
      pollfd entry{int(socket), POLLIN, 0};
      if (::poll(&entry, 1, 50) != 1) continue;
      const ssize_t got = ::recv(int(socket), buffer, std::min<std::size_t>(sizeof buffer, size - bytes.size()), 0);
      if (got <= 0) break;
      bytes.append(buffer, got);
    }
    return bytes;
  }

  UnitEmulator unit;
  int port = 0;
  std::vector<UnitTcpLink::Socket> opened;
};

TEST_F(UnitSimTcpTest, RequestsAreLinesAndChannelsAreStreams) {
  EXPECT_EQ(Ask("probe"), "ok plugged");
  EXPECT_NE(Ask("ctl status").find("\"poi\""), std::string::npos);
  EXPECT_EQ(Open("PIPE01DB"), UnitTcpLink::kNoSocket);
  const auto reader = Open("PIPE01Main"), writer = Open("PIPE00Main");
  ASSERT_NE(writer, UnitTcpLink::kNoSocket);
  // One command in two writes, then two in one: three replies, nothing else.
  ASSERT_TRUE(Send(writer, "$VE") && Send(writer, "R>") && Send(writer, "$VER>$VER>"));
  const QByteArray replies = Receive(reader, 37, 1000);
  EXPECT_EQ(replies.size(), 36);
  EXPECT_EQ(replies.left(12), replies.mid(24));
  ASSERT_TRUE(unit.Client().Unplug());
  EXPECT_EQ(Ask("probe"), "ok unplugged");
  EXPECT_TRUE(Receive(reader, 1, 1000).isEmpty());  // closed
}

TEST_F(UnitSimTcpTest, APackageInAnySlicesIsInstalled) {
  const QByteArray file = UpdateTestSupport::Database(20000);
  const QByteArray sent = file.left(20) + file.mid(1024);
  const auto channel = Open("PIPE00DB");
  for (qsizetype at = 0; at < sent.size(); at += 999) ASSERT_TRUE(Send(channel, sent.mid(at, 999)));
  ASSERT_TRUE(unit.WaitForStatus([](const QJsonObject& s) { return !s["packages"].toArray().isEmpty(); }, 10000));
  const QJsonObject package = unit.Status()["packages"][0].toObject();
  EXPECT_TRUE(package["installed"].toBool()) << package["reason"].toString().toStdString();
}

TEST(UnitSimTcp, ServesLoopbackOnly) {
  QTemporaryDir folder;
  QProcess process;
  process.start(TestSupport::BinPath("v770-unit"),
                {"serve", "--socket", folder.filePath("unit.sock"), "--tcp", "0.0.0.0:0"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_TRUE(process.readAllStandardError().contains("not a loopback address"));
}
}  // namespace
