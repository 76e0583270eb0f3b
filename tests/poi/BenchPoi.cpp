// Figures of the POI list: importing a 10 000-line POI file into the page's list, and the
// slowest sort of that list by any column and direction. Prints "NAME VALUE UNIT" lines.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFile.h"

namespace {

constexpr int kRows = 10000;

QByteArray PoiFileOf(int rows) {
  QByteArray bytes;
  for (int i = 0; i < rows; ++i) {
    const PoiTexts poi{QString::asprintf("%04d/%02d/%02d", 2008 + i % 16, 1 + (i * 7) % 12, 1 + (i * 13) % 28),
                       QString::asprintf("%02d:%02d", (i * 5) % 24, (i * 11) % 60),
                       QString::asprintf("%.5f", ((i * 7919) % 18000000) / 100000.0 - 90.0),
                       QString::asprintf("%.5f", ((i * 104729) % 36000000) / 100000.0 - 180.0),
                       QString::number((i * 37) % 512)};
    bytes += PoiFile::FormatLine(poi);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("bench.txt"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(PoiFileOf(kRows)) < 0) return 1;
  file.close();

  UiSeams::SetMessageHandler([](const UiSeams::MessageRequest&) { return QMessageBox::Ok; });
  UiSeams::SetFileDialogHandler([&path](const UiSeams::FileDialogRequest&) { return path; });

  CV700UpdaterDlg sheet;
  CPOITab& page = sheet.m_pagePOI;
  page.CreatePageWindow();
  page.resize(600, 420);
  page.show();
  QCoreApplication::processEvents();

  QElapsedTimer timer;
  timer.start();
  page.ImportPoiFile();
  QCoreApplication::processEvents();  // the list shows the new rows
  const double importSeconds = timer.nsecsElapsed() / 1e9;
  if (page.m_listPOI->GetItemCount() != kRows) return 1;

  double slowestSortMs = 0.0;
  for (int column = 0; column < page.m_listPOI->GetColumnCount(); ++column) {
    for (bool ascending : {true, false}) {
      timer.restart();
      page.m_listPOI->SortByColumn(column, ascending);
      QCoreApplication::processEvents();
      slowestSortMs = std::max(slowestSortMs, timer.nsecsElapsed() / 1e6);
    }
  }
  std::printf("poi_import_10000 %.3f s\n", importSeconds);
  std::printf("poi_sort_max_10000 %.1f ms\n", slowestSortMs);
  return 0;
}
