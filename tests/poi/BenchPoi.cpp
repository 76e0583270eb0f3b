// Figures of the POI list: importing a 10 000-line POI file into the page's list, the
// slowest sort of that list by any column and direction, and importing the same POIs as a
// GPX file into the empty list. Prints "NAME VALUE UNIT" lines.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFormatWriter.h"
#include "text/ExtraTexts.h"

namespace {

constexpr int kRows = 10000;

QList<PoiTexts> Pois(int rows) {
  QList<PoiTexts> pois;
  for (int i = 0; i < rows; ++i) {
    pois.append({QString::asprintf("%04d/%02d/%02d", 2008 + i % 16, 1 + (i * 7) % 12, 1 + (i * 13) % 28),
                 QString::asprintf("%02d:%02d", (i * 5) % 24, (i * 11) % 60),
                 QString::asprintf("%.5f", ((i * 7919) % 18000000) / 100000.0 - 90.0),
                 QString::asprintf("%.5f", ((i * 104729) % 36000000) / 100000.0 - 180.0),
                 QString::number((i * 37) % 512)});
  }
  return pois;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The import's report is built from the shipped texts, as in the program.
  LoadExtraTexts(QCoreApplication::applicationDirPath() + u"/../data/"_qs + QLatin1String(kExtraTextFileName));
  QTemporaryDir dir;
  const QList<PoiTexts> pois = Pois(kRows);
  const QString textPath = dir.filePath(QStringLiteral("bench.txt"));
  const QString gpxPath = dir.filePath(QStringLiteral("bench.gpx"));
  for (const auto& [path, format] : {std::pair{textPath, PoiFormat::Text}, {gpxPath, PoiFormat::Gpx}}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(FormatPois(format, pois)) < 0) return 1;
  }
  QString path;
  UiSeams::SetMessageHandler([](const UiSeams::MessageRequest&) { return QMessageBox::Ok; });
  UiSeams::SetFileDialogHandler([&path](const UiSeams::FileDialogRequest&) { return path; });

  CV700UpdaterDlg sheet;
  CPOITab& page = sheet.m_pagePOI;
  page.CreatePageWindow();
  page.resize(600, 420);
  page.show();
  QCoreApplication::processEvents();

  // Seconds from the import until the emptied list shows the file's rows; -1 if it does not.
  QElapsedTimer timer;
  const auto importSeconds = [&](const QString& file) {
    path = file;
    page.m_listPOI->DeleteAllItems();
    timer.start();
    page.ImportPoiFile();
    QCoreApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    return page.m_listPOI->GetItemCount() == kRows ? seconds : -1.0;
  };
  const double textSeconds = importSeconds(textPath);
  double slowestSortMs = 0.0;
  for (int column = 0; column < page.m_listPOI->GetColumnCount(); ++column) {
    for (bool ascending : {true, false}) {
      timer.restart();
      page.m_listPOI->SortByColumn(column, ascending);
      QCoreApplication::processEvents();
      slowestSortMs = std::max(slowestSortMs, timer.nsecsElapsed() / 1e6);
    }
  }
  const double gpxSeconds = importSeconds(gpxPath);
  if (textSeconds < 0 || gpxSeconds < 0) return 1;

  std::printf("poi_import_10000 %.3f s\n", textSeconds);
  std::printf("poi_sort_max_10000 %.1f ms\n", slowestSortMs);
  std::printf("poi_import_gpx_10000 %.3f s\n", gpxSeconds);
  return 0;
}
