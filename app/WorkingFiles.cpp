#include "app/WorkingFiles.h"

#include "platform/Profile.h"
#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"

int StartupLanguage() {
  const int remembered =
      Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, Profile::kDefaultLanguage);
  // Only English and French have text tables; any other number starts in English.
  return remembered == kLanguageEnglish || remembered == kLanguageFrench ? remembered : kLanguageEnglish;
}

WorkingFiles WorkingFiles::Load(const QString& folder, int nLanguage) {
  WorkingFiles files;
  files.strFolder = folder;
  files.nLanguage = nLanguage;
  files.bExtraTextsRead = LoadExtraTexts(WorkingFolder::FilePath(folder, QString::fromLatin1(kExtraTextFileName)));
  SetExtraTextLanguage(nLanguage);
  files.bVersionRead =
      ReadVersionFile(WorkingFolder::FilePath(folder, QString::fromLatin1(kVersionFileName)), files.version);
  files.bTextsRead = ReadUITextFile(WorkingFolder::FilePath(folder, QString::fromLatin1(kUITextFileName)), files.texts);
  return files;
}
