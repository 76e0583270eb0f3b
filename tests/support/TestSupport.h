#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <ostream>

// Readable failure messages for Qt strings (and lists of them).
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace TestSupport {

// A file of tests/data, of the shipped data/, and of the built programs' folder.
QString TestDataPath(const QString& name);
QString ShippedDataPath(const QString& name);
QString BinPath(const QString& name);

// Writes bytes to a file, creating folders; false on failure.
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
// Everything a folder holds, hidden entries and links included, by name.
QStringList Entries(const QString& folder);

// Polls `condition` while running the event loop, up to timeoutMs; true once it held.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
// Lets the event loop run for a while, so timers and queued reports get their chance.
void Settle(int ms);

struct Clock : QElapsedTimer {
  Clock() { start(); }
};

// The text as UTF-16LE bytes with a byte-order mark.
QByteArray Utf16WithBom(const QString& text);

// A helper process started after this call ends with the test program, even one that crashes.
void EndWithTestProgram(QProcess& process);
// Asks a running process to end, and kills it when it is still there after timeoutMs.
void EndProcess(QProcess& process, int timeoutMs);

// A test with its own folder (each Write makes a new file), in a UTF-8 locale whatever LANG is.
class FileTest : public ::testing::Test {
 protected:
  FileTest();
  QString Write(const QByteArray& bytes);
  QString PathOf(const QString& name) const { return m_dir.filePath(name); }

  QTemporaryDir m_dir;

 private:
  int m_files = 0;
};

}  // namespace TestSupport
