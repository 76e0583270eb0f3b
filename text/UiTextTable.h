#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

// The UI text table: every text the user reads, by position 0..91, one table per language.
// Only tables 1 (English) and 2 (French) are ever filled; 3 and 4 stay empty.

inline constexpr int kUiTextCount = 92;
inline constexpr int kLanguageTableCount = 4;
inline constexpr int kErrorMessageCount = 12;
inline constexpr int kLanguageEnglish = 1;
inline constexpr int kLanguageFrench = 2;
inline constexpr int kMaxListItems = 100;  // most items a list value may announce

// Index of each key in the table. The names are the keys of the UI text file.
enum UiTextIndex : int {
  LANGUAGE_001 = 0,
  VOICELIST_001 = 1,
  DBAREA_001 = 2,
  MAIN_TAB_001 = 3,   // ... MAIN_TAB_012 = 14
  DBFW_TAB_001 = 15,  // ... DBFW_TAB_027 = 41
  POI_TAB_001 = 42,   // ... POI_TAB_015 = 56
  OPTION_TAB_001 = 57,  // ... OPTION_TAB_004 = 60
  RESET_TAB_001 = 61,   // ... RESET_TAB_018 = 78
  ERROR_MSG_001 = 79,   // ... ERROR_MSG_012 = 90
  BANNER_URL_001 = 91,
};

// Index of the n-th (1-based) key of a numbered group: UiIndex(MAIN_TAB_001, 12) is MAIN_TAB_012.
constexpr int UiIndex(UiTextIndex first, int number) { return first + number - 1; }

// The 92 key names in index order.
const std::array<QString, kUiTextCount>& UiTextKeys();

using UiTextTables = std::array<QStringList, kLanguageTableCount>;  // index = language - 1
using ErrorMessages = std::array<QString, kErrorMessageCount>;      // slot k-1 = ERROR_MSG_00k

// TRUE and the value when the line begins with the key prefix (every occurrence of the
// prefix removed, white space trimmed); FALSE and the value untouched otherwise.
bool ExtractValue(const QString& line, const QString& key, QString& value);

// Walks a file of "[English version]" / "[Franch version]" sections: onSection(language) at
// each header, onLine(language, line) for each non-blank trimmed line inside a section.
// FALSE when the file cannot be opened.
bool ReadLanguageSections(const QString& path, const std::function<void(int)>& onSection,
                          const std::function<void(int, const QString&)>& onLine);

// Reads the UI text file into tables 1 and 2 (appending, as a repeated header does).
// FALSE when the file cannot be opened; nothing is read then.
bool ReadUITextFile(const QString& path, UiTextTables& tables);

// The error messages ERROR_MSG_001..012 of a language; empty texts where the table is short.
ErrorMessages CopyErrorMessages(const UiTextTables& tables, int nLanguage);

// Entry `index` of the table of `nLanguage`; empty for a language or index the table lacks.
QString UiText(const UiTextTables& tables, int nLanguage, int index);

// A list value "count/item/item/.../": the count items, in order. An item that has no "/"
// after it (or is missing) is an empty name; the count is bounded by kMaxListItems.
QStringList ParseListValue(const QString& value);
