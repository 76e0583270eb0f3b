#include "support/ProgramProcess.h"

#include <QFile>

#include "support/TestSupport.h"

namespace {
constexpr int kStopTimeoutMs = 5000;
}

ProgramProcess::ProgramProcess() {
  for (const char* name : {"V770UIText_New_v12.txt", "V770_VersionInfo_v12.txt", "V770UIText_Extra_v12.txt"})
    QFile::copy(TestSupport::BinPath(QStringLiteral("../data/") + QLatin1String(name)),
                WorkPath(QLatin1String(name)));
}

ProgramProcess::~ProgramProcess() {
  for (auto& program : m_programs) TestSupport::EndProcess(*program, kStopTimeoutMs);
}

QProcess& ProgramProcess::Start() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
  auto& program = m_programs.emplace_back(std::make_unique<QProcess>());
  program->setProcessEnvironment(environment);
  program->setWorkingDirectory(m_work.path());
  program->setStandardOutputFile(QProcess::nullDevice());
  program->setStandardErrorFile(m_programs.size() == 1 ? WorkPath(QStringLiteral("stderr.txt")) : QProcess::nullDevice());
  program->start(TestSupport::BinPath(QStringLiteral("V770PCSoft")), {});
  return *program;
}

QString ProgramProcess::ErrorOutput() const {
  return QString::fromLocal8Bit(TestSupport::ReadFile(WorkPath(QStringLiteral("stderr.txt"))));
}
