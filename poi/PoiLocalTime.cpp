#include "poi/PoiLocalTime.h"

PoiLocalTime::PoiLocalTime() : m_zone(QTimeZone::systemTimeZone()) {}

QDateTime PoiLocalTime::ToLocal(const QDateTime& moment) const {
  return m_zone.isValid() ? moment.toTimeZone(m_zone) : moment.toLocalTime();
}

QDateTime PoiLocalTime::ToUtc(const QDate& localDate, const QTime& localTime) const {
  return (m_zone.isValid() ? QDateTime(localDate, localTime, m_zone) : QDateTime(localDate, localTime))
      .toUTC();
}
