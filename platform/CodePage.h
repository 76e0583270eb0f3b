#pragma once

// Code pages as numbers, the way the unit's text files were written on their home platform,
// mapped onto iconv charset names here.
namespace CodePage {

inline constexpr int kSystemAnsi = -1;  // "the user's ANSI code page"
inline constexpr int kDefaultAnsi = 0;  // the same, as the number the home platform uses
inline constexpr int kUtf8 = 65001;

// The code page of the user's locale as a number (a C/POSIX locale counts as UTF-8);
// 0 when it cannot be told.
int CurrentLocaleCodePage();

// The code page number of an iconv / locale charset name ("UTF-8", "ISO-8859-15", "CP1252");
// 0 for a name that has no known number.
int FromCharsetName(const char* charset);

// iconv charset name for a code page number; -1 and 0 mean the user's ANSI code page.
// nullptr for a number that has no known charset.
const char* CharsetName(int codePage);

}  // namespace CodePage
