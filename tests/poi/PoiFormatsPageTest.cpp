#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <ctime>

#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFormatReader.h"
#include "support/TestSupport.h"
#include "text/ExtraTexts.h"
#include "text/UiTextTable.h"

// In French: a GPX joins the list with one report, the list goes out as KML, and a row the
// unit cannot keep stops an export and is shown.
TEST(PoiFormatsPage, ImportReportAndExport) {
  qputenv("TZ", "Europe/Paris");
  tzset();
  QTemporaryDir work;
  QStringList messages;
  QString chosen, chosenFilter;
  UiSeams::SetMessageHandler([&](const UiSeams::MessageRequest& request) {
    messages.append(request.text);
    return QMessageBox::Ok;
  });
  UiSeams::SetFileDialogHandler([&](const UiSeams::FileDialogRequest& request) {
    if (request.selectedFilter) *request.selectedFilter = chosenFilter;
    return chosen;
  });
  SetExtraTextLanguage(kLanguageFrench);
  CV700UpdaterDlg sheet;
  sheet.m_bUnitConnected = true;
  CPOITab& page = sheet.m_pagePOI;
  page.CreatePageWindow();
  CSortableListCtrl& list = *page.m_listPOI;
  EXPECT_EQ(page.m_btnExport->text(), u"Exporter"_qs);

  // The unit's POI on the bridge faces the other way than the device's.
  chosen = work.filePath(u"unit.txt"_qs);
  ASSERT_TRUE(TestSupport::WriteFile(chosen, "2015/07/14,10:30,48.85661,2.35222,90,\r\n"));
  page.ImportPoiFile();
  chosen = TestSupport::TestDataPath(u"poi/garmin-waypoints.gpx"_qs);
  page.ImportPoiFile();
  ASSERT_EQ(list.GetItemCount(), 4);
  EXPECT_EQ(list.GetItemText(3, 0), u"4"_qs);
  EXPECT_EQ(page.m_staticCount->text(), u"4"_qs);
  ASSERT_EQ(messages.size(), 1);
  const QRegularExpression report(u"^6 POI lus.* 3 ajoutés .* 2 ignorés car .* 1 ignorés comme doublons"_qs);
  EXPECT_TRUE(report.match(messages[0]).hasMatch()) << messages[0].toStdString();

  QList<PoiTexts> rows;
  for (int row = 0; row < list.GetItemCount(); ++row)
    rows.append({list.GetItemText(row, 1), list.GetItemText(row, 2), list.GetItemText(row, 3),
                 list.GetItemText(row, 4), list.GetItemText(row, 5)});
  chosen = work.filePath(u"out"_qs);
  chosenFilter = PoiSaveDialogFilter().split(u";;"_qs).value(2);  // KML
  page.OnExport();
  const QString exported = chosen + u".kml"_qs;
  EXPECT_EQ(ReadPoiFile(exported).pois, rows);

  list.SetItemText(1, 5, u"7"_qs);
  page.OnExport();  // the same name with the suffix added: asked, and not replaced
  list.SetItemText(1, 2, u"7h45"_qs);
  chosen = exported;
  page.OnExport();
  ASSERT_EQ(messages.size(), 3);
  EXPECT_TRUE(messages[1].endsWith(u"Voulez-vous le remplacer ?"_qs)) << messages[1].toStdString();
  EXPECT_TRUE(messages[2].startsWith(u"La ligne 2 "_qs)) << messages[2].toStdString();
  EXPECT_TRUE(list.IsItemSelected(1));
  EXPECT_EQ(ReadPoiFile(exported).pois, rows);  // the earlier export stays whole

  SetExtraTextLanguage(kLanguageEnglish);
  UiSeams::SetMessageHandler({});
  UiSeams::SetFileDialogHandler({});
}
