#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// What the list's sort compares of one cell, worked out once per row so a sort of many rows
// never parses a text twice.
struct ListSortKey {
  QByteArray bytes;     // the stored text without surrounding blanks, as multibyte bytes
  bool isNumber = false;
  double number = 0.0;  // the text read as a number (0 when it is none)
  bool isDate = false;
  qint64 dateTime = 0;  // seconds, when isDate

  static ListSortKey FromText(const QString& storedText);
};

// Number test: not empty, and each character a digit, the first decimal point, a "-" in
// the first place of a text of two or more characters, or a "+" anywhere.
bool IsListNumber(QStringView text);

// Date and/or time: "year/month/day" (also with "-" or "."), "hours:minutes[:seconds]",
// or a date, blanks and a time. Plain words are none. Seconds on a common scale in *key.
bool ParseListDateTime(QStringView text, qint64* key);

// Order of two cells of the sort column (negative: a first). An empty cell compares as a
// text; otherwise a's kind decides: numbers numerically, dates by date when both are dates,
// anything else byte-wise. Descending applies the same rules to the exchanged pair.
int CompareListKeys(const ListSortKey& a, const ListSortKey& b, bool ascending);
