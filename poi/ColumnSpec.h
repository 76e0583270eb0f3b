#pragma once

#include <QList>
#include <QString>

enum class ColumnAlign { Left, Center, Right };

struct ColumnSpecEntry {
  QString title;
  ColumnAlign align = ColumnAlign::Left;
  int width = 1;

  bool operator==(const ColumnSpecEntry&) const = default;
};

// A column description "title, width; title, align, width; ...": entries separated by ";",
// the title kept with its blanks, alignment code 1 centred, 2 right, anything else left;
// widths below 1 become 1. Reading stops at the first entry without a ",".
QList<ColumnSpecEntry> ParseColumnSpec(const QString& spec);
