#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <span>

#include "app/VersionFile.h"

// What the unit's 12-byte "$VER>" reply says, as the main page shows it and hands it on.
// Every reply byte is a signed 8-bit number.
struct UnitVersionInfo {
  static constexpr int kReplySize = 12;

  // Database version digits read as one number; the device pages appear only when it is
  // above 0, so a unit reporting a broken database version gets none.
  int nDBTestNumber = 0;

  // Texts of the information fields.
  QString strHWVersion;
  QString strFWVersion;
  QString strDBArea;
  QString strDBVersion;
  QString strVoiceVersion;

  // Values the update page works with.
  int nUnitDBVersion = 0;
  int nUnitDBArea = 0;
  int nUnitVoiceVersion = 0;
  int nUnitVoiceLanguage = 0;
  float fUnitFWVersion = 0.0f;

  // `reply` holds at least kReplySize bytes; the area name comes from the catalogue.
  static UnitVersionInfo FromReply(std::span<const std::int8_t> reply, const QList<VersionEntry>& listDB);
};

// The area of a catalogue entry whose index is the area code - 2: the entry's text after its
// last "_". A code the catalogue does not list gets "Area <code>", never another field's text.
QString AreaNameForCode(const QList<VersionEntry>& listDB, int areaCode);
