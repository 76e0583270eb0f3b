#include "update/RecoveryCheck.h"

#include "text/ExtraTexts.h"
#include "update/UpdateCatalogue.h"

namespace RecoveryCheck {

Verdict Judge(const QByteArray& reply, const QString& expectedVersion, const QString& fileName,
              const QString& doneText) {
  if (reply.size() < UpdateCatalogue::kVersionReplySize) {
    return {false, ExtraText(ExtraTextId::RESET_FILE_NOT_TAKEN).arg(fileName).arg(kRestartWaitMs / 1000)};
  }
  const auto unit = UpdateCatalogue::UnitVersions::FromReply(reinterpret_cast<const std::int8_t*>(reply.constData()));
  const QString reported = QStringLiteral("%1.%2").arg(unit.nFWMajor).arg(unit.nFWMinor);
  const bool bOther = !expectedVersion.isEmpty() && UpdateCatalogue::ParseFirmwareVersion(expectedVersion) !=
                                                        UpdateCatalogue::FirmwareVersion{unit.nFWMajor, unit.nFWMinor};
  if (bOther) return {false, ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN).arg(fileName, reported)};
  return {true, doneText + QLatin1Char('\n') + ExtraText(ExtraTextId::RESET_UNIT_FIRMWARE).arg(reported)};
}

}  // namespace RecoveryCheck
