#pragma once

#include <QDateTime>
#include <QTimeZone>

// Between UTC (GPX and KML times) and the local date and time the list shows. The rules of
// the system's time zone are read once, so thousands of POIs convert without asking the
// system each time.
class PoiLocalTime {
 public:
  PoiLocalTime();

  // The local date and time of a moment (seconds since 1970 UTC), as a zone-less value.
  QDateTime ToLocal(qint64 utcSeconds) const;
  // The moment of a local date and time. A time the clocks skip when summer time starts
  // moves on by the length of the skip (02:30 in a one-hour gap is 03:30 local); a time
  // that occurs twice when it ends is its first occurrence.
  qint64 ToUtc(const QDate& localDate, const QTime& localTime) const;

 private:
  int OffsetAt(qint64 utcSeconds) const;

  QTimeZone m_zone;  // invalid: the C library's local time is used instead
};
