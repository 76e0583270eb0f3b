#include "poi/PoiLocalTime.h"

namespace {

constexpr qint64 kSecondsPerDay = 24 * 60 * 60;

// A date and time without a zone, kept as if they were UTC: plain arithmetic, no rules.
QDateTime Naive(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

}  // namespace

PoiLocalTime::PoiLocalTime() : m_zone(QTimeZone::systemTimeZone()) {}

int PoiLocalTime::OffsetAt(qint64 utcSeconds) const {
  const QDateTime moment = Naive(utcSeconds);
  return m_zone.isValid() ? m_zone.offsetFromUtc(moment) : moment.toLocalTime().offsetFromUtc();
}

QDateTime PoiLocalTime::ToLocal(qint64 utcSeconds) const { return Naive(utcSeconds + OffsetAt(utcSeconds)); }

qint64 PoiLocalTime::ToUtc(const QDate& localDate, const QTime& localTime) const {
  const qint64 wall = QDateTime(localDate, localTime, Qt::UTC).toSecsSinceEpoch();
  // The zone's offsets a day either side: a local time can only mean one of them. (Qt's
  // own conversion answers an invalid time, or one hours off, inside the gap.)
  const int before = OffsetAt(wall - kSecondsPerDay);
  const int after = OffsetAt(wall + kSecondsPerDay);
  for (const int offset : {before, after})
    if (OffsetAt(wall - offset) == offset) return wall - offset;
  // Neither fits: the clocks skipped this time; read with the offset before the skip, it
  // lands as far past the skip as it lay inside it.
  return wall - before;
}
