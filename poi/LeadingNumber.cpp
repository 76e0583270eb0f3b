#include "poi/LeadingNumber.h"

#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace LeadingNumber {
namespace {

bool IsCSpace(QChar c) {
  const char16_t u = c.unicode();
  return u == ' ' || (u >= '\t' && u <= '\r');
}

// Longest texts worth looking at; a number needs no more.
constexpr qsizetype kMaxNumberChars = 512;

}  // namespace

int ToInt(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  long long value = 0;
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i].unicode() - u'0');
    if (value > kLimit) value = kLimit;  // saturate, and keep going past the digits
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value >= kLimit ? std::numeric_limits<int>::max() : value);
}

double ToDouble(QStringView text) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const QByteArray bytes = text.left(kMaxNumberChars).toLatin1();
  return strtod_l(bytes.constData(), nullptr, cLocale);
}

}  // namespace LeadingNumber
