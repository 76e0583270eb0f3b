#include "platform/CloseSignals.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kHandledSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}
}  // namespace

CloseSignals::CloseSignals(QObject* parent) : QObject(parent) {
  if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
  ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
  m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &CloseSignals::OnSignalByte);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kHandledSignals) ::sigaction(signal, &action, nullptr);
}

CloseSignals::~CloseSignals() {
  if (!m_notifier) return;
  for (int signal : kHandledSignals) std::signal(signal, SIG_DFL);
  m_notifier.reset();
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void CloseSignals::OnSignalByte() {
  char buffer[16];
  [[maybe_unused]] const auto read = ::read(g_pipe[0], buffer, sizeof buffer);
  emit closeRequested();
}
