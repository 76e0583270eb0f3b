#pragma once

#include <QString>
#include <functional>
#include <stop_token>

// The manual pack shipped beside the program: a ZIP archive of the packages for a manual
// update and their list file.
inline constexpr const char* kManualPackFileName = "V770_manualPack.PCK";
// The progress of an unpacking runs over this range; the end always shows the upper bound.
inline constexpr int kUnpackProgressUpper = 4;

// Unpacks every item of `packFile` into `folder` under its stored name. Before item i the
// position i + 1 is reported, and kUnpackProgressUpper once all are written. Returns 1 on
// success; 0 and the text of the failure in `errorText` otherwise (items written before
// stay). An item whose name would land outside `folder` fails the unpacking. A stop asked
// through `stop` ends it between items or within an item's copy, leaving no partial file
// (0, with the stop's text).
int UnpackManualPack(const QString& packFile, const QString& folder, const std::function<void(int)>& setPos,
                     QString* errorText, const std::stop_token& stop = {});
