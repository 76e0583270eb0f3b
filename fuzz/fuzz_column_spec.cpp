// The list's column description.
#include "fuzz/FuzzInput.h"
#include "poi/ColumnSpec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString spec = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  const QList<ColumnSpecEntry> columns = ParseColumnSpec(spec);
  FUZZ_CHECK(columns.size() <= spec.count(u',') && columns.size() <= spec.count(u';') + 1);
  for (const ColumnSpecEntry& column : columns) FUZZ_CHECK(column.width >= 1);
  return 0;
}
