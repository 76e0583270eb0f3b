#include "soak/SoakChecks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/CV700UpdaterDlg.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFormatReader.h"
#include "poi/PoiImportCheck.h"
#include "poi/PoiRecord.h"
#include "text/ExtraTexts.h"
#include "update/DownloadToFile.h"
#include "update/UpdateCatalogue.h"
#include "widgets/GradientLabel.h"
#include "widgets/TextProgressBar.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int kMaxReadingMs = 1500;  // a user reads a message this long at most
// A report must show on the unit once the link has been normal this long (what was written
// may still wait in the channel), and not before it is this old.
constexpr int kClaimSettleMs = 8000;
constexpr int kClaimMinAgeMs = 2000;
constexpr int kSlackMs = 20000;  // a loaded machine
// Signs of life: a download may wait for its stall period, and so may the unit's check after
// a run; a POI task paces 100 records and gives up after its failures, each at most a
// channel time-out.
const int kRunSignLimitMs = int(std::chrono::milliseconds(kDownloadStallPeriod).count()) + kSlackMs;
const int kPoiTaskLimitMs =
    2 * PoiConstants::kSlotCount * PoiConstants::kWritePacingMs +
    (PoiConstants::kMaxFailedCalls + 1) * (FdChannel::kDefaultTimeoutMs + PoiConstants::kWritePacingMs) +
    kSlackMs;

qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

QString KeyOf(const PoiTexts& t) {
  return QStringList{t.date, t.time, t.latitude, t.longitude, t.heading}.join(' ');
}

QString Describe(const std::optional<PackageHeader>& header) {
  if (!header) return u"a file that is no package"_s;
  return u"%1 %2 (%3)"_s
      .arg(QString::fromStdString(header->KindName()), QString::fromStdString(header->VersionText()))
      .arg(header->areaOrLanguage);
}

QList<std::optional<PackageHeader>> PackagesOf(const SoakWorld& world, const UpdateRunPlan& plan) {
  QList<std::optional<PackageHeader>> packages;
  for (const auto& [marked, path] : {std::pair{plan.bUpdateDB, plan.at.strPathDB},
                                     {plan.bUpdateVoice, plan.at.strPathVoice},
                                     {plan.bUpdateFW, plan.at.strPathFW}})
    if (marked) packages.append(world.Header(path));
  return packages;
}
}  // namespace

QString SoakChecks::LoadTexts() {
  UiTextTables tables;
  ExtraTextTable extra;
  if (!ReadUITextFile(m_world.WorkPath(QLatin1String(CV700UpdaterDlg::kUITextFileName)), tables) ||
      !ReadExtraTextFile(m_world.WorkPath(QLatin1String(kExtraTextFileName)), extra))
    return u"the text files cannot be read"_s;
  // Each line of a text is a pattern; what the program fills in (%1 ...) matches anything, and
  // so does what a text is about, after a colon ("The file cannot be written: NAME").
  const auto add = [this](const QString& text, int language) {
    for (const QString& line : text.split('\n')) {
      QStringList pieces = line.trimmed().split(QRegularExpression(u"%[0-9]"_s));
      if (pieces.join(QString()).trimmed().isEmpty()) continue;
      for (QString& piece : pieces) piece = QRegularExpression::escape(piece);
      m_patterns.append({QRegularExpression('^' + pieces.join(".*"_L1) + "(: .*)?$"_L1,
                                            QRegularExpression::DotMatchesEverythingOption),
                         language});
    }
  };
  for (int language : {kLanguageEnglish, kLanguageFrench})
    for (const auto& texts :
         {tables[std::size_t(language - 1)],
          QStringList(extra[std::size_t(language - 1)].begin(), extra[std::size_t(language - 1)].end())})
      for (const QString& text : texts) add(text, language);
  for (const char* fixed : {COptionTab::kUnitChangedMessage, PoiConstants::kHandleNotOpenMessage,
                            CV700UpdaterDlg::kUITextMissingMessage, CV700UpdaterDlg::kVersionMissingMessage,
                            UpdateCatalogue::kZipListMissingMessage})
    add(QLatin1String(fixed), 0);
  return {};
}

void SoakChecks::Attach(CV700UpdaterDlg* sheet) {
  // A window closed before the unit's check of a run cannot take its end message back.
  if (m_sheet && m_sheet->m_pageUpdate.m_run.AwaitsUnitCheck())
    m_claims.removeIf([](const Claimed& claim) { return claim.tag == "update"_L1; });
  m_sheet = sheet;
  m_run = m_recovery = m_poiTask = Job{};
}

QMessageBox::StandardButton SoakChecks::OnMessage(const UiSeams::MessageRequest& request,
                                                  QRandomGenerator64& answers) {
  ++m_messages;
  m_log.Note(u"message: "_s + request.text.simplified());
  CheckText(request.text);
  NoteReport(request);
  QEventLoop reading;
  QTimer::singleShot(answers.bounded(kMaxReadingMs), &reading, &QEventLoop::quit);
  reading.exec();
  if (request.buttons.testFlag(QMessageBox::Yes))
    return answers.bounded(4) ? QMessageBox::Yes : QMessageBox::No;
  return QMessageBox::Ok;
}

void SoakChecks::CheckText(const QString& text) {
  const int language = m_sheet ? m_sheet->m_nLanguageID : 0;
  if (text.trimmed().isEmpty()) m_log.Violation(u"an empty message box"_s);
  for (QString line : text.split('\n')) {
    if ((line = line.trimmed()).isEmpty()) continue;
    bool known = false, inLanguage = false;
    for (const auto& [pattern, patternLanguage] : m_patterns) {
      if (!pattern.match(line).hasMatch()) continue;
      known = true;
      inLanguage = inLanguage || patternLanguage == 0 || language == 0 || patternLanguage == language;
    }
    if (!known) m_log.Violation(u"a message that is none of the program's texts: \"%1\""_s.arg(line));
    if (!inLanguage) m_log.Violation(u"a message in the other language: \"%1\""_s.arg(line));
  }
}

void SoakChecks::NoteReport(const UiSeams::MessageRequest& request) {
  if (!m_sheet) return;
  CDBUpdateTab& update = m_sheet->m_pageUpdate;
  const QString& done = update.m_strRunFinished;  // the recovery's end text too
  QList<int> named;                               // packages a run's verdict says the unit did not take
  for (auto [kind, id] : {std::pair{1, ExtraTextId::UPDATE_DB_NOT_TAKEN},
                          {2, ExtraTextId::UPDATE_VOICE_NOT_TAKEN},
                          {3, ExtraTextId::UPDATE_FW_NOT_TAKEN}})
    if (request.text.contains(ExtraText(id).section('%', 0, 0))) named.append(kind);
  // The end message of a run comes first; the unit's check may follow, naming what it did
  // not take, or saying it could not check: that takes the end message back.
  const QString unchecked = ExtraText(ExtraTextId::UPDATE_UNIT_NOT_CHECKED).section('%', 0, 0);
  if (request.parent == &update && (!named.isEmpty() || request.text.startsWith(unchecked)))
    m_claims.removeIf([](const Claimed& claim) { return claim.tag == "update"_L1; });
  if (request.parent == &update && !done.isEmpty() && (request.text.startsWith(done) || !named.isEmpty())) {
    Claim(
        named.isEmpty() ? u"the update run said it was complete"_s
                        : u"the update run named the packages the unit did not take"_s,
        [named, packages = PackagesOf(m_world, update.m_run.Plan())](const UnitView& unit) {
          for (const auto& header : packages)
            if (!header || unit.Holds(*header) == named.contains(header->kind))
              return u"the unit %1 %2: %3"_s.arg(
                  header && unit.Holds(*header) ? "runs"_L1 : "does not run"_L1, Describe(header),
                  unit.Versions());
          return QString();
        },
        u"update"_s);
  } else if (request.parent == &m_sheet->m_pageReset && !done.isEmpty() && request.text.startsWith(done)) {
    Claim(u"the recovery said it was complete"_s,
          [header = m_world.Header(m_sheet->m_pageReset.m_strLocalPath)](const UnitView& unit) {
            if (header && header->kind == PackageHeader::kFirmware && unit.Holds(*header)) return QString();
            return u"the unit does not run %1: %2"_s.arg(Describe(header), unit.Versions());
          });
  } else if (request.text == QLatin1String(COptionTab::kUnitChangedMessage)) {
    Claim(u"the speed unit was said to be changed"_s,
          [chosen = m_sheet->m_pageOption.m_nUnitSel](const UnitView& unit) {
            return unit.speedUnit == chosen
                       ? QString()
                       : u"the unit has speed unit %1, not %2"_s.arg(unit.speedUnit).arg(chosen);
          });
  }
}

void SoakChecks::Claim(const QString& what, std::function<QString(const UnitView&)> unmet,
                       const QString& tag) {
  m_claims.append({u"%1 (step %2)"_s.arg(what).arg(m_log.Step()), std::move(unmet), Now(), tag});
}

void SoakChecks::BeforeAction() {
  m_before = m_world.Unit();
  m_rowsBefore = ListRows();
}

void SoakChecks::AfterStep() {
  const UnitView unit = m_world.Unit();
  if (!unit.answered) m_log.Violation(u"the emulated unit does not answer"_s);
  if (m_sheet) {
    ObserveUpdateRun(unit);
    ObserveRecovery();
    ObservePoiTask(unit);
    CheckLockedControls();
    CheckLamps(unit);
  }
  CheckNoPoiLost(unit);
  ResolveClaims(unit);
}

SoakChecks::Change SoakChecks::Watch(Job& job, bool running, const QString& sign, int limitMs,
                                     const char* name) {
  const Change change = running == job.running ? Change::None : running ? Change::Started : Change::Ended;
  if (change == Change::Started) job.messagesAtStart = m_messages;
  if (change == Change::Started || sign != job.sign) job.lastSign = Now(), job.sign = sign;
  job.running = running;
  if (running && Now() - job.lastSign > limitMs)
    m_log.Violation(u"the %1 has shown no progress for %2 s"_s.arg(QLatin1String(name))
                        .arg((Now() - job.lastSign) / 1000));
  return change;
}

void SoakChecks::ObserveUpdateRun(const UnitView& unit) {
  CDBUpdateTab& page = m_sheet->m_pageUpdate;
  // A run that finished is over once the unit has shown what it took.
  const bool running = page.m_run.IsRunning() || page.m_run.AwaitsUnitCheck();
  const QString sign =
      QStringList{QString::number(page.m_progress->GetPos()), page.m_labelDownloadSize->text(),
                  page.m_labelDownloadPhase->text(), page.m_labelSendPhase->text()}
          .join('|');
  const Change change = Watch(m_run, running, sign, kRunSignLimitMs, "update run");
  if (change == Change::Started) m_runBefore = m_before;
  if (change != Change::Ended) return;
  if (m_messages == m_run.messagesAtStart && page.m_labelError->isHidden())
    m_log.Violation(u"the update run ended without a word"_s);
  for (const auto& header : PackagesOf(m_world, page.m_run.Plan()))
    if (header && !unit.Holds(*header) && !unit.SameKind(m_runBefore, header->kind))
      m_log.Violation(
          u"a run left %1 neither as before nor as sent: %2"_s.arg(Describe(header), unit.Versions()));
}

void SoakChecks::ObserveRecovery() {
  CReset& page = m_sheet->m_pageReset;
  const Change change = Watch(m_recovery, page.IsRecoveryRunning(),
                              QString::number(page.m_progress->GetPos()) + page.m_staticStatus->text(),
                              kRunSignLimitMs, "recovery");
  // A transfer that broke off says so on the status line, as the update page's error line.
  const auto errorLine = [&](int language) {
    return UiText(m_sheet->m_arrText, language, UiIndex(DBFW_TAB_001, 6));
  };
  const QString status = page.m_staticStatus->isHidden() ? QString() : page.m_staticStatus->text();
  const bool saidFailed = status == errorLine(kLanguageEnglish) || status == errorLine(kLanguageFrench);
  if (change == Change::Ended && m_messages == m_recovery.messagesAtStart && !saidFailed)
    m_log.Violation(u"the recovery ended without a word"_s);
}

void SoakChecks::ObservePoiTask(const UnitView& unit) {
  CPOITab& page = m_sheet->m_pagePOI;
  const Change change = Watch(m_poiTask, page.IsTaskRunning(), {}, kPoiTaskLimitMs, "POI task");
  if (change == Change::Started) m_poiSaving = page.IsSendingToUnit(), m_rowsSaved = m_rowsBefore;
  if (change != Change::Ended || m_messages != m_poiTask.messagesAtStart) return;  // a failure was told
  if (m_poiSaving) {
    Claim(u"a save ended without a word"_s,
          [rows = m_rowsSaved](const UnitView& u) { return UnmetPois(u, rows); });
    return;
  }
  QStringList shown;
  for (const PoiTexts& row : ListRows()) shown << PoiKey(row);
  if (shown != Keys(unit.StoredPois()))
    m_log.Violation(u"a read shows [%1], the unit holds [%2]"_s.arg(shown.join(", "_L1),
                                                                    Keys(unit.StoredPois()).join(", "_L1)));
}

QList<std::pair<CPropertyPage*, QWidget*>> SoakChecks::UnitActions() const {
  if (!m_sheet) return {};
  CV700UpdaterDlg& s = *m_sheet;
  return {{&s.m_pageUpdate, s.m_pageUpdate.m_buttonUpdate},
          {&s.m_pageReset, s.m_pageReset.m_buttonUpdate},
          {&s.m_pagePOI, s.m_pagePOI.m_btnRead},
          {&s.m_pagePOI, s.m_pagePOI.m_btnSave},
          {&s.m_pageOption, s.m_pageOption.m_buttonApply}};
}

void SoakChecks::CheckLockedControls() {
  CDBUpdateTab& update = m_sheet->m_pageUpdate;
  CPOITab& poi = m_sheet->m_pagePOI;
  const struct {
    const char* job;
    bool running;
    CPropertyPage* page;
    QList<QWidget*> controls;  // besides every other page's unit actions
  } locks[] = {
      {"an update run",
       update.m_run.IsRunning(),
       &update,
       {update.m_buttonUpdate, update.m_radioAuto, update.m_radioManual, update.m_comboDB,
        update.m_comboVoice, update.m_checkForce, update.m_checkDB, update.m_checkVoice, update.m_checkFW}},
      {"a POI read or save",
       poi.IsTaskRunning(),
       &poi,
       {poi.m_btnRead, poi.m_btnReadFromPC, poi.m_btnDeleteAll, poi.m_btnDeleteSelected, poi.m_btnSave}},
      {"a recovery",
       m_sheet->m_pageReset.IsRecoveryRunning(),
       &m_sheet->m_pageReset,
       {m_sheet->m_pageReset.m_buttonUpdate}},
  };
  for (const auto& lock : locks) {
    QList<std::pair<CPropertyPage*, QWidget*>> locked;
    for (QWidget* control : lock.controls) locked.append({lock.page, control});
    for (const auto& action : UnitActions())
      if (action.first != lock.page) locked.append(action);
    for (const auto& [page, control] : locked)
      if (lock.running && page->HasWindow() && control->isEnabled())
        m_log.Violation(u"%1 %2 of %3 is enabled during %4"_s.arg(control->metaObject()->className(),
                                                                  control->property("text").toString(),
                                                                  page->Title(), QLatin1String(lock.job)));
  }
}

void SoakChecks::CheckLamps(const UnitView& unit) {
  CDBUpdateTab& page = m_sheet->m_pageUpdate;
  // Only a page at rest in automatic mode claims anything, and only of the unit it knows.
  if (!page.HasWindow() || m_sheet->GetPageIndex(&page) < 0 || page.m_nMode != CDBUpdateTab::kModeAuto ||
      !page.m_radioAuto->isChecked() || page.m_run.IsRunning() || page.m_run.AwaitsUnitCheck() ||
      !m_sheet->m_bUnitConnected || !unit.plugged || unit.restarting)
    return;
  for (std::size_t i = 0; i < unit.reply.size(); ++i)
    if (m_sheet->m_pageMain.m_byVersionReply[i] != unit.reply[i]) return;
  const auto chosen = [this](QComboBox* combo, const QStringList& english) {
    return m_sheet->m_nLanguageID == kLanguageEnglish ? combo->currentText()
                                                      : english.value(combo->currentIndex());
  };
  const std::pair<GradientLabel*, std::optional<PackageHeader>> lamps[] = {
      {page.m_lampDB,
       m_world.CataloguePackage(m_sheet->m_listDB, chosen(page.m_comboDB, page.m_listDBNamesLang1))},
      {page.m_lampVoice,
       m_world.CataloguePackage(m_sheet->m_listVoice, chosen(page.m_comboVoice, page.m_listVoiceNamesLang1))},
      {page.m_lampFW, m_world.Header(m_sheet->m_strFWFile)}};
  for (const auto& [lamp, package] : lamps)
    if (lamp->GradientStartColor() == CDBUpdateTab::kLampUpToDate && package && !unit.Holds(*package))
      m_log.Violation(u"a green lamp for %1, the unit runs %2"_s.arg(Describe(package), unit.Versions()));
}

void SoakChecks::CheckNoPoiLost(const UnitView& unit) {
  const QStringList now = Keys(unit.StoredPois());
  QSet<QString> safe;
  QStringList lost;
  for (const QString& poi : Keys(m_unitPois)) {
    if (now.contains(poi)) continue;
    if (safe.isEmpty()) {
      safe = FilePoiKeys();
      for (const PoiTexts& row : ListRows()) safe.insert(PoiKey(row));
    }
    if (!safe.contains(poi)) lost << poi;
  }
  m_unitPois = unit.StoredPois();
  if (!lost.isEmpty())
    m_log.Violation(u"POIs left the unit that are in no list, export or backup: "_s + lost.join(", "_L1));
}

void SoakChecks::ResolveClaims(const UnitView& unit) {
  // A run's end message waits for the unit's check, which may take it back.
  const bool settled = m_world.LinkNormalFor(kClaimSettleMs) && unit.plugged && !unit.restarting &&
                       !(m_sheet && m_sheet->m_pageUpdate.m_run.AwaitsUnitCheck());
  for (qsizetype i = m_claims.size() - 1; i >= 0; --i) {
    const QString unmet = m_claims[i].unmet(unit);
    if (!unmet.isEmpty() && !(settled && Now() - m_claims[i].made > kClaimMinAgeMs)) continue;
    if (!unmet.isEmpty()) m_log.Violation(m_claims[i].what + u", but "_s + unmet);
    m_claims.removeAt(i);
  }
}

QString SoakChecks::UnmetPois(const UnitView& unit, const QList<PoiTexts>& pois) {
  if (pois.size() > unit.poiSlots.size())
    return u"the unit has %1 slots for %2 POIs"_s.arg(unit.poiSlots.size()).arg(pois.size());
  for (qsizetype slot = 0; slot < unit.poiSlots.size(); ++slot) {
    const PoiRecord expected = slot < pois.size() ? EncodePoiRecord(pois[slot]) : PoiRecord{};
    if (unit.poiSlots[slot] !=
        QByteArray(reinterpret_cast<const char*>(expected.bytes.data()), qsizetype(expected.bytes.size())))
      return u"slot %1 holds [%2] where the list has [%3]"_s.arg(slot).arg(
          Keys({unit.poiSlots[slot]}).join(QString()), slot < pois.size() ? PoiKey(pois[slot]) : QString());
  }
  return {};
}

QList<PoiTexts> SoakChecks::PoisOf(const QString& path) {
  const PoiFileContent content = ReadPoiFile(path);
  return content.format == PoiFormat::Text ? content.lines : PlanPoiImport({}, content).report.added;
}

QString SoakChecks::PoiKey(const PoiTexts& poi) { return KeyOf(DecodePoiRecord(EncodePoiRecord(poi))); }

QStringList SoakChecks::Keys(const QList<QByteArray>& records) {
  QStringList keys;
  for (const QByteArray& bytes : records) {
    PoiRecord record;
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), qsizetype(record.bytes.size())),
                record.bytes.begin());
    if (!record.IsEmpty()) keys << KeyOf(DecodePoiRecord(record));
  }
  return keys;
}

QList<PoiTexts> SoakChecks::ListRows() const {
  return m_sheet ? m_sheet->m_pagePOI.ListRows() : QList<PoiTexts>();
}

QSet<QString> SoakChecks::FilePoiKeys() {
  QSet<QString> keys;
  for (const QFileInfo& file :
       QDir(m_world.WorkPath()).entryInfoList({"*.txt", "*.gpx", "*.kml", "*.kmz", "*.csv"}, QDir::Files)) {
    if (file.fileName().startsWith("V770"_L1) || file.fileName().startsWith("ZipLIST"_L1))
      continue;  // the program's data
    const QString stamp = u"%1 %2"_s.arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
    auto& [seen, fileKeys] = m_fileKeys[file.filePath()];
    if (seen != stamp) {
      seen = stamp, fileKeys.clear();
      for (const PoiTexts& poi : PoisOf(file.filePath())) fileKeys.insert(PoiKey(poi));
    }
    keys.unite(fileKeys);
  }
  return keys;
}
