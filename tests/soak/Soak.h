#pragma once

#include <QList>
#include <QRandomGenerator64>
#include <QString>
#include <QTimer>
#include <memory>
#include <utility>

#include "platform/UiSeams.h"
#include "soak/SoakChecks.h"
#include "soak/SoakWorld.h"
#include "soak/StepLog.h"

class CV700UpdaterDlg;

// Hours of random use and faults: the whole main window in this process, driven like a user
// with Qt's test events (pages, languages, every button, combo box and list; file dialogs and
// message boxes answered), while the unit and the server suffer faults at any moment, the
// window is closed and opened again mid-job and the command line works on the unit while it
// is closed. The invariants are checked after every step; the first violation ends the soak.
class Soak {
 public:
  Soak(quint64 seed, double minutes, bool keepGoing);
  ~Soak();
  // The exit status: 0 without violation (the first one otherwise ends the process itself,
  // unless kept going).
  int Run(const QString& root);

 private:
  struct Action {
    const char* name;
    int weight;
    QString (*run)(Soak& soak);
  };
  static const Action kActions[];

  void Step(const Action& action);
  QString Click();
  QString Reopen();
  bool ShowTab(int index);
  void OpenWindow();
  bool CloseWindow();
  // A few `v770` jobs while the window is closed, each checked against the unit.
  void CommandLineSession();
  QString CommandLineJob();
  // Faults taken back, every job of the window ended, every report seen on the unit.
  void Quiesce();
  // At rest (the main page, the unit plugged in anew and identified): descriptors, threads
  // and memory against the start.
  void Checkpoint(bool baseline);
  QString ChooseFile(const UiSeams::FileDialogRequest& request);

  double m_minutes;
  QRandomGenerator64 m_random;   // the steps and their faults
  QRandomGenerator64 m_answers;  // the answers to boxes and dialogs, which come when they come
  StepLog m_log;
  SoakWorld m_world;
  SoakChecks m_checks;
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  QTimer m_heartbeat;
  double m_nextCommandLine;  // minutes
  bool m_commandLineDue = false;
  int m_baseDescriptors = 0, m_baseThreads = 0;
  QList<std::pair<int, double>> m_rssAtCheckpoint;  // step, resident MB
};
