#include "app/UnitJobs.h"

bool UnitJobs::Begin(UnitJob job) {
  if (job == UnitJob::None || HeldByOther(job)) return false;
  SetHolder(job);
  return true;
}

void UnitJobs::End(UnitJob job) {
  if (job != UnitJob::None && m_holder == job) SetHolder(UnitJob::None);
}

void UnitJobs::SetHolder(UnitJob job) {
  if (m_holder == job) return;
  m_holder = job;
  if (m_listener) m_listener();
}
