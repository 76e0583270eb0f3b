// ./dev soak [MINUTES] [--seed N] [--keep-going]: the whole main window in this process, driven at
// random like a user while the unit and the server suffer faults, closed and opened again mid-job
// for the command line's jobs; after every step the window's reports are checked against the unit.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/CV700UpdaterApp.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/InternetState.h"
#include "platform/UiSeams.h"
#include "poi/CSortableListCtrl.h"
#include "soak/SoakWorld.h"
#include "text/ExtraTexts.h"
#include "update/DownloadToFile.h"
#include "widgets/GradientLabel.h"
#include "widgets/TextProgressBar.h"

namespace soak {
namespace {
using TestSupport::Settle;
using TestSupport::WaitUntil;

constexpr int kWindowStallLimitMs = 30000;
// A job ends within the program's own bounds, with room for a loaded machine; a step may hold one.
constexpr int kJobLimitMs = 300000;
constexpr int kStepLimitMs = kJobLimitMs + 120000;
constexpr int kPollMs = 200;
constexpr int kCheckpointSteps = 100;
constexpr double kFirstCommandLineMinutes = 0.5, kCommandLineEveryMinutes = 3.0;
constexpr int kPagesGoneLimitMs = 10000;      // the poll sees an unplugged unit within 500 ms
constexpr int kIdentifyLimitMs = 30000;       // and a unit plugged in within about 2 s
constexpr int kResourcesBackLimitMs = 45000;  // Qt lets idle pool threads go after 30 s
constexpr double kRssLimitMbPer1000 = 10.0;
constexpr int kMaxReadingMs = 1500;  // a user reads a message this long at most
// A report shows on the unit once the link was normal a while (a write may wait in the channel).
constexpr int kClaimSettleMs = 8000;
constexpr int kClaimMinAgeMs = 2000;
// Signs of life: a download waits its stall period at most; a POI task paces 100 records.
constexpr int kRunSignLimitMs = int(std::chrono::milliseconds(kDownloadStallPeriod).count()) + 20000;
constexpr int kPoiTaskLimitMs =
    2 * PoiConstants::kSlotCount * PoiConstants::kWritePacingMs +
    (PoiConstants::kMaxFailedCalls + 1) * (FdChannel::kDefaultTimeoutMs + PoiConstants::kWritePacingMs) +
    20000;

std::pair<int, int> Resources() {
  return {int(TestSupport::Entries(u"/proc/self/fd"_s).size()),
          int(TestSupport::Entries(u"/proc/self/task"_s).size())};
}

// POIs as the list shows them once the unit has kept them: the unit's in slot order, a list's.
QString Key(const PoiRecord& record) {
  const PoiTexts t = DecodePoiRecord(record);
  return QStringList{t.date, t.time, t.latitude, t.longitude, t.heading}.join(' ');
}
QStringList Keys(const UnitView& unit) {
  QStringList keys;
  for (const auto& bytes : unit.state.StoredPoiRecords()) keys << Key(PoiRecord{bytes});
  return keys;
}
QStringList Keys(const QList<PoiTexts>& pois) {
  QStringList keys;
  for (const PoiTexts& poi : pois) keys << Key(EncodePoiRecord(poi));
  return keys;
}
QString Listed(const QStringList& keys) { return '[' + keys.join(", "_L1) + ']'; }
QList<PoiTexts> PoisOf(const QString& path) {
  const PoiFileContent content = ReadPoiFile(path);
  return content.format == PoiFormat::Text ? content.lines : PlanPoiImport({}, content).report.added;
}

// The unit holds these POIs in slots 0, 1 ... and nothing after them.
QString UnmetPois(const UnitView& unit, const QList<PoiTexts>& pois) {
  UnitState expected = unit.state;
  expected.EraseAllPois();
  for (int slot = 0; slot < pois.size(); ++slot)
    if (!expected.StorePoi(slot, EncodePoiRecord(pois[slot]).bytes))
      return u"the unit has %1 slots for %2 POIs"_s.arg(expected.PoiCapacity()).arg(pois.size());
  if (expected.ToJson()["poi"_L1] == unit.state.ToJson()["poi"_L1]) return {};
  return u"its slots hold %1, the list %2"_s.arg(Listed(Keys(unit)), Listed(Keys(pois)));
}
// The unit runs each package, but those of the kinds named as not taken.
QString UnmetPackages(const UnitView& unit, const QList<std::optional<PackageHeader>>& packages,
                      const QList<int>& notTaken = {}) {
  for (const auto& header : packages)
    if (!header || unit.Holds(*header) == notTaken.contains(header->kind))
      return u"the unit %1 %2: %3"_s.arg(
          header && unit.Holds(*header) ? "runs"_L1 : "does not run"_L1,
          header ? QString::fromStdString(header->KindName() + ' ' + header->VersionText())
                 : u"a non-package"_s,
          unit.Versions());
  return {};
}
}  // namespace

class Soak {
 public:
  Soak(quint64 seed, double minutes, bool keepGoing)
      : m_minutes(minutes),
        m_random(seed),
        m_answers(seed ^ 0x9e3779b97f4a7c15ULL),
        m_log(seed, kWindowStallLimitMs, kStepLimitMs, keepGoing),
        m_world(m_random, m_log) {}

  int Run(const QString& root) {
    QString error = m_world.Start(root);
    if (error.isEmpty()) error = LoadTexts();
    if (!error.isEmpty()) return m_log.Violation(u"the soak cannot start: "_s + error), 1;
    QDir::setCurrent(m_world.WorkPath());
    InternetState::SetForTesting(true);
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) { return OnMessage(request); });
    UiSeams::SetFileDialogHandler(
        [this](const UiSeams::FileDialogRequest& request) { return ChooseFile(request); });
    const Action actions[] = {
        {"reopen", 2, [](Soak& s) { return s.Reopen(); }},  // first: the command line's step
        {"click", 44, [](Soak& s) { return s.Click(); }},
        {"tab", 16, [](Soak& s) { return s.Tab(); }},
        {"tick", 5, [](Soak& s) { return s.Tick(); }},
        {"fault", 16, [](Soak& s) { return s.m_world.InjectFault(); }},
        {"undo", 4, [](Soak& s) { return s.m_world.UndoFaults(), QString(); }},
        {"wait", 5, [](Soak& s) { return Settle(s.m_random.bounded(1000, 5000)), QString(); }},
    };
    OpenWindow();
    Checkpoint(true);
    for (double commandLineAt = kFirstCommandLineMinutes; m_log.Minutes() < m_minutes;) {
      const Action* action = &Weighted(m_random, actions);
      if (m_log.Minutes() >= commandLineAt) {  // the window closes for the command line
        commandLineAt += kCommandLineEveryMinutes;
        m_commandLineDue = true;
        action = actions;
      }
      Step(*action);
      if (m_log.Step() % kCheckpointSteps == 0) Checkpoint(false);
    }
    Checkpoint(false);
    m_log.BeginStep(u"close"_s);
    CloseWindow();
    m_log.PrintTotals();
    UiSeams::SetMessageHandler({});
    UiSeams::SetFileDialogHandler({});
    return m_log.Violations() == 0 ? 0 : 1;
  }

 private:
  struct Action {
    const char* name;
    int weight;
    QString (*run)(Soak& soak);  // what it did, for the log
  };
  // A report the unit must bear out: `unmet` says what is wrong, nothing once the unit holds it.
  struct Claim {
    QString what;
    std::function<QString(const UnitView&)> unmet;
    bool ofRun = false;  // the unit's check of a run may take it back
    // Cables pulled when an unanswered command was reported sent (-1: not such a claim): a unit
    // that had not read it yet loses it with the cable, and nothing tells the program.
    int unplugsWhenSent = -1;
    qint64 made = Now();
  };
  // A job of the window: when it last showed a sign of life, how many messages came before.
  struct Job {
    bool running = false;
    qint64 lastSign = 0;
    QString sign;
    int messagesAtStart = 0;
  };
  enum class Change { None, Started, Ended };

  void Step(const Action& action) {
    m_log.BeginStep(QLatin1String(action.name));
    m_messagesAtStepStart = m_messages;
    m_before = m_world.Unit();
    m_rowsBefore = ListRows();
    const int settleMs = m_random.bounded(20) ? m_random.bounded(30, 400) : m_random.bounded(1000, 4000);
    if (m_random.bounded(10) == 0)  // a fault while the step's action works
      QTimer::singleShot(m_random.bounded(settleMs),
                         [this] { m_log.Note(u"fault "_s + m_world.InjectFault()); });
    if (const QString detail = action.run(*this); !detail.isEmpty()) m_log.Note(detail);
    // A save of a few records may end within its step: it is seen to start as it is clicked.
    if (m_sheet && m_sheet->m_pagePOI.IsSendingToUnit()) ObservePoiTask(m_world.Unit());
    Settle(settleMs);
    AfterStep();
  }

  // Any control in sight, greyed or not, so what is aimed at does not hang on timing; unit actions
  // more often (reads, which lock Save, less), but none while a report waits to show on the unit.
  QString Click() {
    CPropertyPage* page = m_sheet->GetActivePage();
    if (!page) return {};
    CV700UpdaterDlg& s = *m_sheet;
    const QHash<QWidget*, int> weights{{s.m_pageUpdate.m_buttonUpdate, 5}, {s.m_pageReset.m_buttonUpdate, 3},
                                       {s.m_pagePOI.m_btnSave, 5},         {s.m_pagePOI.m_btnRead, 2},
                                       {s.m_pagePOI.m_btnReadFromPC, 3},   {s.m_pageOption.m_buttonApply, 2}};
    const QHash<QWidget*, CPropertyPage*> starts = UnitActions();
    QList<QWidget*> targets;
    for (QWidget* control : page->findChildren<QWidget*>())
      if ((qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control)) &&
          control->isVisible() && !(starts.contains(control) && !m_claims.isEmpty()))
        for (int weight = weights.value(control, 1); weight > 0; --weight) targets.append(control);
    if (targets.isEmpty()) return {};
    QWidget* target = AnyOf(m_random, targets);
    const bool down = m_random.bounded(2);
    auto* combo = qobject_cast<QComboBox*>(target);
    const QString aim = combo ? combo->currentText() + (down ? " down"_L1 : " up"_L1)
                              : qobject_cast<QAbstractButton*>(target)->text();
    m_log.Note(page->Title() + ':' + aim + (target->isEnabled() ? QString() : u" (greyed)"_s));
    if (combo) return QTest::keyClick(combo, down ? Qt::Key_Down : Qt::Key_Up), QString();
    // Boxes and radios take a click on their indicator, buttons anywhere.
    const bool indicator = qobject_cast<QCheckBox*>(target) || qobject_cast<QRadioButton*>(target);
    QTest::mouseClick(target, Qt::LeftButton, {},
                      indicator ? QPoint(6, target->height() / 2) : target->rect().center());
    return {};
  }

  // The pages with most to do are shown most: POIs and updates, then the recovery.
  QString Tab() {
    CV700UpdaterDlg& s = *m_sheet;
    const struct {
      CPropertyPage* page;
      int weight;
    } pages[] = {{&s.m_pageMain, 1},
                 {&s.m_pageUpdate, 3},
                 {&s.m_pagePOI, 4},
                 {&s.m_pageOption, 1},
                 {&s.m_pageReset, 2}};
    const int index = s.GetPageIndex(Weighted(m_random, pages).page);
    return ShowTab(index) ? s.TabLabel(index) : QString();
  }
  bool ShowTab(int index) {
    auto* bar = m_sheet ? m_sheet->findChild<QTabBar*>() : nullptr;
    if (!bar || index < 0 || index >= bar->count()) return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    return true;
  }

  QString Tick() {
    CSortableListCtrl* list = m_sheet->m_pagePOI.m_listPOI;
    QStringList rows;
    for (int i = m_random.bounded(1, 4); list->isVisible() && list->GetItemCount() > 0 && i > 0; --i) {
      const int row = m_random.bounded(list->GetItemCount());
      list->SetCheck(row, !list->GetCheck(row));
      rows << QString::number(row);
    }
    return rows.join(',');
  }

  QString Reopen() {
    if (m_sheet && !CloseWindow()) return u"the window stays"_s;
    if (std::exchange(m_commandLineDue, false)) CommandLineSession();
    OpenWindow();
    return {};
  }
  void OpenWindow() {
    m_sheet = std::make_unique<CV700UpdaterDlg>();
    theApp.m_pSheet = m_sheet.get();
    m_sheet->m_nLanguageID = StartupLanguage();
    m_sheet->AddStartupPages();
    m_sheet->OnInitDialog();
    m_sheet->show();
  }
  bool CloseWindow() {
    // A window closed before the unit's check of a run cannot take its end message back (the
    // close stops the run, and the wait for the check with it).
    const bool unchecked = m_sheet->m_pageUpdate.m_run.AwaitsUnitCheck();
    m_sheet->close();  // the close box: the program may ask first
    if (m_sheet->isVisible()) return false;
    if (unchecked) DropRunClaims();
    m_sheet.reset();
    theApp.m_pSheet = nullptr;
    m_run = m_recovery = m_poiTask = Job{};  // they ended unreported
    return true;
  }
  void DropRunClaims() {
    m_claims.removeIf([](const Claim& claim) { return claim.ofRun; });
  }

  QString ChooseFile(const UiSeams::FileDialogRequest& request) {
    QString path;
    if (request.save) {
      if (request.selectedFilter) *request.selectedFilter = AnyOf(m_answers, request.filter.split(u";;"_s));
      const char* suffixes[] = {".txt", ".gpx", ".kml", ".csv", ""};
      path = m_world.WorkPath(
          u"export_%1%2"_s.arg(m_answers.bounded(4)).arg(QLatin1String(suffixes[m_answers.bounded(5)])));
    } else {
      path =
          AnyOf(m_answers, request.filter.contains(".hdr"_L1) ? m_world.recoveryFiles : m_world.importFiles);
    }
    if (m_answers.bounded(8) == 0) path.clear();  // cancelled
    m_log.Note(u"file: "_s + QFileInfo(path).fileName());
    return path;
  }

  // A few `v770` jobs while the window is closed: the status; an update for the unit's own area
  // and voice, or forced to others; a read; a write. Each checked against the unit.
  void CommandLineSession() {
    for (int jobs = m_random.bounded(1, 4); jobs > 0; --jobs) {
      Quiesce();
      m_log.BeginStep(u"v770"_s);
      m_log.Note(CommandLineJob());
      AfterStep();
    }
  }
  QString CommandLineJob() {
    const UnitView before = m_world.Unit();
    const VersionInfo& catalogue = m_world.catalogue;
    const auto name = [](const VersionEntry& entry) { return entry.strText.section('_', 1); };
    const int kind = m_random.bounded(5);
    const bool forced = kind == 1;
    const QString db =
        name(forced ? AnyOf(m_random, catalogue.listDB)
                    : catalogue.listDB.value(before.Reply(0) - UpdateCatalogue::kDBAreaCodeOffset));
    const QString voice =
        name(forced ? AnyOf(m_random, catalogue.listVoice) : catalogue.listVoice.value(before.Reply(11)));
    const char* suffixes[] = {"txt", "gpx", "kml", "csv"};
    const QString file = kind == 3
                             ? m_world.WorkPath("cli_read."_L1 + QLatin1String(AnyOf(m_random, suffixes)))
                             : AnyOf(m_random, m_world.ownPoiFiles);
    const QStringList args = QList<QStringList>{{"status", "--json"},
                                                {"update", "--force", "--area", db, "--voice", voice},
                                                {"update"},
                                                {"poi", "read", "-o", file},
                                                {"poi", "write", file}}[kind];
    QProcess process;
    bool faulted = false;
    if (m_random.bounded(3) == 0)  // now and then the unit or the server fails while the job runs
      QTimer::singleShot(m_random.bounded(100, 5000), &process, [this, &faulted] {
        faulted = true;
        m_log.Note(u"fault "_s + m_world.InjectFault());
      });
    process.setWorkingDirectory(m_world.WorkPath());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(BinPath(u"v770"_s), args);
    const bool ended = WaitUntil([&] { return process.state() == QProcess::NotRunning; }, kJobLimitMs);
    if (!ended) process.kill(), process.waitForFinished();
    const int status = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString job = "v770 "_L1 + args.join(' '), output = QString::fromLocal8Bit(process.readAll());
    if (status < 0) m_log.Violation(u"%1 did not end within %2 s"_s.arg(job).arg(kJobLimitMs / 1000));
    if (status != 0) return u"%1 -> %2: %3"_s.arg(job).arg(status).arg(output.simplified());
    const QString claim = job + " ended with 0"_L1;
    if (args[0] == "status"_L1) {
      const QJsonObject told = QJsonDocument::fromJson(output.toUtf8()).object();
      const QString firmware = told["firmware"_L1].toString();
      // A unit unplugged before the job or by a fault during it is told as not connected.
      if (told["connected"_L1].toBool() ? firmware != u"%1.%2"_s.arg(before.Reply(5)).arg(before.Reply(6))
                                        : before.plugged && !faulted)
        m_log.Violation(u"%1 says firmware %2, the unit runs %3"_s.arg(job, firmware, before.Versions()));
    } else if (args[0] == "update"_L1) {
      const QList<std::optional<PackageHeader>> sent{m_world.Header(catalogue.strFWFile),
                                                     m_world.CataloguePackage(catalogue.listDB, db),
                                                     m_world.CataloguePackage(catalogue.listVoice, voice)};
      AddClaim({claim, [sent](const UnitView& unit) { return UnmetPackages(unit, sent); }});
    } else if (args[1] == "write"_L1) {
      AddClaim({claim, [pois = PoisOf(file)](const UnitView& unit) { return UnmetPois(unit, pois); }});
    } else if (const QStringList read = Keys(PoisOf(file)), held = Keys(m_world.Unit()); read != held) {
      m_log.Violation(u"%1 wrote %2, the unit holds %3"_s.arg(job, Listed(read), Listed(held)));
    }
    return job + " -> 0"_L1;
  }

  // Faults taken back, every job of the window ended, every report seen on the unit.
  void Quiesce() {
    m_world.UndoFaults();
    const auto atRest = [this] {
      Settle(kPollMs);
      AfterStep();
      return m_claims.isEmpty() && !m_run.running && !m_recovery.running && !m_poiTask.running;
    };
    if (!WaitUntil(atRest, kJobLimitMs))
      m_log.Violation(u"a job or a report still waits %1 s after the faults ended"_s.arg(kJobLimitMs / 1000));
  }

  // At rest (the unit plugged in anew and identified): descriptors, threads and memory.
  void Checkpoint(bool baseline) {
    m_log.BeginStep(baseline ? u"start"_s : u"checkpoint"_s);
    Quiesce();
    const auto devicePages = [this](bool shown) {
      if (!WaitUntil(
              [&] { return m_sheet->m_bDevicePagesShown == shown && m_sheet->m_bUnitConnected == shown; },
              shown ? kIdentifyLimitMs : kPagesGoneLimitMs))
        m_log.Violation(u"the unit's pages %1 after it was %2"_s.arg(
            shown ? "did not come"_L1 : "stayed"_L1, shown ? "plugged in"_L1 : "unplugged"_L1));
    };
    // The main page shown afresh (a page that paused its poll gives it back); the unit plugged in
    // anew once the poll has seen it go (until then a unit that did not answer its identification
    // stays unidentified). At the start every page shows once, to count what it makes then.
    ShowTab(1), ShowTab(0);
    if (baseline) {
      devicePages(true);
      for (int page = m_sheet->GetPageCount() - 1; page >= 0; --page) ShowTab(page), Settle(kPollMs);
      ShowTab(0);
    }
    m_world.unit.Client().Unplug();
    devicePages(false);
    m_world.unit.Client().Plug();
    devicePages(true);
    if (baseline) {
      m_baseResources = Resources();
      return;
    }
    const auto [descriptors, threads] = m_baseResources;
    if (!WaitUntil([&] { return Resources().first <= descriptors && Resources().second <= threads; },
                   kResourcesBackLimitMs))
      m_log.Violation(u"at rest %1 descriptors and %2 threads, at start %3 and %4"_s.arg(Resources().first)
                          .arg(Resources().second)
                          .arg(descriptors)
                          .arg(threads));
    // Memory is judged on the later half of the run: the first steps fill what a program fills
    // once (fonts, the other language's texts, the allocator's arenas), a leak keeps its slope.
    const double rss = ReadFile(u"/proc/self/statm"_s).split(' ').value(1).toDouble() *
                       double(sysconf(_SC_PAGESIZE)) / (1 << 20);
    std::fprintf(stderr, "soak: step %d, %.1f min, %.1f MB resident\n", m_log.Step(), m_log.Minutes(), rss);
    m_rssAtCheckpoint.append({m_log.Step(), rss});
    const auto [fromStep, fromRss] = m_rssAtCheckpoint[m_rssAtCheckpoint.size() / 2];
    if (m_log.Step() == fromStep) return;
    m_log.rssGrowth = (rss - fromRss) / (m_log.Step() - fromStep) * 1000.0;
    if (m_log.Step() - fromStep >= 1000 && m_log.rssGrowth >= kRssLimitMbPer1000)
      m_log.Violation(u"memory grew by %1 MB per 1000 steps"_s.arg(m_log.rssGrowth, 0, 'f', 1));
  }

  // The program's texts by language (0: any). Each line of a text is a pattern: what the program
  // fills in (%1 ...) matches anything, and so does what a text is about, after a colon.
  QString LoadTexts() {
    UiTextTables ui;
    ExtraTextTable extra;
    if (!ReadUITextFile(m_world.WorkPath(QLatin1String(CV700UpdaterDlg::kUITextFileName)), ui) ||
        !ReadExtraTextFile(m_world.WorkPath(QLatin1String(kExtraTextFileName)), extra))
      return u"the text files cannot be read"_s;
    const QStringList texts[] = {
        {COptionTab::kUnitChangedMessage, PoiConstants::kHandleNotOpenMessage,
         CV700UpdaterDlg::kUITextMissingMessage, CV700UpdaterDlg::kVersionMissingMessage,
         UpdateCatalogue::kZipListMissingMessage},
        ui[0] + QStringList(extra[0].begin(), extra[0].end()),
        ui[1] + QStringList(extra[1].begin(), extra[1].end())};
    for (int language : {0, kLanguageEnglish, kLanguageFrench}) {
      QStringList patterns;
      for (const QString& text : texts[language])
        for (const QString& line : text.split('\n')) {
          QStringList pieces = line.trimmed().split(QRegularExpression(u"%[0-9]"_s));
          if (pieces.join(QString()).trimmed().isEmpty()) continue;
          for (QString& piece : pieces) piece = QRegularExpression::escape(piece);
          patterns << pieces.join(".*"_L1);
        }
      m_texts[language].setPattern("^("_L1 + patterns.join('|') + ")(: .*)?$"_L1);
    }
    return {};
  }

  // Every message box: its text checked, its report noted, answered after a while of reading.
  QMessageBox::StandardButton OnMessage(const UiSeams::MessageRequest& request) {
    ++m_messages;
    m_log.Note(u"message: "_s + request.text.simplified());
    const int language = m_sheet ? m_sheet->m_nLanguageID : 0;
    if (request.text.trimmed().isEmpty()) m_log.Violation(u"an empty message box"_s);
    for (QString line : request.text.split('\n')) {
      if ((line = line.trimmed()).isEmpty()) continue;
      const auto in = [&](int texts) { return m_texts[texts].match(line).hasMatch(); };
      const bool known = in(0) || in(kLanguageEnglish) || in(kLanguageFrench);
      if (!known) m_log.Violation(u"a message that is none of the program's texts: \"%1\""_s.arg(line));
      if (language == 0 ? !known : !in(0) && !in(language))
        m_log.Violation(u"a message in the other language: \"%1\""_s.arg(line));
    }
    if (m_sheet) NoteReport(request);
    QEventLoop reading;
    QTimer::singleShot(m_answers.bounded(kMaxReadingMs), &reading, &QEventLoop::quit);
    reading.exec();
    if (!request.buttons.testFlag(QMessageBox::Yes)) return QMessageBox::Ok;
    return m_answers.bounded(4) ? QMessageBox::Yes : QMessageBox::No;
  }

  void NoteReport(const UiSeams::MessageRequest& request) {
    CDBUpdateTab& update = m_sheet->m_pageUpdate;
    const QString& done = update.m_strRunFinished;  // the recovery's end text too
    const bool finished = !done.isEmpty() && request.text.startsWith(done);
    const bool ofUpdate = request.parent == &update,
               recovered = request.parent == &m_sheet->m_pageReset && finished;
    QList<int> named;  // packages a run's verdict says the unit did not take
    for (auto [kind, id] : {std::pair{1, ExtraTextId::UPDATE_DB_NOT_TAKEN},
                            {2, ExtraTextId::UPDATE_VOICE_NOT_TAKEN},
                            {3, ExtraTextId::UPDATE_FW_NOT_TAKEN}})
      if (request.text.contains(ExtraText(id).section('%', 0, 0))) named.append(kind);
    // The end message of a run comes first; the unit's check may follow, naming what it did not
    // take, or saying it could not check: that takes the end message back.
    const QString unchecked = ExtraText(ExtraTextId::UPDATE_UNIT_NOT_CHECKED).section('%', 0, 0);
    if (ofUpdate && (!named.isEmpty() || request.text.startsWith(unchecked))) DropRunClaims();
    if (ofUpdate && (finished || (!done.isEmpty() && !named.isEmpty()))) {
      AddClaim({named.isEmpty() ? u"the update run said it was complete"_s
                                : u"the update run named the packages the unit did not take"_s,
                [named, packages = PackagesOf(update.m_run.Plan())](const UnitView& unit) {
                  return UnmetPackages(unit, packages, named);
                },
                true});
    } else if (recovered && m_world.unplugs != m_unplugsAtRecovery) {
      // A cable pulled and pushed back during the restart wait looks like the unit's restart;
      // what a chosen file holds only the unit knows, so the message names what the unit runs.
      m_log.Note(u"a recovery with the cable pulled is not judged"_s);
    } else if (recovered) {
      AddClaim({u"the recovery said it was complete"_s,
                [header = m_world.Header(m_sheet->m_pageReset.m_strLocalPath)](const UnitView& unit) {
                  if (header && header->kind != PackageHeader::kFirmware) return u"it was sent no firmware"_s;
                  return UnmetPackages(unit, {header});
                }});
    } else if (request.text == QLatin1String(COptionTab::kUnitChangedMessage)) {
      AddClaim({u"the speed unit was said to be changed"_s,
                [chosen = m_sheet->m_pageOption.m_nUnitSel](const UnitView& unit) {
                  const int held = unit.state.SpeedUnit();
                  return held == chosen ? QString()
                                        : u"the unit has speed unit %1, not %2"_s.arg(held).arg(chosen);
                },
                false, m_world.unplugs});
    }
  }
  void AddClaim(Claim claim) {
    claim.what += u" (step %1)"_s.arg(m_log.Step());
    m_claims.append(std::move(claim));
  }

  void AfterStep() {
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
    // A run's end message waits for the unit's check, which may take it back.
    const bool settled = m_world.LinkNormalFor(unit, kClaimSettleMs) && !unit.restarting &&
                         !(m_sheet && m_sheet->m_pageUpdate.m_run.AwaitsUnitCheck());
    for (qsizetype i = m_claims.size() - 1; i >= 0; --i) {
      const Claim& claim = m_claims[i];
      const QString unmet = claim.unmet(unit);
      if (!unmet.isEmpty() && !(settled && Now() - claim.made > kClaimMinAgeMs)) continue;
      if (!unmet.isEmpty() && claim.unplugsWhenSent >= 0 && claim.unplugsWhenSent != m_world.unplugs)
        m_log.Note(claim.what + u": not judged, the cable was pulled since"_s);
      else if (!unmet.isEmpty())
        m_log.Violation(claim.what + u", but "_s + unmet);
      m_claims.removeAt(i);
    }
  }

  QList<std::optional<PackageHeader>> PackagesOf(const UpdateRunPlan& plan) const {
    QList<std::optional<PackageHeader>> packages;
    for (const auto& [marked, path] : {std::pair{plan.bUpdateDB, plan.at.strPathDB},
                                       {plan.bUpdateVoice, plan.at.strPathVoice},
                                       {plan.bUpdateFW, plan.at.strPathFW}})
      if (marked) packages.append(m_world.Header(path));
    return packages;
  }
  QList<PoiTexts> ListRows() const { return m_sheet ? m_sheet->m_pagePOI.ListRows() : QList<PoiTexts>(); }
  // The controls that start a job on the unit, and their pages.
  QHash<QWidget*, CPropertyPage*> UnitActions() const {
    CV700UpdaterDlg& s = *m_sheet;
    return {{s.m_pageUpdate.m_buttonUpdate, &s.m_pageUpdate},
            {s.m_pageReset.m_buttonUpdate, &s.m_pageReset},
            {s.m_pagePOI.m_btnRead, &s.m_pagePOI},
            {s.m_pagePOI.m_btnSave, &s.m_pagePOI},
            {s.m_pageOption.m_buttonApply, &s.m_pageOption}};
  }

  Change Watch(Job& job, bool running, const QString& sign, int limitMs, const char* name) {
    const Change change = running == job.running ? Change::None : running ? Change::Started : Change::Ended;
    // A job is seen after its step's action; a quick one may have spoken already.
    if (change == Change::Started) job.messagesAtStart = m_messagesAtStepStart;
    if (change == Change::Started || sign != job.sign) job.lastSign = Now(), job.sign = sign;
    job.running = running;
    if (running && Now() - job.lastSign > limitMs)
      m_log.Violation(u"the %1 has shown no progress for %2 s"_s.arg(QLatin1String(name))
                          .arg((Now() - job.lastSign) / 1000));
    return change;
  }

  void ObserveUpdateRun(const UnitView& unit) {
    CDBUpdateTab& page = m_sheet->m_pageUpdate;
    const QString sign =
        QStringList{QString::number(page.m_progress->GetPos()), page.m_labelDownloadSize->text(),
                    page.m_labelDownloadPhase->text(), page.m_labelSendPhase->text()}
            .join('|');
    // A run that finished is over once the unit has shown what it took.
    const Change change = Watch(m_run, page.m_run.IsRunning() || page.m_run.AwaitsUnitCheck(), sign,
                                kRunSignLimitMs, "update run");
    if (change == Change::Started) m_runBefore = m_before;
    if (change != Change::Ended) return;
    if (m_messages == m_run.messagesAtStart && page.m_labelError->isHidden())
      m_log.Violation(u"the update run ended without a word"_s);
    for (const auto& header : PackagesOf(page.m_run.Plan()))
      if (header && !unit.Holds(*header) && !unit.SameKind(m_runBefore, header->kind))
        m_log.Violation(u"a run left a package neither as before nor as sent: %1, before %2"_s.arg(
            unit.Versions(), m_runBefore.Versions()));
  }

  void ObserveRecovery() {
    CReset& page = m_sheet->m_pageReset;
    const Change change = Watch(m_recovery, page.IsRecoveryRunning(),
                                QString::number(page.m_progress->GetPos()) + page.m_staticStatus->text(),
                                kRunSignLimitMs, "recovery");
    if (change == Change::Started) m_unplugsAtRecovery = m_world.unplugs;
    // A transfer that broke off says so on the status line, as the update page's error line.
    const QString status = page.m_staticStatus->isHidden() ? QString() : page.m_staticStatus->text();
    const auto told = [&](int language) {
      return status == UiText(m_sheet->m_arrText, language, UiIndex(DBFW_TAB_001, 6));
    };
    if (change == Change::Ended && m_messages == m_recovery.messagesAtStart && !told(kLanguageEnglish) &&
        !told(kLanguageFrench))
      m_log.Violation(u"the recovery ended without a word"_s);
  }

  void ObservePoiTask(const UnitView& unit) {
    CPOITab& page = m_sheet->m_pagePOI;
    const Change change = Watch(m_poiTask, page.IsTaskRunning(), {}, kPoiTaskLimitMs, "POI task");
    if (change == Change::Started) m_poiSaving = page.IsSendingToUnit(), m_rowsSaved = m_rowsBefore;
    if (change != Change::Ended || m_messages != m_poiTask.messagesAtStart) return;  // a failure was told
    if (m_poiSaving)
      AddClaim({u"a save ended without a word"_s,
                [rows = m_rowsSaved](const UnitView& u) { return UnmetPois(u, rows); }});
    else if (const QStringList shown = Keys(ListRows()), held = Keys(unit); shown != held)
      m_log.Violation(u"a read shows %1, the unit holds %2"_s.arg(Listed(shown), Listed(held)));
  }

  // While a job runs, its page's controls and every unit action are locked.
  void CheckLockedControls() {
    const auto locked = [this](const char* job, CPropertyPage* page, const QList<QWidget*>& controls) {
      QHash<QWidget*, CPropertyPage*> locked = UnitActions();
      for (QWidget* control : controls) locked.insert(control, page);
      for (const auto& [control, owner] : locked.asKeyValueRange())
        if (owner->HasWindow() && control->isEnabled())
          m_log.Violation(u"%1 %2 of %3 is enabled during %4"_s.arg(control->metaObject()->className(),
                                                                    control->property("text").toString(),
                                                                    owner->Title(), QLatin1String(job)));
    };
    CDBUpdateTab& update = m_sheet->m_pageUpdate;
    CPOITab& poi = m_sheet->m_pagePOI;
    CReset& reset = m_sheet->m_pageReset;
    if (update.m_run.IsRunning())
      locked("an update run", &update,
             {update.m_buttonUpdate, update.m_radioAuto, update.m_radioManual, update.m_comboDB,
              update.m_comboVoice, update.m_checkForce, update.m_checkDB, update.m_checkVoice,
              update.m_checkFW});
    if (poi.IsTaskRunning())
      locked(
          "a POI read or save", &poi,
          {poi.m_btnRead, poi.m_btnReadFromPC, poi.m_btnDeleteAll, poi.m_btnDeleteSelected, poi.m_btnSave});
    if (reset.IsRecoveryRunning()) locked("a recovery", &reset, {reset.m_buttonUpdate});
  }

  void CheckLamps(const UnitView& unit) {
    CDBUpdateTab& page = m_sheet->m_pageUpdate;
    // Only a page at rest in automatic mode claims anything, and only of the unit it knows.
    if (!page.HasWindow() || m_sheet->GetPageIndex(&page) < 0 || page.m_nMode != CDBUpdateTab::kModeAuto ||
        !page.m_radioAuto->isChecked() || page.m_run.IsRunning() || page.m_run.AwaitsUnitCheck() ||
        !m_sheet->m_bUnitConnected || !unit.plugged || unit.restarting)
      return;
    for (std::size_t i = 0; i < UnitState::kReplySize; ++i)
      if (m_sheet->m_pageMain.m_byVersionReply[i] != unit.Reply(i)) return;
    const auto chosen = [this](const QList<VersionEntry>& list, QComboBox* combo, const QStringList& names) {
      const int language = m_sheet->m_nLanguageID;
      return m_world.CataloguePackage(
          list, UpdateCatalogue::CatalogueName(language, combo->currentText(), names, combo->currentIndex()));
    };
    const std::pair<GradientLabel*, std::optional<PackageHeader>> lamps[] = {
        {page.m_lampDB, chosen(m_sheet->m_listDB, page.m_comboDB, page.m_listDBNamesLang1)},
        {page.m_lampVoice, chosen(m_sheet->m_listVoice, page.m_comboVoice, page.m_listVoiceNamesLang1)},
        {page.m_lampFW, m_world.Header(m_sheet->m_strFWFile)}};
    for (const auto& [lamp, package] : lamps)
      if (lamp->GradientStartColor() == CDBUpdateTab::kLampUpToDate && package)
        if (const QString unmet = UnmetPackages(unit, {package}); !unmet.isEmpty())
          m_log.Violation(u"a green lamp, but "_s + unmet);
  }

  // What the unit held before is still there, or in the list, an export or a backup.
  void CheckNoPoiLost(const UnitView& unit) {
    const QStringList now = Keys(unit);
    QStringList lost = std::exchange(m_unitPois, now);
    lost.removeIf([&](const QString& poi) { return now.contains(poi); });
    if (lost.isEmpty()) return;
    QStringList safe = Keys(ListRows());
    for (const QFileInfo& file :
         QDir(m_world.WorkPath()).entryInfoList({"*.txt", "*.gpx", "*.kml", "*.kmz", "*.csv"}, QDir::Files))
      if (!file.fileName().startsWith("V770"_L1) && !file.fileName().startsWith("ZipLIST"_L1))
        safe << Keys(PoisOf(file.filePath()));
    lost.removeIf([&](const QString& poi) { return safe.contains(poi); });
    if (!lost.isEmpty())
      m_log.Violation(u"POIs left the unit that are in no list, export or backup: "_s + lost.join(", "_L1));
  }

  double m_minutes;
  QRandomGenerator64 m_random;   // the steps and their faults
  QRandomGenerator64 m_answers;  // the answers to boxes and dialogs, which come when they come
  StepLog m_log;
  SoakWorld m_world;
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  bool m_commandLineDue = false;
  std::pair<int, int> m_baseResources;              // descriptors, threads
  QList<std::pair<int, double>> m_rssAtCheckpoint;  // step, resident MB
  QRegularExpression m_texts[3];                    // by language (0: any)
  QList<Claim> m_claims;
  int m_messages = 0, m_messagesAtStepStart = 0;
  Job m_run, m_recovery, m_poiTask;
  int m_unplugsAtRecovery = 0;
  bool m_poiSaving = false;
  UnitView m_before, m_runBefore;  // the unit before the step, before the run
  QList<PoiTexts> m_rowsBefore, m_rowsSaved;
  QStringList m_unitPois;
};

}  // namespace soak

int main(int argc, char** argv) {
  using namespace Qt::StringLiterals;
  QTemporaryDir root(QDir::tempPath() + "/v770_soak-XXXXXX"_L1);
  // The soak's own user: settings, and a runtime folder for the command line's lock.
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path()));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.path()));
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
  return soak::Soak(seedValue, minutes, parser.isSet(keepGoing)).Run(root.path());
}
