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

// Asks the unit for its versions, again and again, until it answers; nothing when it has not
// answered within `timeout`. Blocks the calling thread meanwhile.
std::optional<UpdateCatalogue::UnitVersions> WaitForUnitVersions(std::chrono::milliseconds timeout = kTimeout);

// One line per package of `plan` the unit did not take, naming it and the version the unit
// reports instead, in the current language; empty when it took them all.
QStringList NotTakenLines(const UpdateRunPlan& plan, const UpdateCatalogue::UnitVersions& unit);

}  // namespace UnitCheck
