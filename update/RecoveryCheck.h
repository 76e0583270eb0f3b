#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

// What the end of a firmware recovery tells the user. A unit that takes a firmware restarts:
// it leaves the USB and identifies itself again. One that refuses the file (a database
// package, a damaged file, anything but a firmware) stays as it was, so a transfer that
// went out whole proves nothing until the unit has come back.
namespace RecoveryCheck {

// How long after the transfer the unit is given to restart and identify itself.
inline constexpr int kRestartWaitMs = 30000;
// A server that sends nothing for this long ends the firmware's download, so the user hears
// of it within the 20 s a stalled transfer is given.
inline constexpr std::chrono::seconds kDownloadSilenceLimit{15};

struct Verdict {
  bool bTaken = false;
  QString strMessage;  // the end message with the firmware the unit reports, or the line
                       // naming the file the unit did not take
};

// `reply`: the unit's "$VER>" reply once it came back from its restart; empty when it did
// not restart or not in time. `expectedVersion`: the firmware version ("1.6") the file was
// published as (a download), empty when nobody knows (a chosen file). `doneText`: the UI
// text that says the update is complete.
Verdict Judge(const QByteArray& reply, const QString& expectedVersion, const QString& fileName,
              const QString& doneText);

}  // namespace RecoveryCheck
