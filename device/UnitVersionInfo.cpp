#include "device/UnitVersionInfo.h"

#include <charconv>

#include "text/ExtraTexts.h"

namespace {

// Catalogue indexes start two below the unit's area codes.
constexpr int kAreaCodeOffset = 2;
// The first database part travels minus this.
constexpr int kDBMajorOffset = 8;

// The leading number of a text, 0 when there is none, whatever the user's locale (the
// decimal point of these texts is always ".").
template <typename T>
T LeadingNumber(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  T value{};
  std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), value);
  return value;
}

}  // namespace

QString AreaNameForCode(const QList<VersionEntry>& listDB, int areaCode) {
  for (const VersionEntry& entry : listDB) {
    if (entry.nIndex == areaCode - kAreaCodeOffset)
      return entry.strText.mid(entry.strText.lastIndexOf(QLatin1Char('_')) + 1);
  }
  return ExtraText(ExtraTextId::UNIT_AREA_UNKNOWN).arg(areaCode);
}

UnitVersionInfo UnitVersionInfo::FromReply(std::span<const std::int8_t> reply,
                                           const QList<VersionEntry>& listDB) {
  UnitVersionInfo info;
  if (reply.size() < static_cast<std::size_t>(kReplySize)) return info;
  const auto byte = [&](int i) { return static_cast<int>(reply[static_cast<std::size_t>(i)]); };
  const int dbMajor = byte(1) + kDBMajorOffset;

  info.nDBTestNumber =
      LeadingNumber<int>(QString::asprintf("%d%d%d", dbMajor, byte(2), byte(3)));
  info.strHWVersion = QString::asprintf("v %d", byte(4));
  info.strFWVersion = QString::asprintf("v %d.%d", byte(5), byte(6));
  info.strDBArea = AreaNameForCode(listDB, byte(0));
  info.strDBVersion = QString::asprintf("v %d%02d%02d", dbMajor, byte(2), byte(3));
  info.strVoiceVersion = QString::asprintf("v %d%02d%02d", byte(7), byte(8), byte(9));

  info.nUnitDBVersion = dbMajor * 10000 + byte(2) * 100 + byte(3);
  info.nUnitDBArea = byte(0);
  info.nUnitVoiceVersion = byte(7) * 10000 + byte(8) * 100 + byte(9);
  info.nUnitVoiceLanguage = byte(11);
  // Major and minor read as one decimal number: 1 and 10 give 1.1.
  info.fUnitFWVersion = LeadingNumber<float>(QString::asprintf("%d.%d", byte(5), byte(6)));
  return info;
}
