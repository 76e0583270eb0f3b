// Figures of the POI list: importing a 10 000-line POI file into the page's list, the
// slowest sort of that list by any column and direction, importing the same POIs as a GPX
// file into the empty list, and a 50 MB GPX of a map tool (about 230 000 waypoints, 99 % of
// them within a few metres of 2 000 places): read into the window's list, and written to
// the unit by `v770 poi write` as a whole process (the unit left unplugged, so the run ends
// once the file is read and sifted). Prints "NAME VALUE UNIT" lines.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
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
constexpr qint64 kMapToolFileBytes = 50 * 1000 * 1000;
constexpr int kMapToolPlaces = 2000;
constexpr int kMapToolStrayPercent = 1;
constexpr int kPeakPollMs = 5;

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

// A GPX as a device exports its waypoints: elevations, times, names, symbols.
QByteArray MapToolGpx() {
  QRandomGenerator random(770);
  const auto anywhere = [&random] { return std::pair{random.bounded(140.0) - 70.0, random.bounded(360.0) - 180.0}; };
  QList<std::pair<double, double>> places;
  for (int i = 0; i < kMapToolPlaces; ++i) places.append(anywhere());
  QByteArray gpx = "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" version=\"1.1\" creator=\"B\">\n";
  for (int i = 0; gpx.size() < kMapToolFileBytes; ++i) {
    const auto [latitude, longitude] = random.bounded(100) < kMapToolStrayPercent ? anywhere() : places[i % kMapToolPlaces];
    constexpr double kFewMetres = 0.00006;
    gpx += QString::asprintf("  <wpt lat=\"%.6f\" lon=\"%.6f\">\n    <ele>%.1f</ele>\n    <time>2021-%02d-%02dT%02d:%02d:00Z</time>\n"
                             "    <name>Camera %d</name>\n    <sym>Flag, Blue</sym>\n    <type>Fixed speed camera</type>\n  </wpt>\n",
                             latitude + random.bounded(kFewMetres), longitude + random.bounded(kFewMetres),
                             random.bounded(900.0), 1 + i % 12, 1 + i % 28, i % 24, i % 60, i)
               .toLatin1();
  }
  return gpx + "</gpx>\n";
}

// The peak memory of a process ("self": this one) since it started or its last reset (Linux).
void ResetPeakMemory() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}
double PeakMegabytes(const QString& process = QStringLiteral("self")) {
  QFile status(u"/proc/"_qs + process + u"/status"_qs);
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return -1;
}

// `v770 poi write` of the file, in the folder of the shipped texts and with no unit to be
// found (it writes nothing): seconds and peak megabytes of the whole process, or -1 when it
// did not report on the file and stop at the missing unit.
std::pair<double, double> CommandLineWrite(const QString& file, const QString& privateFolder) {
  QProcess v770;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("V770_UNIT_SOCKET"), privateFolder + u"/no-unit.sock"_qs);
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), privateFolder);
  v770.setProcessEnvironment(env);
  v770.setWorkingDirectory(QCoreApplication::applicationDirPath() + u"/../data"_qs);
  QElapsedTimer timer;
  timer.start();
  v770.start(QCoreApplication::applicationDirPath() + u"/v770"_qs, {u"poi"_qs, u"write"_qs, file});
  // Its high-water mark, looked at until it ends: the mark only grows.
  const QString pid = QString::number(v770.processId());
  double peak = -1;
  while (!v770.waitForFinished(kPeakPollMs)) peak = std::max(peak, PeakMegabytes(pid));
  const double seconds = timer.nsecsElapsed() / 1e9;
  const bool reported = v770.exitCode() == 1 && !v770.readAllStandardOutput().isEmpty();
  return reported ? std::pair{seconds, peak} : std::pair{-1.0, -1.0};
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
  const QString mapToolPath = dir.filePath(QStringLiteral("map-tool.gpx"));
  for (const auto& [path, bytes] : {std::pair{textPath, FormatPois(PoiFormat::Text, pois)},
                                    {gpxPath, FormatPois(PoiFormat::Gpx, pois)}, {mapToolPath, MapToolGpx()}}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0) return 1;
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

  // Seconds from the import until the emptied list shows `rows` rows; -1 if it does not.
  QElapsedTimer timer;
  const auto importSeconds = [&](const QString& file, int rows) {
    path = file;
    page.m_listPOI->DeleteAllItems();
    timer.start();
    page.ImportPoiFile();
    while (page.IsTaskRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    return page.m_listPOI->GetItemCount() == rows ? seconds : -1.0;
  };
  const double textSeconds = importSeconds(textPath, kRows);
  double slowestSortMs = 0.0;
  for (int column = 0; column < page.m_listPOI->GetColumnCount(); ++column) {
    for (bool ascending : {true, false}) {
      timer.restart();
      page.m_listPOI->SortByColumn(column, ascending);
      QCoreApplication::processEvents();
      slowestSortMs = std::max(slowestSortMs, timer.nsecsElapsed() / 1e6);
    }
  }
  const double gpxSeconds = importSeconds(gpxPath, PoiConstants::kSlotCount);
  ResetPeakMemory();
  const double mapToolSeconds = importSeconds(mapToolPath, PoiConstants::kSlotCount);
  const double mapToolPeak = PeakMegabytes();
  const auto [writeSeconds, writePeak] = CommandLineWrite(mapToolPath, dir.path());
  if (textSeconds < 0 || gpxSeconds < 0 || mapToolSeconds < 0 || writeSeconds < 0) return 1;

  std::printf("poi_import_10000 %.3f s\n", textSeconds);
  std::printf("poi_sort_max_10000 %.1f ms\n", slowestSortMs);
  std::printf("poi_import_gpx_10000 %.3f s\n", gpxSeconds);
  std::printf("poi_import_gpx_50MB %.3f s\n", mapToolSeconds);
  std::printf("poi_import_gpx_50MB_peak_MB %.0f MB\n", mapToolPeak);
  std::printf("poi_write_gpx_50MB %.3f s\n", writeSeconds);
  std::printf("poi_write_gpx_50MB_peak_MB %.0f MB\n", writePeak);
  return 0;
}
