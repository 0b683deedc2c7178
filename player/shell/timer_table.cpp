#include "player/shell/timer_table.h"

#include <algorithm>

namespace tevalo::shell {

bool IsOneShot(TimerId id) {
  return id == TimerId::kOpen || id == TimerId::kSearchPing || id == TimerId::kNoSignal ||
         id == TimerId::kWatchdog;
}

CTimerTable::CTimerTable(ITimerClock& clock) : m_clock(clock) {}

CTimerTable::~CTimerTable() { KillAll(); }

void CTimerTable::SetHandler(TimerId id, std::function<void()> handler) {
  m_handlers[id] = std::move(handler);
}

void CTimerTable::SetTimer(TimerId id, int ms) {
  ms = std::max(ms, 1);
  m_armed[id] = ms;
  m_clock.Start(id, ms, [this](TimerId fired) { Fire(fired); });
}

void CTimerTable::KillTimer(TimerId id) {
  if (m_armed.erase(id)) m_clock.Stop(id);
}

void CTimerTable::KillAll() {
  for (const auto& [id, ms] : m_armed) m_clock.Stop(id);
  m_armed.clear();
}

bool CTimerTable::IsArmed(TimerId id) const { return m_armed.count(id) != 0; }

int CTimerTable::Period(TimerId id) const {
  const auto it = m_armed.find(id);
  return it == m_armed.end() ? 0 : it->second;
}

void CTimerTable::Fire(TimerId id) {
  if (!IsArmed(id)) return;  // stopped after the clock took it
  if (IsOneShot(id)) KillTimer(id);
  const auto it = m_handlers.find(id);
  if (it != m_handlers.end() && it->second) {
    auto handler = it->second;  // the handler may replace itself
    handler();
  }
}

// ---- manual clock ----

void CManualTimerClock::Start(TimerId id, int ms, Fire fire) {
  m_running[id] = {ms, m_now + ms, std::move(fire)};
}

void CManualTimerClock::Stop(TimerId id) { m_running.erase(id); }

void CManualTimerClock::Advance(uint64_t ms) {
  const uint64_t end = m_now + ms;
  for (;;) {
    auto next = m_running.end();
    for (auto it = m_running.begin(); it != m_running.end(); ++it)
      if (it->second.due <= end && (next == m_running.end() || it->second.due < next->second.due)) next = it;
    if (next == m_running.end()) break;
    m_now = next->second.due;
    next->second.due += static_cast<uint64_t>(next->second.period);
    const TimerId id = next->first;
    const Fire fire = next->second.fire;
    fire(id);  // may start or stop any timer, itself included
  }
  m_now = end;
}

}  // namespace tevalo::shell
