// Figures of the POI list ("NAME VALUE UNIT" lines): importing a 10 000-line POI file into the
// page's list, the slowest sort of that list by any column and direction, the same POIs as a
// GPX file, and a 50 MB GPX of a map tool (about 230 000 waypoints, 99 % of them within a few
// metres of 2 000 places), read into the list and written by `v770 poi write` as a whole
// process (no unit to be found: the run ends once the file is read and sifted).
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

#include "PoiTestSupport.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "text/ExtraTexts.h"

namespace {

constexpr int kRows = 10000;
constexpr qint64 kMapToolFileBytes = 50 * 1000 * 1000;
constexpr int kMapToolPlaces = 2000;
constexpr int kMapToolStrayPercent = 1;
constexpr double kFewMetres = 0.00006;
constexpr int kPeakPollMs = 5;

// A GPX as a device exports its waypoints: elevations, times, names, symbols.
QByteArray MapToolGpx() {
  constexpr char kWaypoint[] =
      "  <wpt lat=\"%.6f\" lon=\"%.6f\">\n    <ele>%.1f</ele>\n    <time>2021-%02d-%02dT%02d:%02d:00Z</time>\n"
      "    <name>Camera %d</name>\n    <sym>Flag, Blue</sym>\n    <type>Fixed speed camera</type>\n  </wpt>\n";
  QRandomGenerator random(770);
  const auto anywhere = [&random] { return std::pair{random.bounded(140.0) - 70.0, random.bounded(360.0) - 180.0}; };
  QList<std::pair<double, double>> places;
  for (int i = 0; i < kMapToolPlaces; ++i) places.append(anywhere());
  QByteArray gpx =
      "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" version=\"1.1\">\n";
  for (int i = 0; gpx.size() < kMapToolFileBytes; ++i) {
    const bool stray = random.bounded(100) < kMapToolStrayPercent;
    const auto [lat, lon] = stray ? anywhere() : places[i % kMapToolPlaces];
    gpx += QString::asprintf(kWaypoint, lat + random.bounded(kFewMetres), lon + random.bounded(kFewMetres),
                             random.bounded(900.0), 1 + i % 12, 1 + i % 28, i % 24, i % 60, i)
               .toLatin1();
  }
  return gpx + "</gpx>\n";
}

// The peak memory in MB of a process ("self": this one) since it started, or since the
// last reset of this one (Linux); -1 when it cannot be told.
double PeakMegabytes(const QString& process = QStringLiteral("self")) {
  QFile status(u"/proc/"_qs + process + u"/status"_qs);
  const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
  for (const QByteArray& line : text.split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return -1;
}
void ResetPeakMemory() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

// `v770 poi write` of the file, in the folder of the shipped texts and with no unit to be
// found: seconds and peak megabytes of the whole process, or -1 when it did not report on the
// file and stop at the missing unit.
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
  double peak = -1;  // its high-water mark, looked at until it ends: the mark only grows
  const QString pid = QString::number(v770.processId());
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
  const QList<PoiTexts> pois = PoiTest::ValidPois(kRows);
  const QString textPath = dir.filePath(u"bench.txt"_qs), gpxPath = dir.filePath(u"bench.gpx"_qs);
  const QString mapToolPath = dir.filePath(u"map-tool.gpx"_qs);
  for (const auto& [path, bytes] : {std::pair{textPath, FormatPois(PoiFormat::Text, pois)},
                                    {gpxPath, FormatPois(PoiFormat::Gpx, pois)},
                                    {mapToolPath, MapToolGpx()}})
    if (!TestSupport::WriteFile(path, bytes)) return 1;
  QString path;
  UiSeams::SetMessageHandler([](const UiSeams::MessageRequest&) { return QMessageBox::Ok; });
  UiSeams::SetFileDialogHandler([&path](const UiSeams::FileDialogRequest&) { return path; });
  CV700UpdaterDlg sheet;
  CPOITab& page = sheet.m_pagePOI;
  page.CreatePageWindow();
  CSortableListCtrl& list = *page.m_listPOI;
  page.resize(600, 420);
  page.show();
  QCoreApplication::processEvents();

  // Seconds from the import until the emptied list shows `rows` rows; -1 if it does not.
  QElapsedTimer timer;
  const auto importSeconds = [&](const QString& file, int rows) {
    path = file;
    list.DeleteAllItems();
    timer.start();
    page.ImportPoiFile();
    while (page.IsTaskRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    return list.GetItemCount() == rows ? timer.nsecsElapsed() / 1e9 : -1.0;
  };
  const double textSeconds = importSeconds(textPath, kRows);
  double slowestSortMs = 0.0;
  for (int column = 0; column < list.GetColumnCount() * 2; ++column) {
    timer.restart();
    list.SortByColumn(column / 2, column % 2);
    QCoreApplication::processEvents();
    slowestSortMs = std::max(slowestSortMs, timer.nsecsElapsed() / 1e6);
  }
  const double gpxSeconds = importSeconds(gpxPath, PoiConstants::kSlotCount);
  ResetPeakMemory();
  const double mapToolSeconds = importSeconds(mapToolPath, PoiConstants::kSlotCount);
  const double mapToolPeak = PeakMegabytes();
  const auto [writeSeconds, writePeak] = CommandLineWrite(mapToolPath, dir.path());
  if (textSeconds < 0 || gpxSeconds < 0 || mapToolSeconds < 0 || writeSeconds < 0) return 1;
  std::printf("poi_import_10000 %.3f s\npoi_sort_max_10000 %.1f ms\npoi_import_gpx_10000 %.3f s\n", textSeconds,
              slowestSortMs, gpxSeconds);
  std::printf("poi_import_gpx_50MB %.3f s\npoi_import_gpx_50MB_peak_MB %.0f MB\n", mapToolSeconds, mapToolPeak);
  std::printf("poi_write_gpx_50MB %.3f s\npoi_write_gpx_50MB_peak_MB %.0f MB\n", writeSeconds, writePeak);
  return 0;
}
