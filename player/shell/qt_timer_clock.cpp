#include "player/shell/qt_timer_clock.h"

#include <QObject>
#include <QTimer>

#include <chrono>

namespace tevalo::shell {

CQtTimerClock::CQtTimerClock() : m_context(std::make_unique<QObject>()) {}

CQtTimerClock::~CQtTimerClock() = default;  // the timers are the context's children

uint64_t CQtTimerClock::NowMs() const {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void CQtTimerClock::Start(TimerId id, int ms, Fire fire) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer(m_context.get());
    timer->setTimerType(Qt::PreciseTimer);
  }
  QObject::disconnect(timer, &QTimer::timeout, nullptr, nullptr);
  QObject::connect(timer, &QTimer::timeout, m_context.get(), [id, fire = std::move(fire)] { fire(id); });
  timer->start(ms);
}

void CQtTimerClock::Stop(TimerId id) {
  const auto it = m_timers.find(id);
  if (it != m_timers.end()) it->second->stop();
}

}  // namespace tevalo::shell
