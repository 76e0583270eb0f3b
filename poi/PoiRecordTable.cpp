#include "poi/PoiRecordTable.h"

PoiRecordTable& ThePoiRecordTable() {
  static PoiRecordTable table;
  return table;
}
