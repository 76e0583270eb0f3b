#pragma once

#include <QList>
#include <QString>

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
  UpdateCatalogue::FirmwareVersion fw;

  bool Marked(int package) const;
  bool AnyMarked() const { return bUpdateDB || bUpdateVoice || bUpdateFW; }
};

// Why a run does not start: the number of the error message the user is shown.
enum class RunRefusal {
  None = 0,
  NothingTicked = 5,
  NoDBEntry = 6,
  NoVoiceEntry = 7,
  NoFWFile = 8,
  NothingNewer = 9,
};

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
};
// An automatic run of the marked packages, or the first reason it cannot start: nothing
// marked, then a marked database, voice or firmware without its catalogue entry.
RunStart PlanAutoRun(const AutoRunInputs& in);

struct ManualRunInputs {
  bool bUpdateDB = false, bUpdateVoice = false, bUpdateFW = false;
  QString strManualDB, strManualVoice, strManualFW;  // names from ZipLIST.txt
  QString strFolder;
};
// A manual run of the ticked packages. A package ticked without a file name (its list was
// used up by an earlier run) is not sent; nothing left to send refuses the run.
RunStart PlanManualRun(const ManualRunInputs& in);

// The packages of an automatic run that the unit, by its next identification, did not
// take: its version differs from the catalogue entry sent. Empty for a manual run.
QList<int> PackagesNotTaken(const UpdateRunPlan& plan, const UpdateCatalogue::UnitVersions& unit);
