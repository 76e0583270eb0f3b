#include "soak/SoakWorld.h"

#include <sys/resource.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <csignal>
#include <filesystem>

#include "poi/PoiFormatWriter.h"
#include "support/TestSupport.h"
#include "update/UpdateCatalogue.h"
#include "update/UpdateTestSupport.h"

using namespace Qt::StringLiterals;
using TestSupport::BinPath;

namespace {
constexpr int kTooManyRows = 120;   // more than the unit's 100 slots
constexpr int kStallMaxMs = 25000;  // sometimes beyond the program's 20 s watchdog
constexpr int kReplugMaxMs = 6000;
constexpr int kReplyDelayMaxMs = 3000;
constexpr int kRates[] = {30000, 100000, 400000};   // bytes per second of a slow link
constexpr qint64 kDiskLimits[] = {0, 4096, 60000};  // bytes a file may grow to on a full disk
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
std::string g_folders[2];  // removed by EmergencyCleanup

qint64 Now() { return QDateTime::currentMSecsSinceEpoch(); }

std::optional<PackageHeader> HeaderOfFile(const QString& path) {
  QFile file(path);
  const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.read(PackageHeader::kSize) : QByteArray();
  return PackageHeader::Parse(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              std::size_t(bytes.size()), nullptr);
}

QList<PoiTexts> RandomPois(QRandomGenerator64& r, int count) {
  const auto degrees = [&r](int max) {
    return QString::number(double(r.bounded(-max * 100000, max * 100000)) / 1e5, 'f', 5);
  };
  QList<PoiTexts> pois;
  while (pois.size() < count)
    pois.append({QDate(r.bounded(2008, 2024), r.bounded(1, 13), r.bounded(1, 29)).toString(u"yyyy/MM/dd"_s),
                 QTime(r.bounded(24), r.bounded(60)).toString(u"HH:mm"_s), degrees(89), degrees(179),
                 QString::number(r.bounded(360))});
  return pois;
}

QList<int> ReplyBytesOf(int kind) {
  return kind == PackageHeader::kDatabase ? QList<int>{0, 1, 2, 3}
         : kind == PackageHeader::kVoice  ? QList<int>{11, 7, 8, 9}
                                          : QList<int>{5, 6};
}
}  // namespace

bool UnitView::Holds(const PackageHeader& header) const {
  const QList<int> bytes = ReplyBytesOf(header.kind);
  QList<int> expected{header.areaOrLanguage, header.version[0], header.version[1], header.version[2]};
  if (header.kind == PackageHeader::kFirmware) expected.removeFirst();
  for (qsizetype i = 0; i < bytes.size(); ++i)
    if (std::uint8_t(reply[std::size_t(bytes[i])]) != expected[i]) return false;
  return true;
}

bool UnitView::SameKind(const UnitView& other, int kind) const {
  const QList<int> bytes = ReplyBytesOf(kind);
  return std::all_of(bytes.begin(), bytes.end(),
                     [&](int i) { return reply[std::size_t(i)] == other.reply[std::size_t(i)]; });
}

QString UnitView::Versions() const {
  QStringList bytes;
  for (int byte : reply) bytes << QString::number(byte);
  return u"the unit's reply "_s + bytes.join(' ');
}

QList<QByteArray> UnitView::StoredPois() const {
  QList<QByteArray> stored;
  for (const QByteArray& slot : poiSlots)
    if (slot.count('\0') != slot.size()) stored.append(slot);
  return stored;
}

QString SoakWorld::Start(const QString& root) {
  m_work = root + "/work"_L1;
  m_tree = root + "/ftp"_L1;
  g_folders[0] = root.toStdString();
  g_folders[1] = m_unit.Folder().toStdString();
  std::error_code error;
  std::filesystem::copy(BinPath(u"../data/ftp"_s).toStdString(), m_tree.toStdString(),
                        std::filesystem::copy_options::recursive, error);
  if (error || !QDir().mkpath(m_work + "/recovery"_L1)) return u"cannot lay the folders"_s;
  for (const char* name : {"V770UIText_New_v12.txt", "V770UIText_Extra_v12.txt", "V770_VersionInfo_v12.txt",
                           "demo/V770_manualPack.PCK"})
    if (!QFile::copy(BinPath("../data/"_L1 + QLatin1String(name)), WorkPath(QFileInfo(name).fileName())))
      return u"no data files"_s;
  if (!ReadVersionFile(WorkPath(u"V770_VersionInfo_v12.txt"_s), m_catalogue)) return u"no catalogue"_s;
  for (QDirIterator it(m_tree, {u"*.hdr"_s}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
    const QString path = it.next();
    if (const auto header = HeaderOfFile(path))
      m_packages.insert(QFileInfo(path).completeBaseName(), *header);
  }
  MakeFiles();
  if (!m_unit.Start(QJsonDocument::fromJson(TestSupport::ReadFile(BinPath(u"../data/demo-unit-state.json"_s)))
                        .object()))
    return u"the emulated unit did not start"_s;
  return StartServer() ? QString() : u"the update server did not start"_s;
}

bool SoakWorld::StartServer() {
  m_serverDown = false;
  const qint64 diskLimit = m_diskLimit;  // the server's log must not hit the soak's full disk
  SetDiskFull(-1);
  const bool started = m_ftp.Start(m_tree);
  SetDiskFull(diskLimit);
  if (!started) return false;
  qputenv("V770_UPDATE_SERVER", (m_ftp.BaseUrl() + UpdateCatalogue::kServerPath).toUtf8());
  return true;
}

void SoakWorld::MakeFiles() {
  const auto write = [this](const QString& name, PoiFormat format, const QList<PoiTexts>& rows) {
    WritePoiFile(WorkPath(name), format, rows);
    return WorkPath(name);
  };
  for (const QString name : {u"mine_0.txt"_s, u"mine_1.txt"_s, u"mine_2.txt"_s})
    ownPoiFiles << write(name, PoiFormat::Text, RandomPois(m_random, m_random.bounded(2, 25)));
  importFiles = ownPoiFiles;
  for (const auto& [name, format] : {std::pair{u"trip.gpx"_s, PoiFormat::Gpx},
                                     {u"trip.kml"_s, PoiFormat::Kml},
                                     {u"trip.csv"_s, PoiFormat::Csv}})
    importFiles << write(name, format, RandomPois(m_random, m_random.bounded(2, 40)));
  if (UpdateTestSupport::MakeZip(WorkPath(u"trip.kmz"_s),
                                 {{u"doc.kml"_s, TestSupport::ReadFile(WorkPath(u"trip.kml"_s))}}))
    importFiles << WorkPath(u"trip.kmz"_s);
  QList<PoiTexts> unkept = RandomPois(m_random, 5);
  unkept[2].date = u"2031/01/01"_s;
  importFiles << write(u"unkept.txt"_s, PoiFormat::Text, unkept)
              << write(u"many.txt"_s, PoiFormat::Text, RandomPois(m_random, kTooManyRows));
  TestSupport::WriteFile(WorkPath(u"photo.gpx"_s), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  TestSupport::WriteFile(WorkPath(u"empty.csv"_s), {});
  importFiles << WorkPath(u"photo.gpx"_s) << WorkPath(u"empty.csv"_s);

  const QString server = m_tree + UpdateCatalogue::kServerPath;
  const QString firmware = server + "/FW/%1.hdr"_L1.arg(m_catalogue.strFWFile);
  for (const QString name :
       {u"V770_FW_v0106.hdr"_s, u"database.hdr"_s, u"damaged_fw.hdr"_s, u"notes.hdr"_s, u"gone.hdr"_s})
    recoveryFiles << WorkPath("recovery/"_L1 + name);
  QFile::copy(firmware, recoveryFiles[0]);
  QFile::copy(server + "/DB/%1.hdr"_L1.arg(m_catalogue.listDB.value(0).strText), recoveryFiles[1]);
  QByteArray damaged = TestSupport::ReadFile(firmware);
  damaged[PackageHeader::kPayloadOffset] = char(~damaged[PackageHeader::kPayloadOffset]);
  TestSupport::WriteFile(recoveryFiles[2], damaged);
  TestSupport::WriteFile(recoveryFiles[3], "not a package\n");
}

std::optional<PackageHeader> SoakWorld::Header(const QString& pathOrName) const {
  const QFileInfo file(pathOrName);
  if (file.dir().dirName() != "recovery"_L1 && m_packages.contains(file.completeBaseName()))
    return m_packages.value(file.completeBaseName());
  return HeaderOfFile(pathOrName);
}

std::optional<PackageHeader> SoakWorld::CataloguePackage(const QList<VersionEntry>& list,
                                                         const QString& name) const {
  const VersionEntry* entry = UpdateCatalogue::FindEntry(list, name);
  return entry ? Header(entry->strText) : std::nullopt;
}

UnitView SoakWorld::Unit() {
  const QJsonObject status = m_unit.Status();
  UnitView unit{!status.isEmpty(), status["plugged"_L1].toBool(), status["restarting"_L1].toBool()};
  unit.speedUnit = status["speedUnit"_L1].toInt(-1);
  const QJsonArray bytes = status["version"_L1]["bytes"_L1].toArray();
  for (qsizetype i = 0; i < bytes.size() && i < qsizetype(unit.reply.size()); ++i)
    unit.reply[std::size_t(i)] = bytes[i].toInt();
  for (const QJsonValue& slot : status["poi"_L1]["slots"_L1].toArray())
    unit.poiSlots.append(QByteArray::fromHex(slot.toString().toLatin1()));
  return unit;
}

// ---- faults ----

struct FaultTable {
  const char* name;
  int weight;
  QString (*apply)(SoakWorld& w);  // what was done, for the log
  static const FaultTable kAll[];
};

const FaultTable FaultTable::kAll[] = {
    // Mostly a cable pulled and pushed back a moment later; now and then left out.
    {"unplug", 4,
     [](SoakWorld& w) {
       w.m_unplugged |= w.UnitControl().Unplug();
       w.LinkChanged();
       if (!w.m_random.bounded(4)) return QString();
       const int ms = w.m_random.bounded(300, kReplugMaxMs);
       QTimer::singleShot(ms, [&w, plugs = w.m_plugs] {  // unless plugged in meanwhile
         if (plugs == w.m_plugs) w.m_unplugged &= !w.UnitControl().Plug(), w.LinkChanged();
       });
       return u"for %1 ms"_s.arg(ms);
     }},
    {"plug", 3,
     [](SoakWorld& w) {
       return ++w.m_plugs, w.m_unplugged &= !w.UnitControl().Plug(), w.LinkChanged(), QString();
     }},
    {"stall", 3,
     [](SoakWorld& w) {
       const int ms = w.m_random.bounded(500, kStallMaxMs);
       if (w.UnitControl().Stall(ms)) w.m_stallUntil = std::max(w.m_stallUntil, Now() + ms);
       return w.LinkChanged(), QString::number(ms);
     }},
    {"reply-delay", 2,
     [](SoakWorld& w) {
       const int ms = w.m_random.bounded(2) ? w.m_random.bounded(kReplyDelayMaxMs) : 0;
       return w.UnitControl().ReplyDelay(ms), w.m_linkSlow = ms > 0, w.LinkChanged(), QString::number(ms);
     }},
    {"rate", 2,
     [](SoakWorld& w) {
       const int rate = w.m_random.bounded(4) ? AnyOf(w.m_random, kRates) : 0;
       return w.UnitControl().Rate(rate), w.m_linkSlow = rate > 0, w.LinkChanged(), QString::number(rate);
     }},
    {"server-stop", 2, [](SoakWorld& w) { return w.m_ftp.Stop(), w.m_serverDown = true, QString(); }},
    {"server-start", 2, [](SoakWorld& w) { return w.m_serverDown && w.StartServer(), QString(); }},
    // The server takes connections and never answers (its process stopped).
    {"server-hang", 1, [](SoakWorld& w) { return w.m_serverDown |= w.m_ftp.Pause(), QString(); }},
    {"package-broken", 2,
     [](SoakWorld& w) {
       if (!w.m_brokenPackage.isEmpty()) return QString();
       const QString name = AnyOf(w.m_random, w.m_packages.keys()) + ".hdr"_L1;
       w.m_brokenPackage = QDirIterator(w.m_tree, {name}, QDir::Files, QDirIterator::Subdirectories).next();
       w.m_brokenOriginal = TestSupport::ReadFile(w.m_brokenPackage);
       if (w.m_random.bounded(2)) return QFile::remove(w.m_brokenPackage), name + " missing"_L1;
       QByteArray damaged = w.m_brokenOriginal;
       damaged[PackageHeader::kPayloadOffset] = char(~damaged[PackageHeader::kPayloadOffset]);
       return TestSupport::WriteFile(w.m_brokenPackage, damaged), name + " damaged"_L1;
     }},
    {"disk-full", 1,
     [](SoakWorld& w) {
       const qint64 limit = AnyOf(w.m_random, kDiskLimits);
       return w.SetDiskFull(limit), QString::number(limit);
     }},
    {"disk-freed", 2, [](SoakWorld& w) { return w.SetDiskFull(-1), QString(); }},
};

QString SoakWorld::InjectFault() {
  const FaultTable& fault = Weighted(m_random, FaultTable::kAll);
  const QString detail = fault.apply(*this);
  return QLatin1String(fault.name) + (detail.isEmpty() ? QString() : ' ' + detail);
}

void SoakWorld::UndoFaults() {
  SetDiskFull(-1);
  if (!m_brokenPackage.isEmpty())
    TestSupport::WriteFile(m_brokenPackage, m_brokenOriginal), m_brokenPackage.clear();
  if (m_serverDown) StartServer();
  ++m_plugs;
  UnitControl().Plug(), UnitControl().Stall(0), UnitControl().ReplyDelay(0), UnitControl().Rate(0);
  m_unplugged = m_linkSlow = false;
  m_stallUntil = 0;
  LinkChanged();
}

void SoakWorld::LinkChanged() {
  m_normalFrom = m_unplugged || m_linkSlow ? kNever : std::max(Now(), m_stallUntil);
}

bool SoakWorld::LinkNormalFor(int ms) const { return m_normalFrom != kNever && Now() - m_normalFrom >= ms; }

// A full disk: no file of this process grows past the limit. The emulator and the server run
// in processes of their own and keep writing.
void SoakWorld::SetDiskFull(qint64 limit) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
  const rlimit size{limit < 0 ? RLIM_INFINITY : rlim_t(limit), RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &size);
  m_diskLimit = limit;
}

void SoakWorld::EmergencyCleanup() {
  std::error_code ignored;
  for (const std::string& folder : g_folders) std::filesystem::remove_all(folder, ignored);
}

std::pair<int, QString> SoakWorld::RunCli(const QStringList& args, int limitMs,
                                          const std::function<void(qint64)>& during) {
  QProcess process;
  process.setWorkingDirectory(m_work);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(BinPath(u"v770"_s), args);
  TestSupport::Clock clock;
  const bool ended = TestSupport::WaitUntil(
      [&] { return during(clock.elapsed()), process.state() == QProcess::NotRunning; }, limitMs);
  if (!ended) process.kill(), process.waitForFinished();
  return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromLocal8Bit(process.readAll())};
}
