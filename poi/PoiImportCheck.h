#pragma once

#include <QList>
#include <QString>

#include "poi/PoiFormatReader.h"
#include "poi/PoiTexts.h"

// Which POIs of another tool's file join the list, and the report the user is given.
struct PoiImportReport {
  int read = 0;           // POIs the file holds
  int unfit = 0;          // skipped: a field the unit cannot keep (the check of a save)
  int duplicates = 0;     // skipped: a POI already kept lies as near, facing the same way
  QList<PoiTexts> added;  // in file order

  bool operator==(const PoiImportReport&) const = default;
};

// A POI joins when CheckPoiTexts passes and no row of the list, nor a POI joined earlier
// from the file, lies within 25 m with a heading within 30 degrees (headings count round
// the circle: 355 and 5 are 10 degrees apart). Rows of the list that fail the check count
// for nothing.
PoiImportReport SelectImportedPois(const QList<PoiTexts>& listRows, const QList<PoiTexts>& filePois);

// The one message of an import, in the current language.
QString PoiImportReportText(const PoiImportReport& report);

// What an import does to the list, for the page and the command line alike. The program's
// own file replaces the list line for line, checked only at the next save, as it always
// was; another tool's POIs join the list through SelectImportedPois, with its report.
struct PoiImport {
  bool bReplacesList = false;
  PoiImportReport report;  // report.added: the rows that go into the list
};
PoiImport PlanPoiImport(const QList<PoiTexts>& listRows, const PoiFileContent& content);
