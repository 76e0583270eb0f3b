#pragma once

#include <QString>

#include "app/VersionFile.h"
#include "text/UiTextTable.h"

// The language to start in: the remembered one when it has a text table, else English.
int StartupLanguage();

// The data files the window and the command line both read from the working folder: the
// version file, the UI text file and the program's own messages (loaded program-wide and set
// to `nLanguage`).
struct WorkingFiles {
  static constexpr const char* kUITextFileName = "V770UIText_New_v12.txt";
  static constexpr const char* kVersionFileName = "V770_VersionInfo_v12.txt";

  QString strFolder;
  int nLanguage = kLanguageEnglish;
  bool bVersionRead = false;
  VersionInfo version;
  bool bTextsRead = false;
  UiTextTables texts;
  bool bExtraTextsRead = false;

  static WorkingFiles Load(const QString& folder, int nLanguage);
  // Entry `index` of the UI text table in the files' language.
  QString Ui(int index) const { return UiText(texts, nLanguage, index); }
};
