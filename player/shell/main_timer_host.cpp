#include "player/shell/main_timer_host.h"

namespace tevalo::shell {

int CCoreTimerHost::FrameRate() const {
  auto graph = m_core.MediaGraph();
  return graph ? graph->GetFrameRate() : 0;
}

bool CCoreTimerHost::Position(int64_t* tenths) {
  auto graph = m_core.MediaGraph();
  int value = 0;
  if (!graph || graph->GetPosition(&value) != 1) return false;
  *tenths = value;
  return true;
}

int64_t CCoreTimerHost::Duration() {
  auto graph = m_core.MediaGraph();
  int value = 0;
  if (!graph) return 0;
  graph->GetDuration(&value);
  return value;
}

void CCoreTimerHost::SetChannelLock(int index, int value) {
  // The timers only ever clear a mark; setting one is the stream headers' business.
  if (value == 0) m_core.ClearChannelLock(index);
}

}  // namespace tevalo::shell
