#pragma once

#include <QString>

// The program's one remembered value lives in an INI file, section "Config".
// Tests point the store at a private file so no test touches the user's settings.
namespace Profile {

inline constexpr const char* kSection = "Config";
inline constexpr const char* kLanguageKey = "LanguageID";
inline constexpr int kDefaultLanguage = 1;

// Path of the INI file; by default V770PCSoft.ini in the user's configuration folder.
QString FilePath();
void SetFilePathForTesting(const QString& path);

int GetProfileInt(const char* section, const char* key, int defaultValue);
bool WriteProfileInt(const char* section, const char* key, int value);

}  // namespace Profile
