#include "soak/Soak.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <cstdio>

#include "app/CV700UpdaterApp.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/InternetState.h"
#include "poi/CSortableListCtrl.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using TestSupport::Settle;
using TestSupport::WaitUntil;

namespace {
constexpr int kWindowStallLimitMs = 30000;
// Jobs end within the program's own bounds: three downloads, each within its stall period,
// transfers watched by a 20 s watchdog, the unit's identification after them, a POI task of
// 100 records; a loaded machine gets room on top. A step may hold a job or a checkpoint.
constexpr int kJobLimitMs = 300000;
constexpr int kStepLimitMs = kJobLimitMs + 120000;
constexpr int kHeartbeatMs = 200;
constexpr int kCheckpointSteps = 100;
constexpr double kFirstCommandLineMinutes = 0.5, kCommandLineEveryMinutes = 3.0;
constexpr int kPagesGoneLimitMs = 10000;      // the poll sees an unplugged unit within 500 ms
constexpr int kIdentifyLimitMs = 30000;       // and a unit plugged in within about 2 s
constexpr int kResourcesBackLimitMs = 45000;  // Qt lets idle pool threads go after 30 s
constexpr double kRssLimitMbPer1000 = 10.0;

int Count(const char* folder) {
  return int(QDir(QLatin1String(folder)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

double RssMb() {
  QFile status(u"/proc/self/status"_s);
  status.open(QIODevice::ReadOnly);
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return 0;
}
}  // namespace

const Soak::Action Soak::kActions[] = {
    {"reopen", 2, [](Soak& s) { return s.Reopen(); }},  // first: the command line's step
    {"click", 44, [](Soak& s) { return s.Click(); }},
    {"tab", 16,
     [](Soak& s) {
       if (!s.m_sheet) return s.Reopen();
       // The pages with most to do are shown most: POIs and updates, then the recovery.
       const struct {
         CPropertyPage* page;
         int weight;
       } pages[] = {{&s.m_sheet->m_pageMain, 1},
                    {&s.m_sheet->m_pageUpdate, 3},
                    {&s.m_sheet->m_pagePOI, 4},
                    {&s.m_sheet->m_pageOption, 1},
                    {&s.m_sheet->m_pageReset, 2}};
       const int index = s.m_sheet->GetPageIndex(Weighted(s.m_random, pages).page);
       return s.ShowTab(index) ? s.m_sheet->TabLabel(index) : QString();
     }},
    {"tick", 5,
     [](Soak& s) {  // the POI list's check boxes, as the list control ticks them
       CSortableListCtrl* list = s.m_sheet ? s.m_sheet->m_pagePOI.m_listPOI : nullptr;
       QStringList rows;
       for (int i = s.m_random.bounded(1, 4); list && list->isVisible() && list->GetItemCount() > 0 && i > 0;
            --i) {
         const int row = s.m_random.bounded(list->GetItemCount());
         list->SetCheck(row, !list->GetCheck(row));
         rows << QString::number(row);
       }
       return rows.join(',');
     }},
    {"fault", 16, [](Soak& s) { return s.m_log.CountFault(), s.m_world.InjectFault(); }},
    {"undo", 4, [](Soak& s) { return s.m_world.UndoFaults(), QString(); }},
    {"wait", 5, [](Soak& s) { return Settle(s.m_random.bounded(1000, 5000)), QString(); }},
};

Soak::Soak(quint64 seed, double minutes, bool keepGoing)
    : m_minutes(minutes),
      m_random(seed),
      m_answers(seed ^ 0x9e3779b97f4a7c15ULL),
      m_log(seed, kWindowStallLimitMs, kStepLimitMs),
      m_world(m_random),
      m_checks(m_world, m_log),
      m_nextCommandLine(kFirstCommandLineMinutes) {
  if (keepGoing) m_log.KeepGoing();
}

Soak::~Soak() = default;

int Soak::Run(const QString& root) {
  m_log.SetCleanup(&SoakWorld::EmergencyCleanup);
  QObject::connect(&m_heartbeat, &QTimer::timeout, [this] { m_log.Beat(); });
  m_heartbeat.start(kHeartbeatMs);
  QString error = m_world.Start(root);
  if (error.isEmpty()) error = m_checks.LoadTexts();
  if (!error.isEmpty()) return m_log.Violation(u"the soak cannot start: "_s + error), 1;
  QDir::setCurrent(m_world.WorkPath());
  InternetState::SetForTesting(true);
  UiSeams::SetMessageHandler(
      [this](const UiSeams::MessageRequest& request) { return m_checks.OnMessage(request, m_answers); });
  UiSeams::SetFileDialogHandler(
      [this](const UiSeams::FileDialogRequest& request) { return ChooseFile(request); });
  OpenWindow();
  Checkpoint(true);
  while (m_log.Minutes() < m_minutes) {
    const Action* action = &Weighted(m_random, kActions);
    if (m_log.Minutes() >= m_nextCommandLine) {  // the window closes for the command line
      m_nextCommandLine += kCommandLineEveryMinutes, m_commandLineDue = true;
      action = kActions;
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

void Soak::Step(const Action& action) {
  m_log.BeginStep(QLatin1String(action.name));
  m_checks.BeforeAction();
  const int settleMs = m_random.bounded(20) ? m_random.bounded(30, 400) : m_random.bounded(1000, 4000);
  if (m_random.bounded(10) == 0)  // a fault while the step's action works
    QTimer::singleShot(m_random.bounded(settleMs), &m_heartbeat, [this] {
      m_log.CountFault();
      m_log.Note(u"fault "_s + m_world.InjectFault());
    });
  if (const QString detail = action.run(*this); !detail.isEmpty()) m_log.Note(detail);
  Settle(settleMs);
  m_checks.AfterStep();
}

QString Soak::Click() {
  CPropertyPage* page = m_sheet ? m_sheet->GetActivePage() : nullptr;
  if (!page) return Reopen();
  // Any control in sight, greyed or not, so what the user aims at does not hang on timing (a
  // greyed one takes no click); those that start a job more often, but none while the unit
  // has yet to show what was reported. (A read locks Save for a while: reads come less often.)
  CV700UpdaterDlg& s = *m_sheet;
  const QHash<QWidget*, int> weights{{s.m_pageUpdate.m_buttonUpdate, 5}, {s.m_pageReset.m_buttonUpdate, 3},
                                     {s.m_pagePOI.m_btnSave, 5},         {s.m_pagePOI.m_btnRead, 2},
                                     {s.m_pagePOI.m_btnReadFromPC, 3},   {s.m_pageOption.m_buttonApply, 2}};
  QList<QWidget*> starts;
  for (const auto& action : m_checks.UnitActions()) starts << action.second;
  QList<QWidget*> targets;
  for (QWidget* control : page->findChildren<QWidget*>())
    if ((qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control)) &&
        control->isVisible() && !(starts.contains(control) && m_checks.ClaimsPending()))
      for (int weight = weights.value(control, 1); weight > 0; --weight) targets.append(control);
  if (targets.isEmpty()) return {};
  QWidget* target = AnyOf(m_random, targets);
  const bool down = m_random.bounded(2);
  auto* combo = qobject_cast<QComboBox*>(target);
  m_log.Note(page->Title() + ':' +
             (combo ? combo->currentText() + (down ? " down"_L1 : " up"_L1)
                    : qobject_cast<QAbstractButton*>(target)->text()) +
             (target->isEnabled() ? QString() : u" (greyed)"_s));
  if (combo) return QTest::keyClick(combo, down ? Qt::Key_Down : Qt::Key_Up), QString();
  // Boxes and radios take a click on their indicator, buttons anywhere.
  const bool indicator = qobject_cast<QCheckBox*>(target) || qobject_cast<QRadioButton*>(target);
  QTest::mouseClick(target, Qt::LeftButton, {},
                    indicator ? QPoint(6, target->height() / 2) : target->rect().center());
  return {};
}

bool Soak::ShowTab(int index) {
  auto* bar = m_sheet ? m_sheet->findChild<QTabBar*>() : nullptr;
  if (!bar || index < 0 || index >= bar->count()) return false;
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  return true;
}

QString Soak::Reopen() {
  if (m_sheet && !CloseWindow()) return u"the window stays"_s;
  if (std::exchange(m_commandLineDue, false)) CommandLineSession();
  OpenWindow();
  return {};
}

void Soak::OpenWindow() {
  m_sheet = std::make_unique<CV700UpdaterDlg>();
  theApp.m_pSheet = m_sheet.get();
  m_sheet->m_nLanguageID = StartupLanguage();
  m_sheet->AddStartupPages();
  m_sheet->OnInitDialog();
  m_sheet->show();
  m_checks.Attach(m_sheet.get());
}

bool Soak::CloseWindow() {
  m_sheet->close();  // the close box: the program may ask first
  if (m_sheet->isVisible()) return false;
  m_checks.Attach(nullptr);
  m_sheet.reset();
  theApp.m_pSheet = nullptr;
  return true;
}

QString Soak::ChooseFile(const UiSeams::FileDialogRequest& request) {
  QString path;
  if (request.save) {
    const QStringList filters = request.filter.split(u";;"_s);
    if (request.selectedFilter) *request.selectedFilter = AnyOf(m_answers, filters);
    const char* suffixes[] = {".txt", ".gpx", ".kml", ".csv", ""};
    path = m_world.WorkPath(
        u"export_%1%2"_s.arg(m_answers.bounded(4)).arg(QLatin1String(suffixes[m_answers.bounded(5)])));
  } else {
    const QStringList& files =
        request.filter.contains(".hdr"_L1) ? m_world.recoveryFiles : m_world.importFiles;
    path = AnyOf(m_answers, files);
  }
  if (m_answers.bounded(8) == 0) path.clear();  // cancelled
  m_log.Note(u"file: "_s + QFileInfo(path).fileName());
  return path;
}

// ---- the command line, rest and resources ----

void Soak::CommandLineSession() {
  for (int jobs = m_random.bounded(1, 4); jobs > 0; --jobs) {
    Quiesce();
    m_log.BeginStep(u"v770"_s);
    m_checks.BeforeAction();
    m_log.Note(CommandLineJob());
    m_checks.AfterStep();
  }
}

QString Soak::CommandLineJob() {
  const UnitView before = m_world.Unit();
  const VersionInfo& catalogue = m_world.Catalogue();
  const auto name = [](const VersionEntry& entry) { return entry.strText.section('_', 1); };
  QList<std::optional<PackageHeader>> expected{m_world.Header(catalogue.strFWFile)};
  const auto expect = [&](const QString& db, const QString& voice) {
    expected << m_world.CataloguePackage(catalogue.listDB, db)
             << m_world.CataloguePackage(catalogue.listVoice, voice);
  };
  QStringList args;
  QString file;
  switch (m_random.bounded(5)) {
    case 0:
      args = QStringList{"status", "--json"};
      break;
    case 1:
      args = QStringList{"update"}, expect(name(catalogue.listDB.value(before.reply[0] - 2)),
                                           name(catalogue.listVoice.value(before.reply[11])));
      break;
    case 2: {
      const QString db = name(AnyOf(m_random, catalogue.listDB));
      const QString voice = name(AnyOf(m_random, catalogue.listVoice));
      args = QStringList{"update", "--force", "--area", db, "--voice", voice}, expect(db, voice);
      break;
    }
    case 3: {
      const char* suffixes[] = {"txt", "gpx", "kml", "csv"};
      file = m_world.WorkPath("cli_read."_L1 + QLatin1String(suffixes[m_random.bounded(4)]));
      args = QStringList{"poi", "read", "-o", file};
      break;
    }
    default:
      file = AnyOf(m_random, m_world.ownPoiFiles), args = QStringList{"poi", "write", file};
  }
  // Now and then the unit or the server fails while the job runs.
  const qint64 faultAtMs = m_random.bounded(3) == 0 ? m_random.bounded(100, 5000) : -1;
  const auto [status, output] =
      m_world.RunCli(args, kJobLimitMs, [&, faulted = false](qint64 elapsedMs) mutable {
        if (faultAtMs < 0 || faulted || elapsedMs < faultAtMs) return;
        faulted = true;
        m_log.CountFault();
        m_log.Note(u"fault "_s + m_world.InjectFault());
      });
  const QString job = "v770 "_L1 + args.join(' ');
  if (status < 0) m_log.Violation(u"%1 did not end within %2 s"_s.arg(job).arg(kJobLimitMs / 1000));
  if (status != 0) return u"%1 -> %2: %3"_s.arg(job).arg(status).arg(output.simplified());
  if (args[0] == "status"_L1) {
    const QString firmware = QJsonDocument::fromJson(output.toUtf8()).object()["firmware"_L1].toString();
    if (firmware != u"%1.%2"_s.arg(before.reply[5]).arg(before.reply[6]))
      m_log.Violation(u"%1 says firmware %2, the unit runs %3"_s.arg(job, firmware, before.Versions()));
  } else if (args[0] == "update"_L1) {
    m_checks.Claim(job + " ended with 0"_L1, [expected](const UnitView& unit) {
      for (const auto& header : expected)
        if (!header || !unit.Holds(*header))
          return u"the unit does not run a package it was sent: "_s + unit.Versions();
      return QString();
    });
  } else if (args[1] == "write"_L1) {
    m_checks.Claim(job + " ended with 0"_L1, [pois = SoakChecks::PoisOf(file)](const UnitView& unit) {
      return SoakChecks::UnmetPois(unit, pois);
    });
  } else {
    QStringList read;
    for (const PoiTexts& poi : SoakChecks::PoisOf(file)) read << SoakChecks::PoiKey(poi);
    const QStringList held = SoakChecks::Keys(m_world.Unit().StoredPois());
    if (read != held)
      m_log.Violation(
          u"%1 wrote [%2], the unit holds [%3]"_s.arg(job, read.join(", "_L1), held.join(", "_L1)));
  }
  return job + " -> 0"_L1;
}

void Soak::Quiesce() {
  m_world.UndoFaults();
  const bool rested = WaitUntil(
      [this] {
        Settle(kHeartbeatMs);
        m_checks.AfterStep();
        return !m_checks.ClaimsPending() &&
               (!m_sheet ||
                (!m_sheet->m_pageUpdate.m_run.IsRunning() && !m_sheet->m_pageUpdate.m_run.AwaitsUnitCheck() &&
                 !m_sheet->m_pageReset.IsRecoveryRunning() && !m_sheet->m_pagePOI.IsTaskRunning()));
      },
      kJobLimitMs);
  if (!rested)
    m_log.Violation(u"a job or a report still waits %1 s after the faults ended"_s.arg(kJobLimitMs / 1000));
}

void Soak::Checkpoint(bool baseline) {
  m_log.BeginStep(baseline ? u"start"_s : u"checkpoint"_s);
  Quiesce();
  if (!m_sheet) OpenWindow();
  const auto devicePages = [this](bool shown) {
    if (WaitUntil([&] { return m_sheet->m_bDevicePagesShown == shown && m_sheet->m_bUnitConnected == shown; },
                  shown ? kIdentifyLimitMs : kPagesGoneLimitMs))
      return;
    const CMainTab& main = m_sheet->m_pageMain;
    m_log.Violation(
        u"the unit's pages %1 after it was %2 (main page: %3, poll %4, connected %5, job %6)"_s
            .arg(shown ? "did not come"_L1 : "stayed"_L1, shown ? "plugged in"_L1 : "unplugged"_L1,
                 main.m_bBusy ? "paused"_L1 : "polling"_L1, main.IsPollTimerActive() ? "on"_L1 : "off"_L1,
                 main.m_bConnectionShown ? "shown"_L1 : "not shown"_L1)
            .arg(int(m_sheet->m_unitJobs.Holder())));
  };
  // At rest: the main page shown afresh (a page that paused its poll gives it back), the unit
  // plugged in anew once the poll has seen it go. (A unit that did not answer its
  // identification stays unidentified until it is plugged in again, so the start is the only
  // time it is waited for as it is.)
  ShowTab(1), ShowTab(0);
  if (baseline) {  // every page once, so what a page makes the first time it shows is there at start
    devicePages(true);
    for (int page = m_sheet->GetPageCount() - 1; page >= 0; --page) ShowTab(page), Settle(kHeartbeatMs);
    ShowTab(0);
  }
  m_world.UnitControl().Unplug();
  devicePages(false);
  m_world.UnitControl().Plug();
  devicePages(true);
  if (baseline) {
    m_baseDescriptors = Count("/proc/self/fd"), m_baseThreads = Count("/proc/self/task");
    return;
  }
  if (!WaitUntil(
          [this] {
            return Count("/proc/self/fd") <= m_baseDescriptors && Count("/proc/self/task") <= m_baseThreads;
          },
          kResourcesBackLimitMs)) {
    QStringList open;
    for (const QFileInfo& fd :
         QDir(u"/proc/self/fd"_s).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries))
      open << fd.symLinkTarget();
    m_log.Violation(
        u"at rest %1 descriptors and %2 threads, at start %3 and %4: %5"_s.arg(Count("/proc/self/fd"))
            .arg(Count("/proc/self/task"))
            .arg(m_baseDescriptors)
            .arg(m_baseThreads)
            .arg(open.join(' ')));
  }
  // Memory is judged on the later half of the run: the first steps fill what a program fills
  // once (fonts, the other language's texts, the allocator's arenas), a leak keeps its slope.
  const double rss = RssMb();
  std::fprintf(stderr, "soak: step %d, %.1f min, %.1f MB resident\n", m_log.Step(), m_log.Minutes(), rss);
  m_rssAtCheckpoint.append({m_log.Step(), rss});
  const auto [fromStep, fromRss] = m_rssAtCheckpoint[m_rssAtCheckpoint.size() / 2];
  const int steps = m_log.Step() - fromStep;
  if (steps == 0) return;
  const double growth = (rss - fromRss) / steps * 1000.0;
  m_log.SetRssGrowth(growth);
  if (steps >= 1000 && growth >= kRssLimitMbPer1000)
    m_log.Violation(u"memory grew by %1 MB per 1000 steps"_s.arg(growth, 0, 'f', 1));
}
