#include <QApplication>

#include "app/CV700UpdaterApp.h"
#include "app/OwnWorkingFolder.h"
#include "platform/CloseSignals.h"
#include "platform/SingleInstance.h"

int main(int argc, char* argv[]) {
  // The banner's web view shares OpenGL contexts; this must be said before the application exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  CV700UpdaterApp::SetApplicationNames();
  EnterWorkingFolder();
  // One program per user talks to the unit: a second start hands over to the first and ends.
  SingleInstance instance;
  if (!instance.Acquire()) return theApp.HandOverToRunningProgram(instance);
  QObject::connect(&instance, &SingleInstance::activationRequested, [] { theApp.BringToFront(); });
  CloseSignals closeSignals;
  QObject::connect(&closeSignals, &CloseSignals::closeRequested, [] { theApp.RequestClose(); });
  theApp.InitInstance();
  return 0;
}
