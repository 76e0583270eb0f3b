#include <QApplication>

#include "app/CV700UpdaterApp.h"

int main(int argc, char* argv[]) {
  // The banner's web view shares OpenGL contexts; this must be said before the application exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("V770PCSoft"));
  QApplication::setApplicationDisplayName(QStringLiteral("V770 PC Software"));
  theApp.InitInstance();
  return 0;
}
