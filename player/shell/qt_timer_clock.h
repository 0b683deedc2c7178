// The timer table's clock on Qt timers of the thread that makes it (the GUI thread).
#pragma once

#include <map>
#include <memory>

#include "player/shell/timer_table.h"

class QObject;
class QTimer;

namespace tevalo::shell {

class CQtTimerClock final : public ITimerClock {
 public:
  CQtTimerClock();
  ~CQtTimerClock() override;
  uint64_t NowMs() const override;
  void Start(TimerId id, int ms, Fire fire) override;
  void Stop(TimerId id) override;

 private:
  std::unique_ptr<QObject> m_context;
  std::map<TimerId, QTimer*> m_timers;
};

}  // namespace tevalo::shell
