// The recovery transfer over a real descriptor: what reaches the unit's end, and that the
// channel is closed whatever the outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <tuple>

#include "device/RecoveryTransfer.h"

namespace {

TEST(RecoveryTransfer, EveryOutcomeClosesTheChannel) {
  const QByteArray package(1024 + 2049, '\x5A');
  using Outcome = RecoveryOutcome;
  for (const auto& [listening, cancelled, outcome, messages] :
       {std::tuple{true, false, Outcome::Sent, 3}, {false, false, Outcome::Failed, 0},
        {true, true, Outcome::Cancelled, 0}}) {
    int fds[2];  // one write is one message, as on the unit's channels
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    if (!listening) ::close(fds[1]);
    std::stop_source stop;
    if (cancelled) stop.request_stop();
    EXPECT_EQ(SendRecoveryPackage({fds[0], package}, nullptr, [](int) {}, stop.get_token()), outcome);
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);  // closed
    if (!listening) continue;
    char buffer[4096];
    int received = 0;
    while (::recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT) > 0) ++received;
    EXPECT_EQ(received, messages) << static_cast<int>(outcome);
    ::close(fds[1]);
  }
  for (ChannelHandle handle : {ChannelHandle(-1), ChannelHandle(0)})
    EXPECT_EQ(SendRecoveryPackage({handle, package}, nullptr), RecoveryOutcome::ChannelNotOpen);
}

}  // namespace
