// ./dev soak [MINUTES] [--seed N] [--keep-going]: the whole program under random use and
// faults; see Soak.h.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

#include "soak/Soak.h"

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
  QTemporaryDir root(QDir::tempPath() + "/v770_soak-XXXXXX"_L1);
  // The soak's own user: settings, and a runtime folder for the command line's lock.
  QDir(root.path()).mkpath(u"config"_s);
  QDir(root.path()).mkpath(u"runtime"_s);
  QFile::setPermissions(root.filePath(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(u"config"_s)));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(u"runtime"_s)));
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addPositionalArgument(u"minutes"_s, u"how long (default 10)"_s);
  const QCommandLineOption seed(u"seed"_s, u"the seed of a soak to repeat"_s, u"N"_s);
  const QCommandLineOption keepGoing(u"keep-going"_s, u"report every violation and go on"_s);
  parser.addOptions({seed, keepGoing});
  parser.addHelpOption();
  parser.process(app);
  const double minutes = parser.positionalArguments().value(0, u"10"_s).toDouble();
  if (!root.isValid() || minutes <= 0) parser.showHelp(2);
  const quint64 seedValue =
      parser.isSet(seed) ? parser.value(seed).toULongLong() : QRandomGenerator::system()->generate();
  std::printf("soak seed %llu, %.1f minutes\n", static_cast<unsigned long long>(seedValue), minutes);
  std::fflush(stdout);
  return Soak(seedValue, minutes, parser.isSet(keepGoing)).Run(root.path());
}
