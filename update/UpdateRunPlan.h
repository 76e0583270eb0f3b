#pragma once

#include <QList>
#include <QString>

#include "text/UiTextTable.h"
#include "update/UpdateCatalogue.h"

// The three packages in the order a run handles them.
enum UpdatePackage { kPackageDB = 1, kPackageVoice = 2, kPackageFW = 3 };

// What one run of the update page sends, fixed when the run starts: the marked packages,
// where each one comes from and is kept, and, for an automatic run, the versions the
// catalogue promised, so the unit's next identification can tell whether it took them.
struct UpdateRunPlan {
  bool bAuto = true;  // download first; a manual run sends the unpacked files
  bool bUpdateDB = false;
  bool bUpdateVoice = false;
  bool bUpdateFW = false;
  UpdateCatalogue::PackageLocations at;
  QString strFolder;  // the working folder: nothing outside it is deleted
  QString strFileDB, strFileVoice, strFileFW;  // catalogue names (automatic runs)
  int nDBVersion = 0;
  int nVoiceVersion = 0;
  // The area code and voice language the entries sent are for: a database of another area
  // (or a voice of another language) of the same version was not taken.
  int nDBArea = -1;
  int nVoiceLanguage = -1;
  UpdateCatalogue::FirmwareVersion fw;

  bool Marked(int package) const;
  // The catalogue name of a package (automatic runs).
  const QString& FileName(int package) const;
  bool AnyMarked() const { return bUpdateDB || bUpdateVoice || bUpdateFW; }
};

// Why a run does not start: the number of the error message the user is shown, or past
// them a message of the program's own.
enum class RunRefusal {
  None = 0,
  NothingTicked = 5,
  NoDBEntry = 6,
  NoVoiceEntry = 7,
  NoFWFile = 8,
  NothingNewer = 9,
  NoManualFileDB = 101,  // ticked, but the manual pack's list names no file for it
  NoManualFileVoice,
  NoManualFileFW,
};

// What the user is told for a refusal: its error message, or the text naming the ticked
// package that has no file.
QString RefusalMessage(RunRefusal refusal, const ErrorMessages& errorMessages);

struct RunStart {
  RunRefusal refusal = RunRefusal::None;
  UpdateRunPlan plan;
};

struct AutoRunInputs {
  bool bUpdateDB = false, bUpdateVoice = false, bUpdateFW = false;
  QString strFileDB, strFileVoice;  // catalogue entries found for the choice
  QString strFWFile, strFWVersion;  // the catalogue's firmware
  QString strBaseUrl;               // update server with the packages' path
  QString strFolder;                // working folder, where the downloads go
  int nDBArea = -1, nVoiceLanguage = -1;  // what the entries are for (-1: not compared)
};
// An automatic run of the marked packages, or the first reason it cannot start: nothing
// marked, then a marked database, voice or firmware without its catalogue entry.
RunStart PlanAutoRun(const AutoRunInputs& in);

struct ManualRunInputs {
  bool bUpdateDB = false, bUpdateVoice = false, bUpdateFW = false;
  QString strManualDB, strManualVoice, strManualFW;  // names from ZipLIST.txt
  QString strFolder;
};
// A manual run of the ticked packages; refused when nothing is ticked, or when a ticked
// package has no file name (the pack's list does not hold it).
RunStart PlanManualRun(const ManualRunInputs& in);

// The packages of an automatic run that the unit, by its next identification, did not
// take: its version differs from the catalogue entry sent. Empty for a manual run.
QList<int> PackagesNotTaken(const UpdateRunPlan& plan, const UpdateCatalogue::UnitVersions& unit);
