// Stream threads ask for real-time scheduling; where the system refuses (no privilege), they try a
// higher nice level, and where that is refused too they run as they are.
#pragma once

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quonda {

inline void RaiseToTimeCritical() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
  // Per-thread nice on Linux: the thread id names the thread.
  auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  (void)::setpriority(PRIO_PROCESS, tid, -10);
}

}  // namespace quonda
