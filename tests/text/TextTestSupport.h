#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace TextTest {

// Pins the user's locale to C.UTF-8 for the whole test program, so results do not depend on
// the machine's LANG. Returns the code page that locale stands for.
int UseUtf8Locale();

// The text as UTF-16LE bytes with a byte-order mark.
QByteArray Utf16WithBom(const QString& text);

// A test with its own folder, in which each Write makes a new file.
class FileTest : public ::testing::Test {
 protected:
  QString Write(const QByteArray& bytes);
  QString PathOf(const QString& name) const { return m_dir.filePath(name); }

  QTemporaryDir m_dir;

 private:
  int m_files = 0;
};

}  // namespace TextTest
