#include <QApplication>

#include "app/CV700UpdaterApp.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("V770PCSoft"));
  QApplication::setApplicationDisplayName(QStringLiteral("V770 PC Software"));
  theApp.InitInstance();
  return 0;
}
