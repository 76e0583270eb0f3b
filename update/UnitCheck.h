#pragma once

#include <QStringList>
#include <chrono>
#include <optional>

#include "update/UpdateCatalogue.h"
#include "update/UpdateRunPlan.h"

// After a run has sent its packages, only the unit's next identification shows whether it
// took them: the window waits for its main page to ask, the command line asks itself.
namespace UnitCheck {

// The unit is given this long to tell its versions after a run (a new firmware restarts it).
inline constexpr std::chrono::seconds kTimeout{30};
// Pause between two questions while the unit does not answer.
inline constexpr std::chrono::milliseconds kRetryPeriod{500};

// How often a recovery looks whether the unit has left the USB for its restart.
inline constexpr std::chrono::milliseconds kRestartProbePeriod{250};

// Asks the unit for its versions, again and again, until it answers; nothing when it has not
// answered within `timeout`. Blocks the calling thread meanwhile.
std::optional<UpdateCatalogue::UnitVersions> WaitForUnitVersions(std::chrono::milliseconds timeout = kTimeout);

// After a firmware went out: the same, once the unit has left the USB for its restart and
// come back (given the moment the main page gives a unit it sees anew). Nothing when it did
// not restart, or did not come back, within `timeout`.
std::optional<UpdateCatalogue::UnitVersions> WaitForRestartedUnit(std::chrono::milliseconds timeout = kTimeout);

// One line per package of `plan` the unit did not take, naming it and the version the unit
// reports instead, in the current language; empty when it took them all.
QStringList NotTakenLines(const UpdateRunPlan& plan, const UpdateCatalogue::UnitVersions& unit);

}  // namespace UnitCheck
