#include "update/UpdateCatalogue.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include "text/LeadingNumber.h"

namespace UpdateCatalogue {

namespace {
constexpr int kDBVersionFirstPartOffset = 8;  // the unit sends the first part minus 8
constexpr int kVersionPartScale = 100;

int VersionOfParts(int first, int second, int third) {
  return first * kVersionPartScale * kVersionPartScale + second * kVersionPartScale + third;
}

int SelectByIndex(const QList<VersionEntry>& list, int code) {
  if (list.isEmpty()) return -1;
  for (const VersionEntry& entry : list) {
    if (entry.nIndex == code) return entry.nIndex;
  }
  return list.last().nIndex;
}
}  // namespace

UnitVersions UnitVersions::FromReply(const std::int8_t* reply) {
  UnitVersions unit;
  unit.nDBArea = reply[0];
  unit.nDBVersion = VersionOfParts(reply[1] + kDBVersionFirstPartOffset, reply[2], reply[3]);
  unit.nFWMajor = reply[5];
  unit.nFWMinor = reply[6];
  unit.nVoiceVersion = VersionOfParts(reply[7], reply[8], reply[9]);
  unit.nVoiceLanguage = reply[11];
  return unit;
}

int EntryVersion(const QString& entryText) {
  return ::LeadingNumber(entryText.left(entryText.indexOf(u'_')));
}

int SelectUnitDBArea(const QList<VersionEntry>& listDB, const UnitVersions& unit) {
  return SelectByIndex(listDB, unit.nDBArea - kDBAreaCodeOffset);
}

int SelectUnitVoice(const QList<VersionEntry>& listVoice, const UnitVersions& unit) {
  return SelectByIndex(listVoice, unit.nVoiceLanguage);
}

QString CatalogueName(int nLanguage, const QString& shownText, const QStringList& namesLang1,
                      int position) {
  if (nLanguage == 1) return shownText;
  return position >= 0 && position < namesLang1.size() ? namesLang1[position] : QString();
}

const VersionEntry* FindEntry(const QList<VersionEntry>& list, const QString& name) {
  if (name.isEmpty()) return nullptr;
  const QString key = QStringLiteral("_") + name;
  for (const VersionEntry& entry : list) {
    if (entry.strText.indexOf(key) > 0) return &entry;
  }
  return nullptr;
}

PackageCheck CheckPackage(const QList<VersionEntry>& list, const QString& name,
                          bool bChangedOrForced, int nUnitVersion) {
  PackageCheck check;
  const VersionEntry* entry = FindEntry(list, name);
  if (!entry) return check;
  check.bFound = true;
  check.strEntry = entry->strText;
  check.nServerVersion = EntryVersion(entry->strText);
  check.bSend = bChangedOrForced || check.nServerVersion > nUnitVersion;
  return check;
}

PackageCheck CheckDBPackage(const QList<VersionEntry>& listDB, const QString& name,
                            bool bDBAreaChanged, bool bForce, const UnitVersions& unit) {
  return CheckPackage(listDB, name, bDBAreaChanged || bForce, unit.nDBVersion);
}

PackageCheck CheckVoicePackage(const QList<VersionEntry>& listVoice, const QString& name,
                               bool bVoiceLangChanged, bool bForce, const UnitVersions& unit) {
  return CheckPackage(listVoice, name, bVoiceLangChanged || bForce, unit.nVoiceVersion);
}

FirmwareVersion ParseFirmwareVersion(const QString& text) {
  const QString trimmed = text.trimmed();
  const qsizetype point = trimmed.indexOf(u'.');
  FirmwareVersion version;
  version.nMajor = ::LeadingNumber(trimmed.left(point));
  if (point >= 0) version.nMinor = ::LeadingNumber(trimmed.mid(point + 1));
  return version;
}

bool IsFirmwareNewer(const QString& latest, const UnitVersions& unit) {
  return ParseFirmwareVersion(latest) > FirmwareVersion{unit.nFWMajor, unit.nFWMinor};
}

UpdateDecision EvaluateUpdates(const EvaluateInputs& in) {
  static const QList<VersionEntry> kEmpty;
  const QList<VersionEntry>& listDB = in.listDB ? *in.listDB : kEmpty;
  const QList<VersionEntry>& listVoice = in.listVoice ? *in.listVoice : kEmpty;

  UpdateDecision decision;
  decision.db = CheckDBPackage(listDB, in.strDBName, in.bDBAreaChanged, in.bForce, in.unit);
  const bool unitArea = in.nDBPosition + kDBAreaCodeOffset == in.unit.nDBArea;
  if (!unitArea && !in.bDBAreaChanged) decision.db.bSend = false;
  decision.bUpdateDB = unitArea ? decision.db.bSend : true;
  decision.voice =
      CheckVoicePackage(listVoice, in.strVoiceName, in.bVoiceLangChanged, in.bForce, in.unit);
  if (in.nVoicePosition != in.unit.nVoiceLanguage && !in.bVoiceLangChanged)
    decision.voice.bSend = false;
  decision.bUpdateVoice = decision.voice.bSend;
  decision.bUpdateFW = IsFirmwareNewer(in.strFWVersion, in.unit) || in.bForce;
  return decision;
}

QString PackageUrl(const QString& baseUrl, const char* folder, const QString& name) {
  const QByteArray file = QUrl::toPercentEncoding(name + QString::fromLatin1(kPackageExtension));
  return QStringLiteral("%1/%2/%3").arg(baseUrl, QString::fromLatin1(folder), QString::fromLatin1(file));
}

QString LocalPackagePath(const QString& localDir, const QString& name) {
  if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\')) return QString();
  QString dir = localDir;
  if (!dir.isEmpty() && !dir.endsWith(u'/')) dir += u'/';
  return dir + name + QString::fromLatin1(kPackageExtension);
}

PackageLocations FormPackageLocations(const QString& baseUrl, const QString& localDir,
                                      const QString& fileDB, const QString& fileVoice,
                                      const QString& fileFW) {
  PackageLocations at;
  at.strUrlDB = PackageUrl(baseUrl, kFolderDB, fileDB);
  at.strUrlVoice = PackageUrl(baseUrl, kFolderVoice, fileVoice);
  at.strUrlFW = PackageUrl(baseUrl, kFolderFW, fileFW);
  at.strPathDB = LocalPackagePath(localDir, fileDB);
  at.strPathVoice = LocalPackagePath(localDir, fileVoice);
  at.strPathFW = LocalPackagePath(localDir, fileFW);
  return at;
}

namespace {
constexpr std::pair<const char*, ZipListKey> kZipListKeys[] = {
    {"DB_FNAME", ZipListKey::DB},
    {"VOICE_FNAME", ZipListKey::Voice},
    {"FW_FNAME", ZipListKey::FW},
};

const char* KeyName(ZipListKey key) {
  for (const auto& [name, kind] : kZipListKeys)
    if (kind == key) return name;
  return "";
}
}  // namespace

ZipListLine ParseZipListLine(const QString& line) {
  ZipListLine parsed;
  for (const auto& [key, kind] : kZipListKeys) {
    if (line.contains(QLatin1String(key))) {
      parsed.key = kind;
      break;
    }
  }
  if (parsed.key == ZipListKey::None) return parsed;
  QString compact = line;
  compact.remove(u' ');
  const qsizetype equals = compact.indexOf(u'=');
  parsed.strValue = equals < 0 ? compact : compact.mid(equals + 1);
  return parsed;
}

bool IsSafeManualName(const QString& name) {
  if (name.isEmpty() || name.contains(u'\\') || !QDir::isRelativePath(name)) return false;
  const QString clean = QDir::cleanPath(name);
  return clean != QStringLiteral(".") && clean != QStringLiteral("..") &&
         !clean.startsWith(QStringLiteral("../"));
}

std::optional<ZipList> ReadZipList(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  ZipList list;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    QString line = QString::fromLocal8Bit(raw);
    line.remove(u'\r');
    const ZipListLine parsed = ParseZipListLine(line);
    if (parsed.key == ZipListKey::None) continue;
    if (parsed.strValue.isEmpty()) {
      list.emptyNames.append(QString::fromLatin1(KeyName(parsed.key)));
      continue;
    }
    if (!IsSafeManualName(parsed.strValue)) {
      list.refused.append(parsed.strValue);
      continue;
    }
    switch (parsed.key) {
      case ZipListKey::DB:
        list.strDB = parsed.strValue;
        list.bDB = true;
        break;
      case ZipListKey::Voice:
        list.strVoice = parsed.strValue;
        list.bVoice = true;
        break;
      case ZipListKey::FW:
        list.strFW = parsed.strValue;
        list.bFW = true;
        break;
      case ZipListKey::None:
        break;
    }
  }
  return list;
}

}  // namespace UpdateCatalogue
