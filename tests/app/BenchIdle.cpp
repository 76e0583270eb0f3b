// The idle program's cost, helpers included (demo unit attached, no banner host): its memory
// 10 s after start and its share of a core over the next 30 s, as "NAME VALUE UNIT" lines.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <cstdio>

#include "support/ProgramProcess.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"

namespace {

constexpr int kSettleSeconds = 10;
constexpr int kIdleSeconds = 30;

// The fields of /proc/PID/stat after the command name: [1] parent, [11] user and [12] system time.
QList<QByteArray> Stat(qint64 pid) {
  const QByteArray stat = TestSupport::ReadFile(QStringLiteral("/proc/%1/stat").arg(pid));
  return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

// The program and every process below it.
QList<qint64> ProcessTree(qint64 root) {
  QList<qint64> tree{root};
  const QStringList all = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
  for (qsizetype i = 0; i < tree.size(); ++i)
    for (const QString& pid : all)
      if (Stat(pid.toLongLong()).value(1).toLongLong() == tree[i]) tree.append(pid.toLongLong());
  return tree;
}

// Resident kilobytes of the tree, and its CPU time in clock ticks.
std::pair<qint64, qint64> TreeUsage(qint64 root) {
  qint64 residentKb = 0, ticks = 0;
  for (qint64 pid : ProcessTree(root)) {
    const QByteArray status = TestSupport::ReadFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n'))
      if (line.startsWith("VmRSS:")) residentKb += line.mid(6).trimmed().split(' ').first().toLongLong();
    const QList<QByteArray> stat = Stat(pid);
    ticks += stat.value(11).toLongLong() + stat.value(12).toLongLong();
  }
  return {residentKb, ticks};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  UnitEmulator unit;
  const QByteArray demoUnit = TestSupport::ReadFile(TestSupport::BinPath("../data/demo-unit-state.json"));
  ProgramProcess folders;
  if (!unit.Start(QJsonDocument::fromJson(demoUnit).object())) return 1;
  // No banner host: the banner points at a loopback port nobody listens on.
  const QString uiText = folders.WorkPath("V770UIText_New_v12.txt");
  const QByteArray bytes = TestSupport::ReadFile(uiText);
  QString texts = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
  texts.replace("http://www.v770.example/", "http://127.0.0.1:1/");
  const QByteArray changed(reinterpret_cast<const char*>(texts.utf16()), texts.size() * 2);
  if (!TestSupport::WriteFile(uiText, changed)) return 1;

  QProcess& program = folders.Start();
  if (!program.waitForStarted()) return 1;
  QThread::sleep(kSettleSeconds);
  const auto [residentKb, ticksBefore] = TreeUsage(program.processId());
  const int processes = ProcessTree(program.processId()).size();
  QThread::sleep(kIdleSeconds);
  const qint64 ticks = TreeUsage(program.processId()).second - ticksBefore;
  // The demo unit must have been identified, or the program was not idle in the state measured.
  const QJsonArray asked = unit.Status()["log"].toObject()["PIPE00Main"].toArray();
  if (asked.isEmpty() || program.state() != QProcess::Running) return 1;

  std::printf("rss_idle_offline_MB %.1f MB\n", residentKb / 1024.0);
  std::printf("idle_processes %d count\n", processes);
  std::printf("idle_cpu_percent %.3f %%\n", 100.0 * ticks / double(sysconf(_SC_CLK_TCK)) / kIdleSeconds);
  return 0;
}
