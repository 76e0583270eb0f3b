#pragma once

#include <QHash>
#include <QList>
#include <QRandomGenerator64>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <functional>

#include "platform/UiSeams.h"
#include "poi/PoiTexts.h"
#include "soak/SoakWorld.h"
#include "soak/StepLog.h"

class CPropertyPage;
class CV700UpdaterDlg;
class QWidget;

// The invariants, checked after every step against what the emulated unit holds: every
// message is one of the program's texts, in the chosen language; what a run, a recovery, a
// save, a read or the speed unit reported holds on the unit; a run that failed told the user
// and left each package as it was or as sent; no lamp is green for a package the unit does
// not hold; no unit action is open while a job runs; every job shows progress within its
// bound; no POI leaves the unit unless it is in the list or a file.
class SoakChecks {
 public:
  SoakChecks(SoakWorld& world, StepLog& log) : m_world(world), m_log(log) {}

  // The program's texts in both languages, from the working folder's text files.
  QString LoadTexts();
  // The window looked at, or none while it is closed (its jobs then ended unreported).
  void Attach(CV700UpdaterDlg* sheet);
  // The message seam: checks the text, notes what it reports, and answers after a while of
  // reading, as a user would (the window keeps working meanwhile).
  QMessageBox::StandardButton OnMessage(const UiSeams::MessageRequest& request, QRandomGenerator64& answers);
  void BeforeAction();  // what the unit and the list were before the step's action
  void AfterStep();
  // A report the unit must bear out once the link has been normal for a while; `unmet` says
  // what is wrong, nothing when the unit holds what was reported. A later report of the same
  // source (`tag`) may take it back.
  void Claim(const QString& what, std::function<QString(const UnitView&)> unmet, const QString& tag = {});
  bool ClaimsPending() const { return !m_claims.isEmpty(); }
  // The unit holds these POIs in slots 0, 1 ... and nothing after them.
  static QString UnmetPois(const UnitView& unit, const QList<PoiTexts>& pois);
  // A POI as the unit keeps it, and the POIs of a list of records.
  static QString PoiKey(const PoiTexts& poi);
  static QStringList Keys(const QList<QByteArray>& records);
  // The POIs of a file as the list would show them.
  static QList<PoiTexts> PoisOf(const QString& path);
  // The controls of the pages that start a job on the unit.
  QList<std::pair<CPropertyPage*, QWidget*>> UnitActions() const;

 private:
  struct Claimed {
    QString what;
    std::function<QString(const UnitView&)> unmet;
    qint64 made;
    QString tag;
  };
  // A job of the window: when it last showed a sign of life, how many messages came before.
  struct Job {
    bool running = false;
    qint64 lastSign = 0;
    QString sign;
    int messagesAtStart = 0;
  };
  enum class Change { None, Started, Ended };
  Change Watch(Job& job, bool running, const QString& sign, int limitMs, const char* name);
  void ObserveUpdateRun(const UnitView& unit);
  void ObserveRecovery();
  void ObservePoiTask(const UnitView& unit);
  void CheckLockedControls();
  void CheckLamps(const UnitView& unit);
  void CheckNoPoiLost(const UnitView& unit);
  void ResolveClaims(const UnitView& unit);
  void CheckText(const QString& text);
  void NoteReport(const UiSeams::MessageRequest& request);
  QList<PoiTexts> ListRows() const;
  QSet<QString> FilePoiKeys();

  SoakWorld& m_world;
  StepLog& m_log;
  CV700UpdaterDlg* m_sheet = nullptr;
  QList<std::pair<QRegularExpression, int>> m_patterns;  // a line of a text, its language (0: any)
  QList<Claimed> m_claims;
  int m_messages = 0;
  Job m_run, m_recovery, m_poiTask;
  bool m_poiSaving = false;
  UnitView m_before, m_runBefore;
  QList<PoiTexts> m_rowsBefore, m_rowsSaved;
  QList<QByteArray> m_unitPois;
  QHash<QString, std::pair<QString, QSet<QString>>> m_fileKeys;  // by path: its stamp and POIs
};
