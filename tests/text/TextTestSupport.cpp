#include "TextTestSupport.h"

#include <QtGlobal>

#include "platform/CodePage.h"
#include "support/TestSupport.h"

namespace TextTest {

int UseUtf8Locale() {
  qputenv("LC_ALL", "C.UTF-8");
  return CodePage::kUtf8;
}

QByteArray Utf16WithBom(const QString& text) {
  QByteArray bytes("\xFF\xFE", 2);
  for (const QChar c : text) {
    bytes.append(char(c.unicode() & 0xFF));
    bytes.append(char(c.unicode() >> 8));
  }
  return bytes;
}

QString FileTest::Write(const QByteArray& bytes) {
  const QString path = m_dir.filePath(QStringLiteral("file%1").arg(m_files++));
  EXPECT_TRUE(TestSupport::WriteFile(path, bytes));
  return path;
}

// Pinned before any test runs; a test that changes LC_ALL puts this back.
const int kPinnedLocaleCodePage = UseUtf8Locale();

}  // namespace TextTest
