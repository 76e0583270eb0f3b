#include "update/UpdateRunPlan.h"

#include "text/ExtraTexts.h"

using namespace UpdateCatalogue;

bool UpdateRunPlan::Marked(int package) const {
  switch (package) {
    case kPackageDB: return bUpdateDB;
    case kPackageVoice: return bUpdateVoice;
    case kPackageFW: return bUpdateFW;
    default: return false;
  }
}

const QString& UpdateRunPlan::FileName(int package) const {
  return package == kPackageDB ? strFileDB : package == kPackageVoice ? strFileVoice : strFileFW;
}

RunStart PlanAutoRun(const AutoRunInputs& in) {
  RunStart start;
  UpdateRunPlan& plan = start.plan;
  if (!in.bUpdateDB && !in.bUpdateVoice && !in.bUpdateFW) start.refusal = RunRefusal::NothingNewer;
  else if (in.bUpdateDB && in.strFileDB.isEmpty()) start.refusal = RunRefusal::NoDBEntry;
  else if (in.bUpdateVoice && in.strFileVoice.isEmpty()) start.refusal = RunRefusal::NoVoiceEntry;
  else if (in.bUpdateFW && in.strFWFile.isEmpty()) start.refusal = RunRefusal::NoFWFile;
  if (start.refusal != RunRefusal::None) return start;

  plan.bAuto = true;
  plan.bUpdateDB = in.bUpdateDB;
  plan.bUpdateVoice = in.bUpdateVoice;
  plan.bUpdateFW = in.bUpdateFW;
  plan.at = FormPackageLocations(in.strBaseUrl, in.strFolder, in.strFileDB, in.strFileVoice, in.strFWFile);
  plan.strFolder = in.strFolder;
  plan.strFileDB = in.strFileDB;
  plan.strFileVoice = in.strFileVoice;
  plan.strFileFW = in.strFWFile;
  plan.nDBVersion = EntryVersion(in.strFileDB);
  plan.nVoiceVersion = EntryVersion(in.strFileVoice);
  plan.nDBArea = in.nDBArea;
  plan.nVoiceLanguage = in.nVoiceLanguage;
  plan.fw = ParseFirmwareVersion(in.strFWVersion);
  return start;
}

QString RefusalMessage(RunRefusal refusal, const ErrorMessages& errorMessages) {
  switch (refusal) {
    case RunRefusal::None: return {};
    case RunRefusal::NoManualFileDB: return ExtraText(ExtraTextId::UPDATE_NO_FILE_DB);
    case RunRefusal::NoManualFileVoice: return ExtraText(ExtraTextId::UPDATE_NO_FILE_VOICE);
    case RunRefusal::NoManualFileFW: return ExtraText(ExtraTextId::UPDATE_NO_FILE_FW);
    default: return errorMessages.at(static_cast<size_t>(refusal) - 1);
  }
}

RunStart PlanManualRun(const ManualRunInputs& in) {
  RunStart start;
  UpdateRunPlan& plan = start.plan;
  plan.bAuto = false;
  plan.bUpdateDB = in.bUpdateDB;
  plan.bUpdateVoice = in.bUpdateVoice;
  plan.bUpdateFW = in.bUpdateFW;
  if (plan.bUpdateDB) plan.at.strPathDB = in.strManualDB;
  if (plan.bUpdateVoice) plan.at.strPathVoice = in.strManualVoice;
  if (plan.bUpdateFW) plan.at.strPathFW = in.strManualFW;
  plan.strFolder = in.strFolder;
  if (!plan.AnyMarked()) start.refusal = RunRefusal::NothingTicked;
  else if (in.bUpdateDB && in.strManualDB.isEmpty()) start.refusal = RunRefusal::NoManualFileDB;
  else if (in.bUpdateVoice && in.strManualVoice.isEmpty()) start.refusal = RunRefusal::NoManualFileVoice;
  else if (in.bUpdateFW && in.strManualFW.isEmpty()) start.refusal = RunRefusal::NoManualFileFW;
  return start;
}

QList<int> PackagesNotTaken(const UpdateRunPlan& plan, const UnitVersions& unit) {
  QList<int> notTaken;
  if (!plan.bAuto) return notTaken;
  const auto other = [](int sent, int held) { return sent >= 0 && held != sent; };
  if (plan.bUpdateDB && (unit.nDBVersion != plan.nDBVersion || other(plan.nDBArea, unit.nDBArea)))
    notTaken.append(kPackageDB);
  if (plan.bUpdateVoice && (unit.nVoiceVersion != plan.nVoiceVersion || other(plan.nVoiceLanguage, unit.nVoiceLanguage)))
    notTaken.append(kPackageVoice);
  if (plan.bUpdateFW && FirmwareVersion{unit.nFWMajor, unit.nFWMinor} != plan.fw) notTaken.append(kPackageFW);
  return notTaken;
}
