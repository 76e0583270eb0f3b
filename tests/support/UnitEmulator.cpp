#include "support/UnitEmulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include "support/TestSupport.h"
#include "unitsim/UnitProtocol.h"

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kPollPeriodMs = 20;
}  // namespace

UnitEmulator::UnitEmulator() : m_client(SocketPath().toStdString()) {
  if (qEnvironmentVariableIsSet(UnitProtocol::kSocketEnv))
    m_savedSocketEnv = qgetenv(UnitProtocol::kSocketEnv);
}

UnitEmulator::~UnitEmulator() {
  Stop();
  if (m_savedSocketEnv)
    qputenv(UnitProtocol::kSocketEnv, *m_savedSocketEnv);
  else
    qunsetenv(UnitProtocol::kSocketEnv);
}

QByteArray UnitEmulator::DaemonLog() const {
  return TestSupport::ReadFile(m_dir.filePath(QStringLiteral("unit.log")));
}

bool UnitEmulator::Start(const QJsonObject& initialState) {
  Stop();
  QFile::remove(StatePath());
  if (!initialState.isEmpty() && !TestSupport::WriteFile(StatePath(), QJsonDocument(initialState).toJson()))
    return false;
  return Launch();
}

bool UnitEmulator::Restart() {
  Stop();
  return Launch();
}

bool UnitEmulator::Launch() {
  if (!m_dir.isValid()) return false;
  qputenv(UnitProtocol::kSocketEnv, SocketPath().toLocal8Bit());
  m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("unit.log")), QIODevice::Append);
  TestSupport::EndWithTestProgram(m_process);
  const QStringList arguments{QStringLiteral("serve"), QStringLiteral("--state"), StatePath(),
                              QStringLiteral("--socket"), SocketPath()};
  m_process.start(TestSupport::BinPath(QStringLiteral("v770-unit")), arguments);
  if (!m_process.waitForStarted(kStartTimeoutMs)) return false;
  // Ready once it answers its control.
  QDeadlineTimer deadline(kStartTimeoutMs);
  while (!deadline.hasExpired() && IsRunning()) {
    if (m_client.Status()) return true;
    // Also how QProcess learns that the daemon gave up (no event loop runs here).
    if (m_process.waitForFinished(kPollPeriodMs)) return false;
  }
  return false;
}

void UnitEmulator::Stop() { TestSupport::EndProcess(m_process, kStopTimeoutMs); }

QJsonObject UnitEmulator::Status() {
  const auto status = m_client.Status();
  return status ? QJsonDocument::fromJson(QByteArray::fromStdString(*status)).object() : QJsonObject();
}

bool UnitEmulator::WaitForStatus(const std::function<bool(const QJsonObject&)>& condition, int timeoutMs) {
  return TestSupport::WaitUntil(
      [&] {
        const QJsonObject status = Status();
        return !status.isEmpty() && condition(status);
      },
      timeoutMs);
}
