#include "poi/ListSortKey.h"

#include <QDate>

#include "poi/LeadingNumber.h"

namespace {

constexpr qint64 kSecondsPerDay = 86400;
// A time without a date falls on the day the platform's date-times count from.
const QDate kTimeOnlyDate(1899, 12, 30);

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// Reads 1 to maxDigits digits at *pos; false when there is none.
bool ReadDigits(QStringView text, qsizetype* pos, int maxDigits, int* value) {
  int digits = 0;
  int result = 0;
  while (*pos < text.size() && digits < maxDigits && text[*pos] >= u'0' && text[*pos] <= u'9') {
    result = result * 10 + (text[*pos].unicode() - u'0');
    ++*pos;
    ++digits;
  }
  *value = result;
  return digits > 0;
}

bool ParseDate(QStringView text, qsizetype* pos, QDate* date) {
  int year = 0, month = 0, day = 0;
  const qsizetype start = *pos;
  if (!ReadDigits(text, pos, 4, &year) || *pos - start != 4) return false;
  if (*pos >= text.size()) return false;
  const QChar separator = text[*pos];
  if (separator != u'/' && separator != u'-' && separator != u'.') return false;
  ++*pos;
  if (!ReadDigits(text, pos, 2, &month)) return false;
  if (*pos >= text.size() || text[*pos] != separator) return false;
  ++*pos;
  if (!ReadDigits(text, pos, 2, &day)) return false;
  *date = QDate(year, month, day);
  return date->isValid();
}

bool ParseTime(QStringView text, qsizetype* pos, int* seconds) {
  int hour = 0, minute = 0, second = 0;
  if (!ReadDigits(text, pos, 2, &hour)) return false;
  if (*pos >= text.size() || text[*pos] != u':') return false;
  ++*pos;
  const qsizetype minuteStart = *pos;
  if (!ReadDigits(text, pos, 2, &minute) || *pos - minuteStart != 2) return false;
  if (*pos < text.size() && text[*pos] == u':') {
    ++*pos;
    const qsizetype secondStart = *pos;
    if (!ReadDigits(text, pos, 2, &second) || *pos - secondStart != 2) return false;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  *seconds = hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace

bool IsListNumber(QStringView text) {
  if (text.isEmpty()) return false;
  bool seenPoint = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c >= u'0' && c <= u'9') continue;
    if (c == u'.' && !seenPoint) {
      seenPoint = true;
      continue;
    }
    if (c == u'-' && i == 0 && text.size() >= 2) continue;
    if (c == u'+') continue;
    return false;
  }
  return true;
}

bool ParseListDateTime(QStringView text, qint64* key) {
  qsizetype pos = 0;
  QDate date;
  int seconds = 0;
  if (ParseDate(text, &pos, &date)) {
    if (pos < text.size()) {
      if (text[pos] != u' ') return false;
      while (pos < text.size() && text[pos] == u' ') ++pos;
      if (!ParseTime(text, &pos, &seconds)) return false;
    }
  } else {
    pos = 0;
    if (!ParseTime(text, &pos, &seconds)) return false;
    date = kTimeOnlyDate;
  }
  if (pos != text.size()) return false;
  *key = date.toJulianDay() * kSecondsPerDay + seconds;
  return true;
}

ListSortKey ListSortKey::FromText(const QString& storedText) {
  ListSortKey key;
  const QString trimmed = storedText.trimmed();
  key.bytes = trimmed.toLocal8Bit();
  if (trimmed.isEmpty()) return key;
  key.number = LeadingNumber::ToDouble(trimmed);
  key.isNumber = IsListNumber(trimmed);
  if (!key.isNumber) key.isDate = ParseListDateTime(trimmed, &key.dateTime);
  return key;
}

int CompareListKeys(const ListSortKey& a, const ListSortKey& b, bool ascending) {
  const ListSortKey& first = ascending ? a : b;
  const ListSortKey& second = ascending ? b : a;
  if (a.bytes.isEmpty() || b.bytes.isEmpty() || !(a.isNumber || (a.isDate && b.isDate)))
    return Sign(QByteArrayView(first.bytes).compare(QByteArrayView(second.bytes)), 0);
  if (a.isNumber) return Sign(first.number, second.number);
  return Sign(first.dateTime, second.dateTime);
}
