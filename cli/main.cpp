#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSet>

#include "app/OwnWorkingFolder.h"
#include "app/WorkingFiles.h"
#include "cli/CliCommands.h"
#include "platform/SingleInstance.h"
#include "text/ExtraTexts.h"

namespace {

// The one line said when the file of the program's own texts is itself the missing one.
constexpr const char* kFileMissingFallback =
    "%1 is not in %2. Run v770 in the folder that holds the program's data files.";

struct CliOptions {
  QCommandLineOption json{QStringLiteral("json"), ExtraText(ExtraTextId::CLI_OPTION_JSON)};
  QCommandLineOption force{QStringLiteral("force"), ExtraText(ExtraTextId::CLI_OPTION_FORCE)};
  QCommandLineOption area{QStringLiteral("area"), ExtraText(ExtraTextId::CLI_OPTION_AREA), QStringLiteral("NAME")};
  QCommandLineOption voice{QStringLiteral("voice"), ExtraText(ExtraTextId::CLI_OPTION_VOICE), QStringLiteral("NAME")};
  QCommandLineOption manual{QStringLiteral("manual"), ExtraText(ExtraTextId::CLI_OPTION_MANUAL)};
  QCommandLineOption dryRun{QStringLiteral("dry-run"), ExtraText(ExtraTextId::CLI_OPTION_DRY_RUN)};
  QCommandLineOption download{QStringLiteral("download"), ExtraText(ExtraTextId::CLI_OPTION_DOWNLOAD)};
  QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, ExtraText(ExtraTextId::CLI_OPTION_OUTPUT),
                            QStringLiteral("FILE")};
  QCommandLineOption format{QStringLiteral("format"), ExtraText(ExtraTextId::CLI_OPTION_FORMAT),
                            QStringLiteral("txt|gpx|kml|csv")};
  QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, ExtraText(ExtraTextId::CLI_OPTION_HELP)};
};

// A command, the number of arguments after its name, the options it takes and its help line.
struct CommandForm {
  const char* name;
  int minArguments;
  int maxArguments;
  QSet<QString> options;
  ExtraTextId help;
};

const QList<CommandForm>& CommandForms() {
  static const QList<CommandForm> forms = {
      {"status", 0, 0, {QStringLiteral("json")}, ExtraTextId::CLI_HELP_STATUS},
      {"update", 0, 1,
       {QStringLiteral("force"), QStringLiteral("area"), QStringLiteral("voice"), QStringLiteral("manual"),
        QStringLiteral("dry-run")},
       ExtraTextId::CLI_HELP_UPDATE},
      {"recover", 0, 1, {QStringLiteral("download")}, ExtraTextId::CLI_HELP_RECOVER},
      {"speed-unit", 1, 1, {}, ExtraTextId::CLI_HELP_SPEED_UNIT},
      {"poi read", 0, 0, {QStringLiteral("output"), QStringLiteral("format")}, ExtraTextId::CLI_HELP_POI_READ},
      {"poi write", 1, 1, {}, ExtraTextId::CLI_HELP_POI_WRITE},
      {"poi erase", 0, 0, {}, ExtraTextId::CLI_HELP_POI_ERASE},
  };
  return forms;
}

QString LongName(const QCommandLineOption& option) { return option.names().last(); }

// The help in the files' language: usage, the commands `command` names ("poi" names all
// three POI commands, empty names every command), then the options they take.
QString HelpText(const QList<QCommandLineOption>& options, const QString& command = {}) {
  constexpr int kOptionColumn = 30;
  QStringList lines{ExtraText(ExtraTextId::CLI_HELP_USAGE), ExtraText(ExtraTextId::CLI_DESCRIPTION), QString()};
  QSet<QString> optionNames{QStringLiteral("help")};
  for (const CommandForm& form : CommandForms()) {
    const QString name = QString::fromLatin1(form.name);
    if (!command.isEmpty() && name != command && !name.startsWith(command + QLatin1Char(' '))) continue;
    lines << QStringLiteral("  ") + ExtraText(form.help);
    optionNames.unite(form.options);
  }
  lines << QString() << ExtraText(ExtraTextId::CLI_HELP_OPTIONS);
  for (const QCommandLineOption& option : options) {
    if (!command.isEmpty() && !optionNames.contains(LongName(option))) continue;
    QStringList names;
    for (const QString& name : option.names()) names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty()) left += QLatin1Char(' ') + option.valueName();
    lines << left.leftJustified(kOptionColumn - 1) + QLatin1Char(' ') + option.description();
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// Why the parser refused the command line, in the files' language rather than the parser's.
QString ParseErrorText(const QCommandLineParser& parser, const QStringList& arguments,
                       const QList<QCommandLineOption>& options) {
  const auto dashed = [](const QString& name) { return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name; };
  if (!parser.unknownOptionNames().isEmpty())
    return ExtraText(ExtraTextId::CLI_UNKNOWN_OPTION).arg(dashed(parser.unknownOptionNames().first()));
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--")) break;
    if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2) continue;
    const QString written = argument.section(QLatin1Char('='), 0, 0);
    const QString name = written.mid(written.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const QCommandLineOption& option : options) {
      if (!option.names().contains(name)) continue;
      const bool bTakesValue = !option.valueName().isEmpty();
      if (!bTakesValue && argument.contains(QLatin1Char('=')))
        return ExtraText(ExtraTextId::CLI_OPTION_TAKES_NO_VALUE).arg(written);
      if (bTakesValue && !argument.contains(QLatin1Char('=')) && i + 1 == arguments.size())
        return ExtraText(ExtraTextId::CLI_OPTION_NEEDS_VALUE).arg(written);
    }
  }
  return parser.errorText();
}

// Qt's own notes (such as the runtime folder it chose for the lock when the session names
// none) would break the promise of one line on standard error; only its failures pass.
QtMessageHandler g_qtDefaultHandler = nullptr;
void KeepQtFailuresOnly(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if ((type == QtCriticalMsg || type == QtFatalMsg) && g_qtDefaultHandler) g_qtDefaultHandler(type, context, message);
}

int Usage(CliConsole& console, const QString& detail) {
  console.Error(ExtraText(ExtraTextId::CLI_USAGE).arg(detail));
  return kExitUsage;
}

// Without its text files the program would print blank captions and raw keys: one line
// names the first file missing and the folder it was looked for in.
int FilesMissing(CliConsole& console, const WorkingFiles& files) {
  const char* missing = files.bExtraTextsRead ? WorkingFiles::kUITextFileName : kExtraTextFileName;
  const QString format =
      files.bExtraTextsRead ? ExtraText(ExtraTextId::CLI_FILE_MISSING) : QString::fromLatin1(kFileMissingFallback);
  console.Error(format.arg(QString::fromLatin1(missing), files.strFolder));
  return kExitFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
  g_qtDefaultHandler = qInstallMessageHandler(KeepQtFailuresOnly);
  QCoreApplication app(argc, argv);
  // The lock carries this name, so that a window started meanwhile can tell who holds it.
  QCoreApplication::setApplicationName(QString::fromLatin1(SingleInstance::kCommandLineName));
  CliConsole console;
  // The same working folder, files and language as the window. File names on the command
  // line stay the user's: they name files of the folder they were typed in.
  const QString startFolder = QDir::currentPath();
  const WorkingFiles files = WorkingFiles::Load(EnterWorkingFolder(), StartupLanguage());
  const auto userFile = [&](const QString& name) {
    return name.isEmpty() || startFolder == files.strFolder ? name : QDir(startFolder).absoluteFilePath(name);
  };
  if (!files.bExtraTextsRead || !files.bTextsRead) return FilesMissing(console, files);

  const CliOptions o;
  const QList<QCommandLineOption> options{o.json,     o.force,  o.area,   o.voice, o.manual,
                                           o.dryRun,   o.download, o.output, o.format, o.help};
  QCommandLineParser parser;
  parser.addOptions(options);
  const QStringList arguments = QCoreApplication::arguments();
  if (!parser.parse(arguments)) return Usage(console, ParseErrorText(parser, arguments, options));

  QStringList args = parser.positionalArguments();
  if (parser.isSet(o.help)) {
    console.Raw(HelpText(options, args.join(QLatin1Char(' '))).toUtf8());
    return kExitOk;
  }
  if (args.isEmpty()) return Usage(console, ExtraText(ExtraTextId::CLI_NO_COMMAND));
  QString command = args.takeFirst();
  if (command == QLatin1String("poi")) {
    // The POI commands are three: without one of them, what they are.
    if (args.isEmpty()) {
      console.Raw(HelpText(options, command).toUtf8());
      return kExitUsage;
    }
    command += QLatin1Char(' ') + args.takeFirst();
  }
  const CommandForm* form = nullptr;
  for (const CommandForm& candidate : CommandForms())
    if (command == QLatin1String(candidate.name)) form = &candidate;
  if (!form) return Usage(console, ExtraText(ExtraTextId::CLI_UNKNOWN_COMMAND).arg(command));
  if (args.size() < form->minArguments || args.size() > form->maxArguments)
    return Usage(console, ExtraText(ExtraTextId::CLI_WRONG_ARGUMENTS).arg(command));
  for (const QString& name : parser.optionNames()) {
    const QString longName = name == QLatin1String("o") ? QStringLiteral("output") : name;
    if (!form->options.contains(longName))
      return Usage(console, ExtraText(ExtraTextId::CLI_OPTION_NOT_FOR).arg(name, command));
  }

  CliCommands commands(files, console);
  const QString argument = args.value(0);
  if (command == QLatin1String("status")) return commands.Status(parser.isSet(o.json));
  if (command == QLatin1String("speed-unit")) return commands.SpeedUnit(argument);
  if (command == QLatin1String("recover")) {
    // Either a file or the download, never both nor neither.
    if (argument.isEmpty() == !parser.isSet(o.download))
      return Usage(console, ExtraText(ExtraTextId::CLI_WRONG_ARGUMENTS).arg(command));
    return commands.Recover(userFile(argument), parser.isSet(o.download));
  }
  if (command == QLatin1String("poi read")) return commands.PoiRead(userFile(parser.value(o.output)), parser.value(o.format));
  if (command == QLatin1String("poi write")) return commands.PoiWrite(userFile(argument));
  if (command == QLatin1String("poi erase")) return commands.PoiErase();

  CliUpdateOptions update;
  update.bForce = parser.isSet(o.force);
  update.strArea = parser.value(o.area);
  update.strVoice = parser.value(o.voice);
  update.bManual = parser.isSet(o.manual);
  update.strPack = userFile(argument);
  update.bDryRun = parser.isSet(o.dryRun);
  if (!update.strPack.isEmpty() && !update.bManual)
    return Usage(console, ExtraText(ExtraTextId::CLI_WRONG_ARGUMENTS).arg(command));
  if (update.bManual && (!update.strArea.isEmpty() || !update.strVoice.isEmpty() || update.bForce))
    return Usage(console, ExtraText(ExtraTextId::CLI_MANUAL_ALONE));
  return commands.Update(update);
}
