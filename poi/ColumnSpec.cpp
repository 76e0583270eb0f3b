#include "poi/ColumnSpec.h"

#include <algorithm>

#include "poi/LeadingNumber.h"

namespace {
constexpr int kAlignCentre = 1;
constexpr int kAlignRight = 2;
}  // namespace

QList<ColumnSpecEntry> ParseColumnSpec(const QString& spec) {
  QList<ColumnSpecEntry> columns;
  qsizetype start = 0;
  while (start <= spec.size()) {
    const qsizetype end = spec.indexOf(u';', start);
    const QStringView entry = QStringView(spec).mid(start, end < 0 ? -1 : end - start);
    const qsizetype firstComma = entry.indexOf(u',');
    if (firstComma < 0) break;
    ColumnSpecEntry column;
    column.title = entry.left(firstComma).toString();
    QStringView widthText = entry.mid(firstComma + 1);
    const qsizetype secondComma = widthText.indexOf(u',');
    if (secondComma >= 0) {
      const int code = LeadingNumber::ToInt(widthText.left(secondComma));
      column.align = code == kAlignCentre ? ColumnAlign::Center
                                          : (code == kAlignRight ? ColumnAlign::Right : ColumnAlign::Left);
      widthText = widthText.mid(secondComma + 1);
    }
    column.width = std::max(1, LeadingNumber::ToInt(widthText));
    columns.append(column);
    if (end < 0) break;
    start = end + 1;
  }
  return columns;
}
