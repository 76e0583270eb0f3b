#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#ifdef V770_TEST_WIDGETS
#include <QApplication>
#endif

#include "platform/Profile.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"

// Every test program gets its own settings file, so no test reads or writes the user's, and
// the program's own messages as shipped. Page and widget tests get a widget application.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifdef V770_TEST_WIDGETS
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // for the web view
  QApplication app(argc, argv);
#else
  QCoreApplication app(argc, argv);
#endif
  QTemporaryDir settingsDir;
  Profile::SetFilePathForTesting(settingsDir.filePath(QStringLiteral("V770PCSoft.ini")));
  LoadExtraTexts(TestSupport::ShippedDataPath(QString::fromLatin1(kExtraTextFileName)));
  return RUN_ALL_TESTS();
}
