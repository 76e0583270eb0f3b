#include "platform/CodePage.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace CodePage {
namespace {

struct CodePageName {
  int codePage;
  const char* charset;  // the name iconv knows
};

// The code pages a user's locale is likely to use; the first name of a number is the one
// handed to iconv.
constexpr CodePageName kCodePages[] = {
    {65001, "UTF-8"},       {1250, "CP1250"},       {1251, "CP1251"},       {1252, "CP1252"},
    {1253, "CP1253"},       {1254, "CP1254"},       {1255, "CP1255"},       {1256, "CP1256"},
    {1257, "CP1257"},       {1258, "CP1258"},       {437, "CP437"},         {850, "CP850"},
    {852, "CP852"},         {866, "CP866"},         {874, "CP874"},         {932, "CP932"},
    {936, "GBK"},           {949, "CP949"},         {950, "BIG5"},          {20866, "KOI8-R"},
    {21866, "KOI8-U"},      {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},  {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    {51932, "EUC-JP"},      {51949, "EUC-KR"},      {54936, "GB18030"},     {932, "SHIFT_JIS"},
    {936, "GB2312"},        {950, "BIG5-HKSCS"},    {874, "TIS-620"},
    // A C/POSIX locale reports plain ASCII; its text is handled as UTF-8.
    {65001, "ANSI_X3.4-1968"}, {65001, "ASCII"},    {65001, "US-ASCII"},
};

// Charset names are compared without case, "-" or "_": "utf8", "UTF-8" and "utf_8" are one.
std::string Normalized(const char* name) {
  std::string out;
  for (const char* p = name; *p; ++p)
    if (*p != '-' && *p != '_') out += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return out;
}

}  // namespace

int FromCharsetName(const char* charset) {
  if (!charset || !*charset) return 0;
  const std::string wanted = Normalized(charset);
  for (const CodePageName& entry : kCodePages)
    if (Normalized(entry.charset) == wanted) return entry.codePage;
  return 0;
}

int CurrentLocaleCodePage() {
  // The user's default locale as the environment names it, not whatever the process set.
  // Loading a locale is slow and text readers ask per line, so the answer is kept for as
  // long as the variables that name the locale stay the same.
  std::string names;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    names.append(value ? value : "").append(1, '\n');
  }
  thread_local std::string cachedNames;
  thread_local int cachedCodePage = -1;
  if (cachedCodePage >= 0 && names == cachedNames) return cachedCodePage;

  int codePage = 0;
  locale_t userLocale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (userLocale != static_cast<locale_t>(nullptr)) {
    codePage = FromCharsetName(nl_langinfo_l(CODESET, userLocale));
    freelocale(userLocale);
  }
  cachedNames = names;
  cachedCodePage = codePage;
  return codePage;
}

const char* CharsetName(int codePage) {
  if (codePage == kSystemAnsi || codePage == kDefaultAnsi) {
    const int current = CurrentLocaleCodePage();
    // An unreadable locale leaves the C library's own default, which counts as UTF-8.
    codePage = current > 0 ? current : kUtf8;
  }
  for (const CodePageName& entry : kCodePages)
    if (entry.codePage == codePage) return entry.charset;
  return nullptr;
}

}  // namespace CodePage
