#pragma once

#include <QString>

#include "app/WorkingFiles.h"
#include "cli/CliConsole.h"
#include "platform/SingleInstance.h"

// Exit codes of the v770 program; kExitUnitInUse tells a script to try again later.
enum CliExit : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitUnitInUse = 3 };

// What `v770 update` was asked for.
struct CliUpdateOptions {
  bool bForce = false;
  QString strArea;   // a database area name, in either language; empty: the unit's
  QString strVoice;  // a voice language name, in either language; empty: the unit's
  bool bManual = false;
  QString strPack;   // the manual pack; empty: the one in the working folder
  bool bDryRun = false;
};

// The jobs of the window's pages, for the command line: each runs to its end on the calling
// thread (an update runs the event loop until its run ends), writes its result through the
// console and returns the exit code. Failures print one line in the files' language.
// Each command takes the window's single-instance lock before it reaches the unit, so that
// the window and the command line never talk to the unit at the same time.
class CliCommands {
 public:
  CliCommands(const WorkingFiles& files, CliConsole& console) : m_files(files), m_console(console) {}

  int Status(bool bJson);
  int SpeedUnit(const QString& value);
  int Recover(const QString& file, bool bDownload);
  int PoiRead(const QString& output, const QString& format);
  int PoiWrite(const QString& file);
  int PoiErase();
  int Update(const CliUpdateOptions& options);

 private:
  int Fail(const QString& message);
  int FailUi(int index) { return Fail(m_files.Ui(index)); }
  // The unit is plugged in; prints the failure and returns false otherwise.
  bool RequireUnit();
  // The lock is ours (kept until the program ends); kExitUnitInUse and its line otherwise.
  int ClaimUnit();

  const WorkingFiles& m_files;
  CliConsole& m_console;
  SingleInstance m_instance;
  bool m_bUnitClaimed = false;
};
