#pragma once

#include <QString>
#include <chrono>
#include <optional>

#include "update/UpdateCatalogue.h"

// What the end of a firmware recovery tells the user. A unit that takes a firmware restarts:
// it leaves the USB and identifies itself again. One that refuses the file (a database
// package, a damaged file, anything but a firmware) stays as it was, so a transfer that
// went out whole proves nothing until the unit has come back.
namespace RecoveryCheck {

// A server that sends nothing for this long ends the firmware's download, so the user hears
// of it within the 20 s a stalled transfer is given.
inline constexpr std::chrono::seconds kDownloadSilenceLimit{15};

struct Verdict {
  bool bTaken = false;
  QString strMessage;  // the end message with the firmware the unit reports, or the line
                       // naming the file the unit did not take
};

// `unit`: what the unit reported once it came back from its restart; nothing when it did not
// restart, or not within UnitCheck::kTimeout. `expectedVersion`: the firmware version
// ("1.6") the file was published as (a download), empty when nobody knows (a chosen file).
// `doneText`: the UI text that says the update is complete.
Verdict Judge(const std::optional<UpdateCatalogue::UnitVersions>& unit, const QString& expectedVersion,
              const QString& fileName, const QString& doneText);

}  // namespace RecoveryCheck
