#pragma once

#include <QDateTime>
#include <QTimeZone>

// Between UTC (GPX and KML times) and the local date and time the list shows. The rules of
// the system's time zone are read once, so thousands of POIs convert without asking the
// system each time.
class PoiLocalTime {
 public:
  PoiLocalTime();

  QDateTime ToLocal(const QDateTime& moment) const;
  QDateTime ToUtc(const QDate& localDate, const QTime& localTime) const;

 private:
  QTimeZone m_zone;  // invalid: the C library's local time is used instead
};
