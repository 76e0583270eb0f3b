#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "app/VersionFile.h"

// The update page's decisions, as plain functions of their inputs: which catalogue entry
// belongs to the chosen area or voice language, which packages are newer than the unit's,
// where each package is fetched from and kept, and what the manual pack's list names.
namespace UpdateCatalogue {

// The database combo lists the areas from this code on: area code = position + 2.
inline constexpr int kDBAreaCodeOffset = 2;
inline constexpr int kVersionReplySize = 12;

// The unit's versions as the update page reads them from its 12-byte "$VER>" reply.
struct UnitVersions {
  int nDBArea = 0;         // byte 0
  int nDBVersion = 0;      // (byte 1 + 8) * 10000 + byte 2 * 100 + byte 3
  int nFWMajor = 0;        // byte 5
  int nFWMinor = 0;        // byte 6
  int nVoiceVersion = 0;   // byte 7 * 10000 + byte 8 * 100 + byte 9
  int nVoiceLanguage = 0;  // byte 11

  // `reply` holds at least kVersionReplySize bytes, each a signed 8-bit number.
  static UnitVersions FromReply(const std::int8_t* reply);
};

// Version number of a catalogue entry: the number before its first "_".
int EntryVersion(const QString& entryText);

// Combo position matching the unit: the index of the first entry whose index equals the
// code, the last entry's index when none does, -1 (no selection) for an empty list.
int SelectUnitDBArea(const QList<VersionEntry>& listDB, const UnitVersions& unit);
int SelectUnitVoice(const QList<VersionEntry>& listVoice, const UnitVersions& unit);

// The name the catalogue is searched with: the shown item text in language 1, else the
// language-1 name at the same position (empty when that list has no such position).
QString CatalogueName(int nLanguage, const QString& shownText, const QStringList& namesLang1,
                      int position);

// The first entry whose text holds "_" + name after its first character; null when none,
// and for an empty name (which would otherwise match any entry holding a "_").
const VersionEntry* FindEntry(const QList<VersionEntry>& list, const QString& name);

struct PackageCheck {
  bool bFound = false;     // an entry matches the chosen name
  int nServerVersion = 0;  // its version number (when found)
  QString strEntry;        // its text (when found)
  bool bSend = false;      // the package is to be sent
};

// A package is sent when its entry exists and the choice differs from the unit's, force is
// on, or the entry's version is newer than the unit's (signed comparison).
PackageCheck CheckPackage(const QList<VersionEntry>& list, const QString& name,
                          bool bChangedOrForced, int nUnitVersion);
PackageCheck CheckDBPackage(const QList<VersionEntry>& listDB, const QString& name,
                            bool bDBAreaChanged, bool bForce, const UnitVersions& unit);
PackageCheck CheckVoicePackage(const QList<VersionEntry>& listVoice, const QString& name,
                               bool bVoiceLangChanged, bool bForce, const UnitVersions& unit);

// A firmware version "major.minor". Both parts are whole numbers: "1.10" is minor 10, so
// it is newer than "1.9" (a decimal reading would make it 1.1).
struct FirmwareVersion {
  int nMajor = 0;
  int nMinor = 0;
  auto operator<=>(const FirmwareVersion&) const = default;
};
FirmwareVersion ParseFirmwareVersion(const QString& text);
bool IsFirmwareNewer(const QString& latest, const UnitVersions& unit);

struct EvaluateInputs {
  const QList<VersionEntry>* listDB = nullptr;
  const QList<VersionEntry>* listVoice = nullptr;
  QString strFWVersion;
  UnitVersions unit;
  int nDBPosition = -1;     // selected position of the area combo
  int nVoicePosition = -1;  // selected position of the voice combo
  QString strDBName;        // catalogue names (see CatalogueName)
  QString strVoiceName;
  bool bDBAreaChanged = false;
  bool bVoiceLangChanged = false;
  bool bForce = false;
};

struct UpdateDecision {
  bool bUpdateDB = false;
  bool bUpdateVoice = false;
  bool bUpdateFW = false;
  PackageCheck db;
  PackageCheck voice;
};

// The three update flags of the automatic mode. An area other than the unit's always marks
// the database (its entry is still looked up, for its file name). A package of another area
// or language than the unit's is sent only when the user chose it: a unit whose own area or
// language is missing from the catalogue shows the last one, which nobody chose.
UpdateDecision EvaluateUpdates(const EvaluateInputs& in);

// Package locations on the update server and in the working folder.
inline constexpr const char* kServerPath = "/down/FW/V770";
inline constexpr const char* kFolderDB = "DB";
inline constexpr const char* kFolderVoice = "Voice";
inline constexpr const char* kFolderFW = "FW";
inline constexpr const char* kPackageExtension = ".hdr";

// "<base>/<folder>/<name>.hdr", the file name percent-encoded.
QString PackageUrl(const QString& baseUrl, const char* folder, const QString& name);
// "<dir>/<name>.hdr"; empty when the name is not a plain file name (a separator in it would
// place the download, and its later deletion, outside the folder).
QString LocalPackagePath(const QString& localDir, const QString& name);

struct PackageLocations {
  QString strUrlDB, strUrlVoice, strUrlFW;
  QString strPathDB, strPathVoice, strPathFW;
};
PackageLocations FormPackageLocations(const QString& baseUrl, const QString& localDir,
                                      const QString& fileDB, const QString& fileVoice,
                                      const QString& fileFW);

// The manual pack's list file.
inline constexpr const char* kZipListFileName = "ZipLIST.txt";
inline constexpr const char* kZipListMissingMessage =
    "[EORROR : There is no ZipLIST.txt file,  Program can't do]";

enum class ZipListKey { None, DB, Voice, FW };
struct ZipListLine {
  ZipListKey key = ZipListKey::None;
  QString strValue;
};
// Keys tried in the order DB_FNAME, VOICE_FNAME, FW_FNAME, anywhere in the line; blanks
// removed; the value is what follows the first "=" (the whole line without one).
ZipListLine ParseZipListLine(const QString& line);

// A manual package name may name a file in the working folder or below it, never outside:
// the run deletes the files it sent.
bool IsSafeManualName(const QString& name);

struct ZipList {
  QString strDB, strVoice, strFW;
  bool bDB = false, bVoice = false, bFW = false;
  QStringList refused;     // names that point outside the working folder, left out
  QStringList emptyNames;  // keys of lines without a file name, left out
};
// Reads the list file; nullopt when it does not open. A later line of a key replaces an
// earlier one.
std::optional<ZipList> ReadZipList(const QString& path);

}  // namespace UpdateCatalogue
