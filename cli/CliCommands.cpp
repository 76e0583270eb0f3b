#include "cli/CliCommands.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "device/RecoveryTransfer.h"
#include "device/SpeedUnitCommand.h"
#include "device/UnitLibrary.h"
#include "device/UnitStatus.h"
#include "poi/PoiChannels.h"
#include "poi/PoiFile.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiFormatWriter.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiReadTask.h"
#include "poi/PoiRecord.h"
#include "poi/PoiWriteTask.h"
#include "text/ExtraTexts.h"
#include "update/CDownloadStatusCallback.h"
#include "update/DownloadFailureText.h"
#include "update/DownloadSink.h"
#include "update/DownloadToFile.h"
#include "update/PackageSender.h"
#include "update/RecoveryCheck.h"
#include "update/UnitCheck.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateRun.h"
#include "update/UpdateServer.h"

namespace {

// The speed units as the command line names them, by the index the unit takes.
constexpr const char* kSpeedUnitNames[] = {"km/h", "mph"};
constexpr int kSpeedUnitCount = 2;

// Messages from the error texts of the UI text file.
constexpr int kErrorNotConnected = UiIndex(ERROR_MSG_001, 1);
constexpr int kErrorServerUnreachable = UiIndex(ERROR_MSG_001, 2);
constexpr int kErrorVersionFile = UiIndex(ERROR_MSG_001, 3);
constexpr int kErrorChannelNotOpen = UiIndex(ERROR_MSG_001, 4);
constexpr int kErrorNoFirmware = UiIndex(ERROR_MSG_001, 8);
constexpr int kErrorNoProgress = UiIndex(ERROR_MSG_001, 11);
constexpr int kErrorTransferChannel = UiIndex(ERROR_MSG_001, 12);
constexpr int kTextTransferFailed = UiIndex(DBFW_TAB_001, 6);
constexpr int kTextDownloadFW = UiIndex(DBFW_TAB_001, 14);
constexpr int kTextSendFW = UiIndex(DBFW_TAB_001, 18);
constexpr int kTextDone = UiIndex(DBFW_TAB_001, 19);
constexpr int kTextReadingPois = UiIndex(POI_TAB_001, 8);
constexpr int kTextWritingPois = UiIndex(POI_TAB_001, 9);
constexpr int kLabelSpeedUnit = UiIndex(OPTION_TAB_001, 1);
constexpr int kTextFirstSpeedUnit = UiIndex(OPTION_TAB_001, 2);
// The recovery page's watchdog: no chunk for this long gives the transfer up.
constexpr std::chrono::milliseconds kRecoverySilenceLimit{UpdateRun::kWatchdogTickLimit * UpdateRun::kWatchdogPeriodMs};

QString Labelled(const QString& label, const QString& value) {
  const QString trimmed = label.trimmed();
  return trimmed.endsWith(QLatin1Char(':')) ? trimmed + QLatin1Char(' ') + value
                                            : trimmed + QStringLiteral(" : ") + value;
}

// Download progress straight onto the console: the command line's download runs on the
// thread that prints.
class ConsoleDownloadSink : public IDownloadSink {
 public:
  explicit ConsoleDownloadSink(CliConsole& console) : m_console(console) {}
  void OnDownloadProgress(const QString&, const QString&, int percent, quint64, quint64) override {
    m_console.Progress(percent);
  }

 private:
  CliConsole& m_console;
};

}  // namespace

int CliCommands::Fail(const QString& message) {
  m_console.Error(message);
  return kExitFailed;
}

int CliCommands::ClaimUnit() {
  if (m_bUnitClaimed || (m_bUnitClaimed = m_instance.AcquireLock())) return kExitOk;
  m_console.Error(ExtraText(ExtraTextId::CLI_UNIT_IN_USE));
  return kExitUnitInUse;
}

bool CliCommands::RequireUnit() {
  if (ProbeUnit().bUnitPresent) return true;
  FailUi(kErrorNotConnected);
  return false;
}

// ---- status ----

int CliCommands::Status(bool bJson) {
  if (const int claim = ClaimUnit()) return claim;
  const UnitStatus status = UnitStatus::Query(m_files.version.listDB);
  if (status.outcome == UnitStatus::NoReply) return Fail(ExtraText(ExtraTextId::UNIT_NO_ANSWER));
  if (status.outcome == UnitStatus::ChannelNotOpen) return FailUi(kErrorChannelNotOpen);
  const bool bConnected = status.outcome == UnitStatus::Identified;
  const UnitVersionInfo& info = status.info;
  const auto byte = [&](int i) { return static_cast<int>(static_cast<qint8>(status.reply.at(i))); };
  // The unit never tells its speed unit: only the one this computer set on it is known.
  const int speedUnit = bConnected ? RememberedSpeedUnit(byte(UnitReply::kHardwareId)) : -1;
  const bool bKnownSpeedUnit = speedUnit >= 0 && speedUnit < kSpeedUnitCount;
  if (bJson) {
    QJsonObject json{{QStringLiteral("connected"), bConnected}, {QStringLiteral("workingFolder"), m_files.strFolder}};
    if (bConnected) {
      json.insert(QStringLiteral("hardwareId"), byte(UnitReply::kHardwareId));
      json.insert(QStringLiteral("firmware"), QStringLiteral("%1.%2").arg(byte(UnitReply::kFWMajor)).arg(byte(UnitReply::kFWMinor)));
      json.insert(QStringLiteral("dbArea"), info.strDBArea);
      json.insert(QStringLiteral("dbAreaCode"), info.nUnitDBArea);
      json.insert(QStringLiteral("dbVersion"), info.nUnitDBVersion);
      json.insert(QStringLiteral("voiceVersion"), info.nUnitVoiceVersion);
      json.insert(QStringLiteral("speedUnit"), bKnownSpeedUnit ? QJsonValue(QString::fromLatin1(kSpeedUnitNames[speedUnit]))
                                                               : QJsonValue(QJsonValue::Null));
    }
    m_console.Raw(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
    return kExitOk;
  }
  m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 10)),
                          m_files.Ui(UiIndex(MAIN_TAB_001, bConnected ? 12 : 11))));
  if (bConnected) {
    m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 5)), info.strHWVersion));
    m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 8)), info.strFWVersion));
    m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 6)), info.strDBArea));
    m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 7)), info.strDBVersion));
    m_console.Line(Labelled(m_files.Ui(UiIndex(MAIN_TAB_001, 9)), info.strVoiceVersion));
    if (bKnownSpeedUnit)
      m_console.Line(Labelled(m_files.Ui(kLabelSpeedUnit),
                              ExtraText(ExtraTextId::CLI_SPEED_UNIT_SET_HERE).arg(m_files.Ui(kTextFirstSpeedUnit + speedUnit))));
  }
  m_console.Line(Labelled(ExtraText(ExtraTextId::WORKING_FOLDER), QDir::toNativeSeparators(m_files.strFolder)));
  return kExitOk;
}

// ---- speed unit ----

int CliCommands::SpeedUnit(const QString& value) {
  int selection = -1;
  for (int i = 0; i < kSpeedUnitCount; ++i)
    if (value.compare(QLatin1String(kSpeedUnitNames[i]), Qt::CaseInsensitive) == 0) selection = i;
  if (selection < 0) {
    m_console.Error(ExtraText(ExtraTextId::CLI_SPEED_UNIT_VALUE).arg(value));
    return kExitUsage;
  }
  if (const int claim = ClaimUnit()) return claim;
  // Which unit it is, so that this computer can remember what it set on it.
  const UnitStatus status = UnitStatus::Query(m_files.version.listDB);
  if (status.outcome == UnitStatus::NotConnected) return FailUi(kErrorNotConnected);
  switch (RunSpeedUnitCommand(true, BuildSpeedUnitCommand(selection))) {
    case SpeedUnitOutcome::Sent:
      if (status.outcome == UnitStatus::Identified)
        RememberSpeedUnit(static_cast<qint8>(status.reply.at(UnitReply::kHardwareId)), selection);
      m_console.Line(ExtraText(ExtraTextId::CLI_SPEED_UNIT_SET).arg(m_files.Ui(kTextFirstSpeedUnit + selection)));
      return kExitOk;
    case SpeedUnitOutcome::NotSent: return FailUi(kErrorChannelNotOpen);
    case SpeedUnitOutcome::Failed: break;
  }
  return Fail(ExtraText(ExtraTextId::UNIT_NO_ANSWER));
}

// ---- recovery ----

int CliCommands::Recover(const QString& file, bool bDownload) {
  if (const int claim = ClaimUnit()) return claim;
  // The unit first: without it there is nothing to download for.
  RecoveryProbe probe = ProbeRecoveryUnit();
  if (!probe.bUnitPresent) return FailUi(kErrorNotConnected);
  RecoveryTransfer transfer;
  transfer.hPipe = probe.hPipe;
  // The channel is ours from here on; whatever happens, it is closed.
  struct ChannelCloser {
    RecoveryTransfer& transfer;
    ~ChannelCloser() { CloseRecoveryChannel(transfer.hPipe); }
  } closer{transfer};

  QString path = file;
  QString expectedVersion;  // known for the catalogue's firmware only
  if (bDownload) {
    if (!m_files.bVersionRead) return FailUi(kErrorVersionFile);
    const QString name = m_files.version.strFWFile;
    path = UpdateCatalogue::LocalPackagePath(m_files.strFolder, name);
    if (path.isEmpty()) return FailUi(kErrorNoFirmware);
    const QString url = UpdateCatalogue::PackageUrl(UpdateServer::BaseUrl(), UpdateCatalogue::kFolderFW, name);
    ConsoleDownloadSink sink(m_console);
    CDownloadStatusCallback callback(&sink);
    m_console.StartProgress(m_files.Ui(kTextDownloadFW));
    QString errorText;
    DownloadOptions options;
    options.stallPeriod = RecoveryCheck::kDownloadSilenceLimit;
    const DownloadResult result = DownloadToFile(url, path, callback, options, &errorText);
    m_console.EndProgress();
    if (result != DownloadResult::Done)
      return Fail(DownloadFailureText(result, name, errorText, m_files.Ui(kErrorServerUnreachable)));
    expectedVersion = m_files.version.strFWVersion;
  }
  std::optional<QByteArray> package = ReadPackageFile(path);
  if (!package) return Fail(ExtraText(ExtraTextId::RESET_NOT_A_PACKAGE));
  transfer.pBuffer = std::move(*package);
  const ChannelHandle handle = std::exchange(transfer.hPipe, kChannelNotOpen);
  m_console.StartProgress(m_files.Ui(kTextSendFW));
  const RecoveryOutcome outcome = SendRecoveryPackageWatched(
      RecoveryTransfer{handle, std::move(transfer.pBuffer)},
      [this](unsigned value) { m_console.Progress(static_cast<int>(value)); }, kRecoverySilenceLimit);
  m_console.EndProgress();
  switch (outcome) {
    case RecoveryOutcome::Sent: break;
    case RecoveryOutcome::ChannelNotOpen: return FailUi(kErrorTransferChannel);
    case RecoveryOutcome::Stalled: return FailUi(kErrorNoProgress);
    case RecoveryOutcome::Failed:
    case RecoveryOutcome::Cancelled: return FailUi(kTextTransferFailed);  // nothing else cancels a transfer
  }
  // Complete only once the unit has restarted with the firmware and said so.
  m_console.Line(ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT));
  const RecoveryCheck::Verdict verdict = RecoveryCheck::Judge(UnitCheck::WaitForRestartedUnit(), expectedVersion,
                                                              QFileInfo(path).fileName(), m_files.Ui(kTextDone));
  if (!verdict.bTaken) return Fail(verdict.strMessage);
  m_console.Line(verdict.strMessage);
  return kExitOk;
}

// ---- POIs ----

namespace {

// The outcome of a POI exchange as a failure text; empty when it ran to its end.
QString PoiTaskFailure(PoiTaskOutcome outcome, const QString& channelNotOpen) {
  switch (outcome) {
    case PoiTaskOutcome::Done: return {};
    case PoiTaskOutcome::HandlesNotOpen: return channelNotOpen;
    case PoiTaskOutcome::NoAnswer: return ExtraText(ExtraTextId::UNIT_NO_ANSWER);
    case PoiTaskOutcome::NotKept: return ExtraText(ExtraTextId::POI_SAVE_NOT_KEPT);
  }
  return {};
}

}  // namespace

int CliCommands::PoiRead(const QString& output, const QString& formatName) {
  // --format decides; else the output file's suffix; else the window's own POI file.
  const std::optional<PoiFormat> named =
      formatName.isEmpty() ? PoiFormatFromSuffix(output) : PoiFormatFromName(formatName);
  if (!formatName.isEmpty() && !named) {
    m_console.Error(ExtraText(ExtraTextId::CLI_POI_FORMAT_UNKNOWN).arg(formatName));
    return kExitUsage;
  }
  const PoiFormat format = named.value_or(PoiFormat::Text);
  if (const int claim = ClaimUnit()) return claim;
  if (!RequireUnit()) return kExitFailed;
  const PoiChannels channels = OpenPoiChannels();
  if (!channels.IsOpen()) return FailUi(kErrorChannelNotOpen);
  const bool bToStandardOutput = output.isEmpty() || output == QLatin1String("-");
  // The POIs alone on the standard output, so it can be piped.
  if (!bToStandardOutput) m_console.Line(m_files.Ui(kTextReadingPois));
  PoiRecordTable& table = ThePoiRecordTable();
  const PoiReadResult result = PoiReadTask::Run(channels, true, table);
  if (const QString failure = PoiTaskFailure(result.outcome, m_files.Ui(kErrorChannelNotOpen)); !failure.isEmpty()) return Fail(failure);
  if (result.announced > result.count)
    m_console.Error(ExtraText(ExtraTextId::POI_TOO_MANY_RECORDS).arg(result.announced).arg(result.count));

  // The export file in the working folder, as after every read in the window.
  const QList<PoiTexts> pois = ExportPoiFile(m_files.strFolder, QDateTime::currentDateTime(), table, result.count);
  // A damaged slot decodes to texts no map tool can take; the window's own file keeps them.
  const PoiWriteOutcome check = CheckPoisFor(format, pois);
  if (check.result == PoiWriteOutcome::BadRow)
    return Fail(ExtraText(ExtraTextId::CLI_POI_NOT_IN_FORMAT).arg(check.badRow + 1).arg(PoiFormatName(format)));
  if (bToStandardOutput) {
    m_console.Raw(FormatPois(format, pois));
    return kExitOk;
  }
  const PoiWriteOutcome written = WritePoiFile(output, format, pois);
  if (written.result != PoiWriteOutcome::Written) return Fail(PoiWriteErrorText(written, output));
  m_console.Line(ExtraText(ExtraTextId::CLI_POI_READ).arg(pois.size()).arg(output));
  return kExitOk;
}

int CliCommands::PoiWrite(const QString& path) {
  if (const int claim = ClaimUnit()) return claim;
  // Whatever the window's Read from PC takes, with its checks: the unit is to hold the file
  // alone, so the file's POIs are sifted against none but each other. The file is judged
  // whole before the unit is touched.
  const PoiImport import = PlanPoiImport({}, ReadPoiFile(path));
  if (import.status != PoiFileContent::Read) return Fail(PoiFileErrorText(import, path, PoiAudience::CommandLine));
  if (!import.bReplacesList) m_console.Line(PoiImportReportText(import.report, PoiAudience::CommandLine));
  const QList<PoiTexts>& rows = import.report.added;
  // Erasing is a command of its own: a file that yields nothing never empties the unit.
  if (rows.isEmpty()) return Fail(ExtraText(ExtraTextId::CLI_POI_NO_POI).arg(QDir::toNativeSeparators(path)));
  if (rows.size() > PoiRecordTable::kSlotCount)
    return Fail(ExtraText(ExtraTextId::CLI_POI_TOO_MANY).arg(PoiRecordTable::kSlotCount).arg(rows.size()));
  for (qsizetype r = 0; r < rows.size(); ++r)
    if (!CheckPoiTexts(rows[r])) return Fail(ExtraText(ExtraTextId::CLI_POI_BAD_LINE).arg(r + 1));

  if (!RequireUnit()) return kExitFailed;
  const PoiChannels channels = OpenPoiChannels();
  if (!channels.IsOpen()) return FailUi(kErrorChannelNotOpen);
  // What the unit holds is read into an export file first, as a window Read does, so the
  // POIs the file replaces are kept.
  PoiRecordTable& table = ThePoiRecordTable();
  const QDateTime now = QDateTime::currentDateTime();
  const PoiUnitCopy held = PoiReadTask::CopyToExportFile(channels, true, m_files.strFolder, now, table);
  if (const QString failure = PoiTaskFailure(held.read.outcome, m_files.Ui(kErrorChannelNotOpen)); !failure.isEmpty())
    return Fail(failure);
  if (held.read.announced > held.read.count)
    m_console.Error(ExtraText(ExtraTextId::POI_TOO_MANY_RECORDS).arg(held.read.announced).arg(held.read.count));
  if (!held.kept) return Fail(ExtraText(ExtraTextId::POI_UNIT_NOT_KEPT).arg(held.fileName));
  m_console.Line(ExtraText(ExtraTextId::CLI_POI_UNIT_KEPT).arg(held.pois).arg(held.fileName));

  SavePoiBackup(m_files.strFolder, now, rows, table);  // checked above: it converts every row
  m_console.Line(m_files.Ui(kTextWritingPois));
  // The unit is to hold exactly the file: what it held before goes first, so no old POI
  // stays behind in a slot past the file's.
  PoiWriteParams params;
  params.unitConnected = true;
  params.erasePending = true;
  PoiWriteResult result = PoiWriteTask::Run(channels, params, table);
  if (result.outcome == PoiTaskOutcome::Done) {
    params.erasePending = false;
    params.count = static_cast<int>(rows.size());
    result = PoiWriteTask::Run(channels, params, table);
  }
  if (const QString failure = PoiTaskFailure(result.outcome, m_files.Ui(kErrorChannelNotOpen)); !failure.isEmpty()) return Fail(failure);
  m_console.Line(ExtraText(ExtraTextId::CLI_POI_WRITTEN).arg(result.written));
  return kExitOk;
}

int CliCommands::PoiErase() {
  if (const int claim = ClaimUnit()) return claim;
  if (!RequireUnit()) return kExitFailed;
  const PoiChannels channels = OpenPoiChannels();
  if (!channels.IsOpen()) return FailUi(kErrorChannelNotOpen);
  PoiWriteParams params;
  params.unitConnected = true;
  params.erasePending = true;
  const PoiWriteResult result = PoiWriteTask::Run(channels, params, ThePoiRecordTable());
  if (const QString failure = PoiTaskFailure(result.outcome, m_files.Ui(kErrorChannelNotOpen)); !failure.isEmpty()) return Fail(failure);
  ThePoiRecordTable().Clear();
  m_console.Line(ExtraText(ExtraTextId::CLI_POI_ERASED));
  return kExitOk;
}
