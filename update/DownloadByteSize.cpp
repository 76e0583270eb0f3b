#include "update/DownloadByteSize.h"

#include <array>

namespace {

constexpr quint64 kUnitStep = 1024;
// A value of this many units or more is written in the next unit ("0.97 MB", not "1000 KB"),
// so the text never needs more than three digits.
constexpr quint64 kNextUnitFrom = 1000;

}  // namespace

QString FormatByteSize(quint64 bytes) {
  if (bytes < kUnitStep) return QStringLiteral("%1 bytes").arg(bytes);
  static const std::array<const char*, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};
  std::size_t unit = 0;
  unsigned __int128 divisor = kUnitStep;
  while (bytes / divisor >= kNextUnitFrom && unit + 1 < kUnits.size()) {
    divisor *= kUnitStep;
    ++unit;
  }
  // Three significant digits, cut off rather than rounded up, so a size is never overstated.
  const quint64 whole = static_cast<quint64>(bytes / divisor);
  const int decimals = whole < 10 ? 2 : whole < 100 ? 1 : 0;
  unsigned __int128 scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const quint64 scaled = static_cast<quint64>(bytes * scale / divisor);
  QString number = QString::number(scaled);
  if (decimals > 0) {
    number = number.rightJustified(decimals + 1, QLatin1Char('0'));
    number.insert(number.size() - decimals, QLatin1Char('.'));
  }
  return number + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}
