#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include "cli/CliCommands.h"
#include "device/UnitStatus.h"
#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadFailureText.h"
#include "update/UnitCheck.h"
#include "update/UnzipManualPack.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateRun.h"
#include "update/UpdateServer.h"

namespace {

constexpr int kErrorNotConnected = UiIndex(ERROR_MSG_001, 1);
constexpr int kErrorServerUnreachable = UiIndex(ERROR_MSG_001, 2);
constexpr int kErrorVersionFile = UiIndex(ERROR_MSG_001, 3);
constexpr int kErrorChannelNotOpen = UiIndex(ERROR_MSG_001, 4);
constexpr int kErrorNothingTicked = UiIndex(ERROR_MSG_001, 5);
constexpr int kErrorNothingNewer = UiIndex(ERROR_MSG_001, 9);
constexpr int kErrorRestartUnit = UiIndex(ERROR_MSG_001, 10);
constexpr int kErrorNoProgress = UiIndex(ERROR_MSG_001, 11);
constexpr int kErrorTransferChannel = UiIndex(ERROR_MSG_001, 12);
constexpr int kTextTransferFailed = UiIndex(DBFW_TAB_001, 6);
constexpr int kTextDownloadDB = UiIndex(DBFW_TAB_001, 12);  // voice and firmware follow
constexpr int kTextSendDB = UiIndex(DBFW_TAB_001, 16);      // voice and firmware follow
constexpr int kTextDone = UiIndex(DBFW_TAB_001, 19);
constexpr int kTextUnpackFailed = UiIndex(RESET_TAB_001, 18);

// Position of `name` in a list value of either language (case aside); -1 when neither has it.
int NamePosition(const UiTextTables& texts, int listIndex, const QString& name) {
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    const QStringList names = ParseListValue(UiText(texts, language, listIndex));
    for (qsizetype i = 0; i < names.size(); ++i)
      if (names[i].compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  }
  return -1;
}

int PackageOffset(int transferKind) {
  switch (transferKind) {
    case UpdateRun::kTransferDB: return 0;
    case UpdateRun::kTransferVoice: return 1;
    default: return 2;
  }
}

}  // namespace

int CliCommands::Update(const CliUpdateOptions& options) {
  if (const int claim = ClaimUnit()) return claim;
  if (!m_files.bVersionRead) return FailUi(kErrorVersionFile);
  const UnitStatus status = UnitStatus::Query(m_files.version.listDB);
  switch (status.outcome) {
    case UnitStatus::Identified: break;
    case UnitStatus::NotConnected: return FailUi(kErrorNotConnected);
    case UnitStatus::NoReply: return Fail(ExtraText(ExtraTextId::UNIT_NO_ANSWER));
    case UnitStatus::ChannelNotOpen: return FailUi(kErrorChannelNotOpen);
  }
  const auto unit =
      UpdateCatalogue::UnitVersions::FromReply(reinterpret_cast<const std::int8_t*>(status.reply.constData()));

  UpdateRunPlan plan;
  if (!options.bManual) {
    // The choices the page's combos offer, by position; the catalogue is searched with the
    // English names whatever the language.
    const QStringList areaNames = ParseListValue(UiText(m_files.texts, kLanguageEnglish, DBAREA_001));
    const QStringList voiceNames = ParseListValue(UiText(m_files.texts, kLanguageEnglish, VOICELIST_001));
    const int unitArea = unit.nDBArea - UpdateCatalogue::kDBAreaCodeOffset;
    int area = unitArea;
    int voice = unit.nVoiceLanguage;
    if (!options.strArea.isEmpty() && (area = NamePosition(m_files.texts, DBAREA_001, options.strArea)) < 0) {
      m_console.Error(ExtraText(ExtraTextId::CLI_UNKNOWN_NAME).arg(options.strArea, areaNames.join(QStringLiteral(", "))));
      return kExitUsage;
    }
    if (!options.strVoice.isEmpty() && (voice = NamePosition(m_files.texts, VOICELIST_001, options.strVoice)) < 0) {
      m_console.Error(ExtraText(ExtraTextId::CLI_UNKNOWN_NAME).arg(options.strVoice, voiceNames.join(QStringLiteral(", "))));
      return kExitUsage;
    }
    UpdateCatalogue::EvaluateInputs in;
    in.listDB = &m_files.version.listDB;
    in.listVoice = &m_files.version.listVoice;
    in.strFWVersion = m_files.version.strFWVersion;
    in.unit = unit;
    in.nDBPosition = area;
    in.nVoicePosition = voice;
    in.strDBName = areaNames.value(area);
    in.strVoiceName = voiceNames.value(voice);
    in.bDBAreaChanged = area != unitArea;
    in.bVoiceLangChanged = voice != unit.nVoiceLanguage;
    in.bForce = options.bForce;
    const UpdateCatalogue::UpdateDecision decision = UpdateCatalogue::EvaluateUpdates(in);
    // Only an entry that is to be sent names a package: another area's is never sent unasked.
    const RunStart start = PlanAutoRun({decision.bUpdateDB, decision.bUpdateVoice, decision.bUpdateFW,
                                        decision.db.bSend ? decision.db.strEntry : QString(),
                                        decision.voice.bSend ? decision.voice.strEntry : QString(),
                                        m_files.version.strFWFile, m_files.version.strFWVersion,
                                        UpdateServer::BaseUrl(), m_files.strFolder,
                                        area + UpdateCatalogue::kDBAreaCodeOffset, voice});
    if (start.refusal == RunRefusal::NothingNewer) {
      m_console.Line(m_files.Ui(kErrorNothingNewer));
      return kExitOk;
    }
    if (start.refusal != RunRefusal::None) return FailUi(UiIndex(ERROR_MSG_001, static_cast<int>(start.refusal)));
    plan = start.plan;
  } else {
    const QString pack = options.strPack.isEmpty()
                             ? WorkingFolder::FilePath(m_files.strFolder, QString::fromLatin1(kManualPackFileName))
                             : options.strPack;
    if (!QFile::exists(pack)) return Fail(ExtraText(ExtraTextId::CLI_PACK_MISSING).arg(pack));
    // A dry run looks into the pack without leaving anything in the working folder.
    QTemporaryDir preview;
    const QString unpackTo = options.bDryRun ? preview.path() : m_files.strFolder;
    QString error;
    if (UnpackManualPack(pack, unpackTo, [](int) {}, &error) != 1)
      return Fail(m_files.Ui(kTextUnpackFailed) + QLatin1Char(' ') + error);
    const auto list = UpdateCatalogue::ReadZipList(
        WorkingFolder::FilePath(unpackTo, QString::fromLatin1(UpdateCatalogue::kZipListFileName)));
    if (!list) return Fail(QString::fromLatin1(UpdateCatalogue::kZipListMissingMessage));
    for (const QString& refused : list->refused)
      m_console.Error(ExtraText(ExtraTextId::ZIPLIST_NAME_OUTSIDE) + QLatin1Char(' ') + refused);
    plan.bAuto = false;
    plan.bUpdateDB = list->bDB;
    plan.bUpdateVoice = list->bVoice;
    plan.bUpdateFW = list->bFW;
    const auto inFolder = [this](const QString& name) { return WorkingFolder::FilePath(m_files.strFolder, name); };
    plan.at.strPathDB = inFolder(list->strDB);
    plan.at.strPathVoice = inFolder(list->strVoice);
    plan.at.strPathFW = inFolder(list->strFW);
    if (!plan.bUpdateDB && !plan.bUpdateVoice && !plan.bUpdateFW) return FailUi(kErrorNothingTicked);
  }

  if (options.bDryRun) {
    const struct {
      bool bMarked;
      int transferKind;
      QString source;
    } packages[] = {
        {plan.bUpdateDB, UpdateRun::kTransferDB, plan.bAuto ? plan.at.strUrlDB : plan.at.strPathDB},
        {plan.bUpdateVoice, UpdateRun::kTransferVoice, plan.bAuto ? plan.at.strUrlVoice : plan.at.strPathVoice},
        {plan.bUpdateFW, UpdateRun::kTransferFW, plan.bAuto ? plan.at.strUrlFW : plan.at.strPathFW},
    };
    for (const auto& package : packages)
      if (package.bMarked)
        m_console.Line(ExtraText(ExtraTextId::CLI_DRY_RUN_PACKAGE)
                           .arg(m_files.Ui(kTextSendDB + PackageOffset(package.transferKind)), package.source));
    return kExitOk;
  }

  // The page's run, driven by this thread's event loop until it ends one way or the other.
  // A run that ends without finishing has already taken away what it downloaded, and only
  // that: a file of a package's name that it did not write stays.
  UpdateRun run;
  QEventLoop loop;
  QString failure;
  const auto stop = [&](const QString& message) {
    failure = message;
    run.Stop();
    loop.quit();
  };
  QObject::connect(&run, &UpdateRun::downloadStarted, &loop, [&](int downloadState) {
    m_console.StartProgress(m_files.Ui(kTextDownloadDB + downloadState - UpdateRun::kDownloadDB));
  });
  QObject::connect(&run, &UpdateRun::downloadProgress, &loop,
                   [&](const QString&, quint64 done, quint64 total) { m_console.Progress(DownloadPercent(done, total)); });
  // A package that cannot be fetched ends the run at once: the unit gets nothing half-done.
  QObject::connect(&run, &UpdateRun::downloadFailed, &loop,
                   [&](int package, DownloadResult result, const QString& errorText) {
                     stop(DownloadFailureText(result, plan.FileName(package), errorText,
                                              m_files.Ui(kErrorServerUnreachable)));
                   });
  QObject::connect(&run, &UpdateRun::sendStarted, &loop, [&](int transferKind) {
    m_console.StartProgress(m_files.Ui(kTextSendDB + PackageOffset(transferKind)));
  });
  QObject::connect(&run, &UpdateRun::progressChanged, &loop, [&](int value) { m_console.Progress(value); });
  QObject::connect(&run, &UpdateRun::transferGaveUp, &loop, [&] { stop(m_files.Ui(kTextTransferFailed)); });
  QObject::connect(&run, &UpdateRun::channelNotOpen, &loop, [&] { stop(m_files.Ui(kErrorTransferChannel)); });
  QObject::connect(&run, &UpdateRun::watchdogExpired, &loop, [&] { stop(m_files.Ui(kErrorNoProgress)); });
  QObject::connect(&run, &UpdateRun::finished, &loop, [&] {
    run.StopWatchdog();
    run.DeletePackageFiles();
    loop.quit();
  });
  run.Start(plan);
  loop.exec();
  m_console.EndProgress();
  if (!failure.isEmpty()) return Fail(failure);
  m_console.Line(m_files.Ui(kTextDone));
  // A new firmware needs the unit restarted.
  if (plan.bUpdateFW) m_console.Line(m_files.Ui(kErrorRestartUnit));
  // Success is what the unit says it holds afterwards, not what was written to it.
  m_console.Line(ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT));
  const auto after = UnitCheck::WaitForUnitVersions();
  if (!after) return Fail(ExtraText(ExtraTextId::UPDATE_UNIT_NOT_CHECKED).arg(UnitCheck::kTimeout.count()));
  const QStringList notTaken = UnitCheck::NotTakenLines(plan, *after);
  for (const QString& line : notTaken) m_console.Error(line);
  return notTaken.isEmpty() ? kExitOk : kExitFailed;
}
