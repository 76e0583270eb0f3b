#include "text/LeadingNumber.h"

#include <limits>

int LeadingNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  qsizetype at = 0;
  bool negative = false;
  if (at < trimmed.size() && (trimmed[at] == QLatin1Char('-') || trimmed[at] == QLatin1Char('+')))
    negative = trimmed[at++] == QLatin1Char('-');
  qint64 value = 0;
  for (; at < trimmed.size() && trimmed[at] >= QLatin1Char('0') && trimmed[at] <= QLatin1Char('9'); ++at)
    value = qMin<qint64>(value * 10 + trimmed[at].digitValue(), std::numeric_limits<int>::max());
  return int(negative ? -value : value);
}
