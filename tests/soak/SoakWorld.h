#pragma once

#include <QDirIterator>
#include <QJsonDocument>
#include <QRandomGenerator64>
#include <filesystem>
#include <random>

#include "app/VersionFile.h"
#include "poi/PoiTestSupport.h"
#include "soak/StepLog.h"
#include "support/FtpServer.h"
#include "support/UnitEmulator.h"
#include "unitsim/UnitState.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateTestSupport.h"

namespace soak {
using TestSupport::BinPath;
using TestSupport::ReadFile;
using TestSupport::WriteFile;

inline qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

template <typename List>
auto AnyOf(QRandomGenerator64& random, const List& list) {
  return list[qsizetype(random.bounded(quint64(std::size(list))))];
}
// A row of a table, each as often as its `weight`.
template <typename Row, std::size_t N>
const Row& Weighted(QRandomGenerator64& random, const Row (&rows)[N]) {
  std::array<int, N> weights;
  std::transform(rows, rows + N, weights.begin(), [](const Row& row) { return row.weight; });
  return rows[std::discrete_distribution<std::size_t>(weights.begin(), weights.end())(random)];
}

// The unit as the emulator tells it: the truth the program's reports are checked against.
struct UnitView {
  bool answered = false, plugged = false, restarting = false;
  bool linkNormal = false;  // plugged in, not stalled, replies at full speed
  UnitState state;

  explicit UnitView(const QJsonObject& status = {})
      : answered(!status.isEmpty()),
        plugged(status["plugged"_L1].toBool()),
        restarting(status["restarting"_L1].toBool()),
        state(UnitState::FromJson(status, nullptr).value_or(UnitState())) {
    const QJsonObject link = status["link"_L1].toObject();
    linkNormal = plugged && link["stallMs"_L1].toInt() == 0 && link["replyDelayMs"_L1].toInt() == 0 &&
                 link["rateBytesPerSecond"_L1].toInt() == 0;
  }
  // The unit runs the package's version (a database of its area, a voice of its language).
  bool Holds(const PackageHeader& header) const {
    UnitState installed = state;
    installed.Install(header);
    return installed.VersionReply() == state.VersionReply();
  }
  // It runs for the package's kind what `other` ran.
  bool SameKind(const UnitView& other, int kind) const {
    const QList<int> bytes = kind == PackageHeader::kDatabase ? QList<int>{0, 1, 2, 3}
                             : kind == PackageHeader::kVoice  ? QList<int>{7, 8, 9, 11}
                                                              : QList<int>{5, 6};
    return std::all_of(bytes.begin(), bytes.end(), [&](int i) { return Reply(i) == other.Reply(i); });
  }
  int Reply(std::size_t byte) const { return std::int8_t(state.VersionReply()[byte]); }
  QString Versions() const {
    QStringList bytes;
    for (std::size_t i = 0; i < UnitState::kReplySize; ++i) bytes << QString::number(Reply(i));
    return u"the unit's reply "_s + bytes.join(' ');
  }
};

// Everything around the window: its working folder and the files a user picks, the emulated
// unit, the update server over its own copy of the packages, and the faults put on them.
class SoakWorld {
 public:
  QStringList importFiles;    // POI files of every kind the POI page reads, some broken
  QStringList ownPoiFiles;    // the program's own POI files, of POIs the unit keeps
  QStringList recoveryFiles;  // a firmware, a database, a damaged firmware, a text, none
  VersionInfo catalogue;
  UnitEmulator unit;
  int unplugs = 0;  // cables pulled by a fault

  SoakWorld(QRandomGenerator64& random, StepLog& log) : m_random(random), m_log(log) {}

  // Folders, files, unit and server in `root`; the reason when something failed.
  QString Start(const QString& root) {
    m_work = root + "/work"_L1;
    m_tree = root + "/ftp"_L1;
    m_log.foldersToRemove = {root.toStdString(), unit.Folder().toStdString()};
    std::error_code error;
    std::filesystem::copy(BinPath(u"../data/ftp"_s).toStdString(), m_tree.toStdString(),
                          std::filesystem::copy_options::recursive, error);
    if (error || !QDir().mkpath(m_work + "/recovery"_L1)) return u"cannot lay the folders"_s;
    for (const char* name : {"V770UIText_New_v12.txt", "V770UIText_Extra_v12.txt", "V770_VersionInfo_v12.txt",
                             "demo/V770_manualPack.PCK"})
      if (!QFile::copy(BinPath("../data/"_L1 + QLatin1String(name)), WorkPath(QFileInfo(name).fileName())))
        return u"no data files"_s;
    if (!ReadVersionFile(WorkPath(u"V770_VersionInfo_v12.txt"_s), catalogue)) return u"no catalogue"_s;
    for (QDirIterator it(m_tree, {u"*.hdr"_s}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
      if (const auto header = HeaderOfFile(it.next()))
        m_packages.insert(it.fileInfo().completeBaseName(), *header);
    MakeFiles();
    if (!unit.Start(QJsonDocument::fromJson(ReadFile(BinPath(u"../data/demo-unit-state.json"_s))).object()))
      return u"the emulated unit did not start"_s;
    return StartServer() ? QString() : u"the update server did not start"_s;
  }
  QString WorkPath(const QString& name = {}) const { return m_work + '/' + name; }
  UnitView Unit() { return UnitView(unit.Status()); }

  // A package's header: the server's pristine copy by base name, else the file's first bytes.
  std::optional<PackageHeader> Header(const QString& pathOrName) const {
    const QFileInfo file(pathOrName);
    if (file.dir().dirName() != "recovery"_L1 && m_packages.contains(file.completeBaseName()))
      return m_packages.value(file.completeBaseName());
    return HeaderOfFile(pathOrName);
  }
  // The catalogue's package of a name ("France", "German") in one of its lists.
  std::optional<PackageHeader> CataloguePackage(const QList<VersionEntry>& list, const QString& name) const {
    const VersionEntry* entry = UpdateCatalogue::FindEntry(list, name);
    return entry ? Header(entry->strText) : std::nullopt;
  }

  // A random fault, described for the log.
  QString InjectFault() {
    struct Fault {
      const char* name;
      int weight;
      QString (*apply)(SoakWorld& w);
    };
    static const Fault kFaults[] = {
        // Mostly a cable pulled and pushed back a moment later (unless plugged in meanwhile).
        {"unplug", 4,
         [](SoakWorld& w) {
           w.unit.Client().Unplug();
           ++w.unplugs;
           w.LinkChanged();
           if (!w.m_random.bounded(4)) return QString();
           const int ms = w.m_random.bounded(300, kReplugMaxMs);
           QTimer::singleShot(ms, [&w, plugs = w.m_plugs] {
             if (plugs == w.m_plugs) w.unit.Client().Plug(), w.LinkChanged();
           });
           return u"for %1 ms"_s.arg(ms);
         }},
        {"plug", 3,
         [](SoakWorld& w) { return ++w.m_plugs, w.unit.Client().Plug(), w.LinkChanged(), QString(); }},
        {"stall", 3,
         [](SoakWorld& w) {
           const int ms = w.m_random.bounded(500, kStallMaxMs);
           return w.LinkChanged(w.unit.Client().Stall(ms) ? ms : 0), QString::number(ms);
         }},
        {"reply-delay", 2,
         [](SoakWorld& w) {
           const int ms = w.m_random.bounded(2) ? w.m_random.bounded(kReplyDelayMaxMs) : 0;
           return w.unit.Client().ReplyDelay(ms), w.LinkChanged(), QString::number(ms);
         }},
        {"rate", 2,
         [](SoakWorld& w) {
           const int rate = w.m_random.bounded(4) ? AnyOf(w.m_random, kRates) : 0;
           return w.unit.Client().Rate(rate), w.LinkChanged(), QString::number(rate);
         }},
        {"server-stop", 2, [](SoakWorld& w) { return w.m_ftp.Stop(), w.m_serverDown = true, QString(); }},
        {"server-start", 2, [](SoakWorld& w) { return w.m_serverDown && w.StartServer(), QString(); }},
        // The server takes connections and never answers (its process stopped).
        {"server-hang", 1, [](SoakWorld& w) { return w.m_serverDown |= w.m_ftp.Pause(), QString(); }},
        {"package-broken", 2,
         [](SoakWorld& w) {
           if (!w.m_brokenPackage.isEmpty()) return QString();
           const QString name = AnyOf(w.m_random, w.m_packages.keys()) + ".hdr"_L1;
           w.m_brokenPackage =
               QDirIterator(w.m_tree, {name}, QDir::Files, QDirIterator::Subdirectories).next();
           w.m_brokenOriginal = ReadFile(w.m_brokenPackage);
           if (w.m_random.bounded(2)) return QFile::remove(w.m_brokenPackage), name + " missing"_L1;
           WriteFile(w.m_brokenPackage, UpdateTestSupport::CorruptPackage(w.m_brokenOriginal));
           return name + " damaged"_L1;
         }},
        {"disk-full", 1, [](SoakWorld& w) { return w.SetDiskFull(AnyOf(w.m_random, kDiskLimits)); }},
        {"disk-freed", 2, [](SoakWorld& w) { return w.SetDiskFull(-1), QString(); }},
    };
    const Fault& fault = Weighted(m_random, kFaults);
    ++m_log.faults;
    const QString detail = fault.apply(*this);
    return QLatin1String(fault.name) + (detail.isEmpty() ? QString() : ' ' + detail);
  }
  void UndoFaults() {
    SetDiskFull(-1);
    if (!m_brokenPackage.isEmpty()) WriteFile(m_brokenPackage, m_brokenOriginal), m_brokenPackage.clear();
    if (m_serverDown) StartServer();
    ++m_plugs;
    unit.Client().Plug(), unit.Client().Stall(0), unit.Client().ReplyDelay(0), unit.Client().Rate(0);
    m_linkQuietFrom = Now();
  }
  // The unit has been plugged in, answering at full speed, this long.
  bool LinkNormalFor(const UnitView& view, int ms) const {
    return view.linkNormal && Now() - m_linkQuietFrom >= ms;
  }

 private:
  static constexpr int kStallMaxMs = 25000;  // sometimes beyond the program's 20 s watchdog
  static constexpr int kReplugMaxMs = 6000;
  static constexpr int kReplyDelayMaxMs = 3000;
  static constexpr int kRates[] = {30000, 100000, 400000};   // bytes per second of a slow link
  static constexpr qint64 kDiskLimits[] = {0, 4096, 60000};  // bytes a file may grow to on a full disk

  static std::optional<PackageHeader> HeaderOfFile(const QString& path) {
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.read(PackageHeader::kSize) : QByteArray();
    return PackageHeader::Parse(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                std::size_t(bytes.size()), nullptr);
  }

  bool StartServer() {
    m_serverDown = false;
    const qint64 diskLimit = m_diskLimit;  // the server's log must not hit the soak's full disk
    SetDiskFull(-1);
    const bool started = m_ftp.Start(m_tree);
    SetDiskFull(diskLimit);
    if (started) qputenv("V770_UPDATE_SERVER", (m_ftp.BaseUrl() + UpdateCatalogue::kServerPath).toUtf8());
    return started;
  }

  // POI files of every kind, some broken (a POI the unit cannot keep, more POIs than its slots, a
  // picture named as GPX, an empty CSV file), and the files a recovery may be given.
  void MakeFiles() {
    const auto pois = [this](int count) {  // of the unit's range, from a random place in it
      const int first = m_random.bounded(1000);
      return PoiTest::ValidPois(first + count).mid(first);
    };
    const auto write = [this](const char* name, PoiFormat format, const QList<PoiTexts>& rows) {
      WritePoiFile(WorkPath(QLatin1String(name)), format, rows);
      return WorkPath(QLatin1String(name));
    };
    for (const char* name : {"mine_0.txt", "mine_1.txt", "mine_2.txt"})
      ownPoiFiles << write(name, PoiFormat::Text, pois(m_random.bounded(2, 25)));
    importFiles = ownPoiFiles;
    for (const auto& [name, format] :
         {std::pair{"trip.gpx", PoiFormat::Gpx}, {"trip.kml", PoiFormat::Kml}, {"trip.csv", PoiFormat::Csv}})
      importFiles << write(name, format, pois(m_random.bounded(2, 40)));
    QList<PoiTexts> unkept = pois(5);
    unkept[2].date = u"2031/01/01"_s;
    UpdateTestSupport::MakeZip(WorkPath(u"trip.kmz"_s), {{u"doc.kml"_s, ReadFile(WorkPath(u"trip.kml"_s))}});
    WriteFile(WorkPath(u"photo.gpx"_s), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    WriteFile(WorkPath(u"empty.csv"_s), {});
    importFiles << WorkPath(u"trip.kmz"_s) << write("unkept.txt", PoiFormat::Text, unkept)
                << write("many.txt", PoiFormat::Text, pois(120)) << WorkPath(u"photo.gpx"_s)
                << WorkPath(u"empty.csv"_s);
    const QString server = m_tree + UpdateCatalogue::kServerPath, firmware = server + "/FW/%1.hdr"_L1;
    for (const char* name : {"V770_FW_v0106.hdr", "database.hdr", "damaged_fw.hdr", "notes.hdr", "gone.hdr"})
      recoveryFiles << WorkPath("recovery/"_L1 + QLatin1String(name));
    QFile::copy(firmware.arg(catalogue.strFWFile), recoveryFiles[0]);
    QFile::copy(server + "/DB/%1.hdr"_L1.arg(catalogue.listDB.value(0).strText), recoveryFiles[1]);
    WriteFile(recoveryFiles[2],
              UpdateTestSupport::CorruptPackage(ReadFile(firmware.arg(catalogue.strFWFile))));
    WriteFile(recoveryFiles[3], "not a package\n");
  }

  // The link changed: it is quiet from now, or from the end of a stall `stallMs` long.
  void LinkChanged(int stallMs = 0) { m_linkQuietFrom = std::max(m_linkQuietFrom, Now() + stallMs); }

  // The most a file of this process may grow to (-1: no limit); the limit for the log.
  QString SetDiskFull(qint64 limit) {
    m_fullDisk.reset();
    if (limit >= 0) m_fullDisk.emplace(rlim_t(limit));
    m_diskLimit = limit;
    return QString::number(limit);
  }

  QRandomGenerator64& m_random;
  StepLog& m_log;
  QString m_work, m_tree;
  TestSupport::FtpServer m_ftp;
  QMap<QString, PackageHeader> m_packages;  // by base name, from the pristine server tree
  bool m_serverDown = false;
  qint64 m_linkQuietFrom = 0, m_diskLimit = -1;
  std::optional<UpdateTestSupport::FullDisk> m_fullDisk;
  int m_plugs = 0;          // times the unit was plugged in on purpose
  QString m_brokenPackage;  // one of the served tree, damaged or taken away
  QByteArray m_brokenOriginal;
};

}  // namespace soak
