#include "update/UnitCheck.h"

#include <QDeadlineTimer>
#include <thread>

#include "device/UnitLibrary.h"
#include "device/UnitStatus.h"
#include "device/VersionQuery.h"
#include "text/ExtraTexts.h"

namespace UnitCheck {

std::optional<UpdateCatalogue::UnitVersions> WaitForUnitVersions(std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  for (;;) {
    const UnitStatus status = UnitStatus::Query({});
    if (status.outcome == UnitStatus::Identified)
      return UpdateCatalogue::UnitVersions::FromReply(reinterpret_cast<const std::int8_t*>(status.reply.constData()));
    if (deadline.hasExpired()) return std::nullopt;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(kRetryPeriod, deadline.remainingTimeAsDuration()));
  }
}

std::optional<UpdateCatalogue::UnitVersions> WaitForRestartedUnit(std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  while (ProbeUnit().bUnitPresent) {
    if (deadline.hasExpired()) return std::nullopt;
    std::this_thread::sleep_for(kRestartProbePeriod);
  }
  while (!ProbeUnit().bUnitPresent) {
    if (deadline.hasExpired()) return std::nullopt;
    std::this_thread::sleep_for(kRestartProbePeriod);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kVersionQueryDelayMs));
  return WaitForUnitVersions(std::chrono::duration_cast<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()));
}

QStringList NotTakenLines(const UpdateRunPlan& plan, const UpdateCatalogue::UnitVersions& unit) {
  QStringList lines;
  for (int package : PackagesNotTaken(plan, unit)) {
    switch (package) {
      case kPackageDB:
        lines << ExtraText(ExtraTextId::UPDATE_DB_NOT_TAKEN).arg(plan.strFileDB, QString::number(unit.nDBVersion));
        break;
      case kPackageVoice:
        lines << ExtraText(ExtraTextId::UPDATE_VOICE_NOT_TAKEN)
                     .arg(plan.strFileVoice, QString::number(unit.nVoiceVersion));
        break;
      default:
        lines << ExtraText(ExtraTextId::UPDATE_FW_NOT_TAKEN)
                     .arg(plan.strFileFW, QStringLiteral("%1.%2").arg(unit.nFWMajor).arg(unit.nFWMinor));
        break;
    }
  }
  return lines;
}

}  // namespace UnitCheck
