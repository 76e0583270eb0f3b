#pragma once

#include <QList>
#include <QString>
#include <vector>

#include "poi/PoiFileContent.h"
#include "poi/PoiTexts.h"

// Who reads a message: the window speaks of its list, the command line of the file and the
// unit.
enum class PoiAudience { Window, CommandLine };

// Which POIs of another tool's file join the list, and the report the user is given.
struct PoiImportReport {
  int read = 0;        // POIs the file holds
  int unfit = 0;       // skipped: a place the unit cannot keep
  int duplicates = 0;  // skipped: a POI already kept lies as near, facing the same way
  int noRoom = 0;      // left out: the unit's slots were all taken
  int undated = 0;     // of those added: given the unit's earliest time
  QList<PoiTexts> added;  // in file order

  bool operator==(const PoiImportReport&) const = default;
};

// A POI is skipped when the unit cannot keep its place, or when a row of the list, or a
// POI of the file kept before it, lies within 25 m with a heading within 30 degrees
// (headings count round the circle: 355 and 5 are 10 degrees apart). Of the POIs kept, the
// first `freeSlots` join the list (the rest are counted, and still count as kept for the
// duplicates after them); one without a time the unit can keep is given its earliest.
// Rows of the list that fail the check of a save count for nothing.
PoiImportReport SelectImportedPois(const QList<PoiTexts>& listRows, const std::vector<ToolPoi>& filePois,
                                   int freeSlots);

// The report of an import: one line, then a line for the POIs left out for lack of room
// and one for those given the earliest time, when there are any.
QString PoiImportReportText(const PoiImportReport& report, PoiAudience audience);

// What an import does to the list, for the page and the command line alike. The program's
// own file replaces the list line for line, checked only at the next save, as it always
// was; another tool's POIs join the list through SelectImportedPois, into the slots the
// list leaves free.
struct PoiImport {
  PoiFileContent::Status status = PoiFileContent::Read;
  qint64 errorLine = 0;
  bool bReplacesList = false;
  PoiImportReport report;  // report.added: the rows that go into the list
};
PoiImport PlanPoiImport(const QList<PoiTexts>& listRows, const PoiFileContent& content);

// The message for a file that could not be taken; empty for one that was read.
QString PoiFileErrorText(const PoiImport& import, const QString& path, PoiAudience audience);
