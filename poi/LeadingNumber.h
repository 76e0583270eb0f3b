#pragma once

#include <QStringView>

// Numbers read the way the C library reads them: leading white space skipped, the longest
// leading number taken, the rest ignored; no number gives 0. Always in the C locale, so a
// user's locale never changes what a POI text means.
namespace LeadingNumber {

// strtol-like, saturated to the 32-bit range.
int ToInt(QStringView text);
// strtod-like.
double ToDouble(QStringView text);

}  // namespace LeadingNumber
