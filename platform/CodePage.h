#pragma once

// Code pages as numbers, the way the unit's text files were written on their home platform,
// mapped onto iconv charset names here.
namespace CodePage {

inline constexpr int kSystemAnsi = -1;  // "the user's ANSI code page"
inline constexpr int kUtf8 = 65001;

// The code page of the user's locale as a number (a C/POSIX locale counts as UTF-8);
// 0 when it cannot be told.
int CurrentLocaleCodePage();

// iconv charset name for a code page number; -1 means the user's ANSI code page.
// nullptr for a number that has no known charset.
const char* CharsetName(int codePage);

}  // namespace CodePage
