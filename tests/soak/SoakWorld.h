#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QRandomGenerator64>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

#include "app/VersionFile.h"
#include "support/FtpServer.h"
#include "support/UnitEmulator.h"
#include "unitsim/PackageHeader.h"

// A random element of a list that is not empty, and a random row of a table of rows with a
// `weight`, each as often as its weight.
template <typename List>
auto AnyOf(QRandomGenerator64& random, const List& list) {
  return list[qsizetype(random.bounded(quint64(std::size(list))))];
}
template <typename Row, std::size_t N>
const Row& Weighted(QRandomGenerator64& random, const Row (&rows)[N]) {
  int pick = 0;
  for (const Row& row : rows) pick += row.weight;
  pick = random.bounded(pick);
  const Row* row = rows;
  while ((pick -= row->weight) >= 0) ++row;
  return *row;
}

// The unit as the emulator tells it: the truth the program's reports are checked against.
struct UnitView {
  bool answered = false, plugged = false, restarting = false;
  std::array<int, 12> reply{};  // the "$VER>" reply bytes, signed
  int speedUnit = -1;
  QList<QByteArray> poiSlots;  // 12 bytes each

  // The unit runs the package's version (a database of its area, a voice of its language).
  bool Holds(const PackageHeader& header) const;
  // It runs for the package's kind what `other` ran.
  bool SameKind(const UnitView& other, int kind) const;
  QString Versions() const;
  QList<QByteArray> StoredPois() const;  // the slots that are not empty, in slot order
};

// Everything around the window: its working folder with the data files and the files a user
// would pick, the emulated unit, the update server over its own copy of the packages, the
// faults put on them, and the `v770` command line.
class SoakWorld {
 public:
  explicit SoakWorld(QRandomGenerator64& random) : m_random(random) {}
  ~SoakWorld() { SetDiskFull(-1); }
  SoakWorld(const SoakWorld&) = delete;
  SoakWorld& operator=(const SoakWorld&) = delete;

  // Folders, files, unit and server in `root`; the reason when something failed.
  QString Start(const QString& root);
  QString WorkPath(const QString& name = {}) const { return m_work + '/' + name; }
  UnitView Unit();
  UnitSimClient& UnitControl() { return m_unit.Client(); }

  // A package's header: the server's own copy by the file's base name, else the file's
  // first bytes (none for a file that is no package).
  std::optional<PackageHeader> Header(const QString& pathOrName) const;
  // The catalogue's package of a name ("France", "German") in one of its lists.
  std::optional<PackageHeader> CataloguePackage(const QList<VersionEntry>& list, const QString& name) const;
  const VersionInfo& Catalogue() const { return m_catalogue; }

  QStringList importFiles;    // POI files of every kind the POI page reads, some broken
  QStringList ownPoiFiles;    // the program's own POI files, of POIs the unit keeps
  QStringList recoveryFiles;  // a firmware, a database, a damaged firmware, a text, none

  // A random fault from the table, described; UndoFaults takes every fault back.
  QString InjectFault();
  void UndoFaults();
  // The unit has been plugged in, answering at full speed, this long.
  bool LinkNormalFor(int ms) const;

  // `v770 ARGS` in the working folder: its exit status (-1: killed after limitMs) and output;
  // `during` runs on the window thread while it works.
  std::pair<int, QString> RunCli(const QStringList& args, int limitMs,
                                 const std::function<void(qint64 ms)>& during);

  // For a soak that ends at once: the full disk freed, the folders removed.
  static void EmergencyCleanup();

 private:
  friend struct FaultTable;
  bool StartServer();
  void LinkChanged();
  void MakeFiles();
  // The most a file of this process may grow to (-1: no limit); the processes it starts
  // meanwhile are spared.
  void SetDiskFull(qint64 limit);

  QRandomGenerator64& m_random;
  QString m_work, m_tree;
  UnitEmulator m_unit;
  TestSupport::FtpServer m_ftp;
  VersionInfo m_catalogue;
  QMap<QString, PackageHeader> m_packages;  // by base name, from the pristine server tree
  bool m_unplugged = false, m_linkSlow = false, m_serverDown = false;
  qint64 m_stallUntil = 0, m_normalFrom = 0, m_diskLimit = -1;
  int m_plugs = 0;          // times the unit was plugged in on purpose
  QString m_brokenPackage;  // one of the served tree, damaged or taken away
  QByteArray m_brokenOriginal;
};
