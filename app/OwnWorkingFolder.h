#pragma once

#include <QString>
#include <QStringList>

// Where the program works. A folder that holds the UI text file (a build's work folder, a
// folder the user laid out) is used as it is. An installed program started elsewhere, from
// a desktop menu in the home folder say, works in a folder of its own instead, so it finds
// its texts and its exports and backups do not land among the user's files.
struct OwnWorkingFolder {
  static constexpr const char* kFolderName = "V770PCSoft";

  QString strStartFolder;    // where the program was started
  QString strOwnFolder;      // the program's own folder in the user's data folder
  QString strShippedFolder;  // the files installed with the program
  QString strMarkerFile;     // the file that makes a folder a working folder
  // Shipped files the program itself reads, whose older copies are replaced: a copy of an
  // older installation would lack what a newer program looks for.
  QStringList refreshedFiles;

  // The folder of this program: $XDG_DATA_HOME/V770PCSoft, laid from share/v770 beside bin/.
  static OwnWorkingFolder ForThisProgram(const QString& startFolder);

  // The folder to work in. The own folder is made and laid first when the start folder is
  // not a working folder: each shipped file it lacks is copied, and a refreshed file is
  // replaced when the installed one is newer. Without shipped files, and when the own folder
  // cannot be laid, the start folder stays (the missing files are then named as ever).
  QString Choose() const;
};

// Chooses the working folder of this program and makes it the current directory; returns it.
QString EnterWorkingFolder();
