#include "update/RecoveryCheck.h"

#include "text/ExtraTexts.h"
#include "update/UnitCheck.h"

namespace RecoveryCheck {

Verdict Judge(const std::optional<UpdateCatalogue::UnitVersions>& unit, const QString& expectedVersion,
              const QString& fileName, const QString& doneText) {
  if (!unit) return {false, ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN).arg(fileName).arg(UnitCheck::kTimeout.count())};
  const QString reported = QStringLiteral("%1.%2").arg(unit->nFWMajor).arg(unit->nFWMinor);
  const bool bOther = !expectedVersion.isEmpty() && UpdateCatalogue::ParseFirmwareVersion(expectedVersion) !=
                                                        UpdateCatalogue::FirmwareVersion{unit->nFWMajor, unit->nFWMinor};
  if (bOther) return {false, ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN).arg(fileName, reported)};
  return {true, doneText + QLatin1Char('\n') + ExtraText(ExtraTextId::RESET_UNIT_FIRMWARE).arg(reported)};
}

}  // namespace RecoveryCheck
