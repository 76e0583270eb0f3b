#pragma once

#include <functional>

// The jobs of the pages that send to the unit or exchange with it.
enum class UnitJob { None, UpdateRun, Recovery, PoiExchange, SpeedUnit };

// Which job holds the unit. The unit takes one job at a time: two at once (a database sent
// while a firmware is still going) leave it with neither. Pages ask before they start, and
// say when their job ended, whichever way; the listener then lets every page follow.
class UnitJobs {
 public:
  // Takes the unit for `job`; false when another job holds it. The holder may ask again.
  bool Begin(UnitJob job);
  // `job` is over. A job that does not hold the unit (an end reported late) changes nothing.
  void End(UnitJob job);
  UnitJob Holder() const { return m_holder; }
  // Another job than `job` holds the unit now.
  bool HeldByOther(UnitJob job) const { return m_holder != UnitJob::None && m_holder != job; }
  // Called after every change of the holder.
  void SetListener(std::function<void()> listener) { m_listener = std::move(listener); }

 private:
  void SetHolder(UnitJob job);

  UnitJob m_holder = UnitJob::None;
  std::function<void()> m_listener;
};
