#pragma once

#include <QList>
#include <QString>

// One entry of the version file's DB or VOICE list.
struct VersionEntry {
  int nIndex = 0;
  QString strText;
};

// What the version file announces: newest firmware, and the database and voice catalogues.
struct VersionInfo {
  QString strPCSoftVersion;
  QString strFWVersion;
  QString strFWFile;
  QList<VersionEntry> listDB;
  QList<VersionEntry> listVoice;
};

// Parses the version file. FALSE when it cannot be opened, and `info` is left as it was;
// otherwise the lists are emptied first and filled from the file.
bool ReadVersionFile(const QString& path, VersionInfo& info);
