#include "support/TestSupport.h"

#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QThread>
#include <csignal>

namespace TestSupport {

QString TestDataPath(const QString& name) { return QStringLiteral(V770_TEST_DATA_DIR "/") + name; }
QString ShippedDataPath(const QString& name) { return QStringLiteral(V770_SHIPPED_DATA_DIR "/") + name; }
QString BinPath(const QString& name) { return QStringLiteral(V770_BIN_DIR "/") + name; }

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

void Settle(int ms) {
  QDeadlineTimer deadline(ms);
  WaitUntil([&] { return deadline.hasExpired(); }, ms + 1000);
}

QByteArray Utf16WithBom(const QString& text) {
  QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
  return encoder.encode(text);
}

void EndWithTestProgram(QProcess& process) {
  process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void EndProcess(QProcess& process, int timeoutMs) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(timeoutMs)) process.kill();
  process.waitForFinished(timeoutMs);
}

FileTest::FileTest() { qputenv("LC_ALL", "C.UTF-8"); }

QString FileTest::Write(const QByteArray& bytes) {
  const QString path = m_dir.filePath(QStringLiteral("file%1").arg(m_files++));
  EXPECT_TRUE(WriteFile(path, bytes));
  return path;
}

}  // namespace TestSupport
