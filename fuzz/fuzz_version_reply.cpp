// The unit's 12-byte "$VER>" reply, shown by the main page and weighed by the update page
// against a catalogue: the first 12 bytes are the reply, each further line a catalogue
// entry (its first byte the index, the rest its text).
#include "device/UnitVersionInfo.h"
#include "fuzz/FuzzInput.h"
#include "update/UpdateCatalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kReplySize = UnitVersionInfo::kReplySize;
  if (size < kReplySize) return 0;
  const auto* reply = reinterpret_cast<const std::int8_t*>(data);
  QList<VersionEntry> catalogue;
  const QByteArray rest(reinterpret_cast<const char*>(data + kReplySize), qsizetype(size - kReplySize));
  for (const QByteArray& line : rest.split('\n'))
    if (!line.isEmpty()) catalogue.append({std::int8_t(line[0]), QString::fromLatin1(line.mid(1))});

  UnitVersionInfo::FromReply(std::span(reply, kReplySize), catalogue);
  using namespace UpdateCatalogue;
  const UnitVersions unit = UnitVersions::FromReply(reply);
  const int dbPosition = SelectUnitDBArea(catalogue, unit);
  const int voicePosition = SelectUnitVoice(catalogue, unit);
  // A combo position is a catalogue index, or none.
  const auto listed = [&](int position) {
    return std::any_of(catalogue.begin(), catalogue.end(), [&](const VersionEntry& e) { return e.nIndex == position; });
  };
  FUZZ_CHECK(catalogue.isEmpty() ? dbPosition == -1 && voicePosition == -1 : listed(dbPosition) && listed(voicePosition));
  EvaluateInputs in;
  in.listDB = &catalogue;
  in.listVoice = &catalogue;
  in.strFWVersion = catalogue.isEmpty() ? QString() : catalogue.front().strText;
  in.unit = unit;
  in.nDBPosition = dbPosition;
  in.strDBName = catalogue.isEmpty() ? QString() : catalogue.back().strText;
  in.strVoiceName = in.strDBName.section(u'_', -1);
  EvaluateUpdates(in);
  return 0;
}
