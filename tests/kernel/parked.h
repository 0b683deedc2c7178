// Whether a thread sits in a kernel-object wait, for tests that must act only once a waiter waits.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace tevalo_test {

// Thread tid (any process's; a process's first thread has its pid) is asleep in the futex wait
// the kernel objects park on (FUTEX_WAIT for the value 0), not merely running, or waiting for a
// lock, or woken and not yet back.
inline bool ParkedInWait(pid_t tid) {
  const std::string dir = "/proc/" + std::to_string(tid);
  std::ifstream stat(dir + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t paren = line.rfind(')');
  if (paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'S') return false;
  std::ifstream sys(dir + "/syscall");
  long nr = -1;
  std::string word, op, value;
  if (!(sys >> nr >> word >> op >> value) || nr != SYS_futex) return false;
  return (std::stoul(op, nullptr, 16) & FUTEX_CMD_MASK) == FUTEX_WAIT && std::stoul(value, nullptr, 16) == 0;
}

// Polls until pred holds; false after a minute, which only a broken run takes.
template <typename Pred>
bool WaitUntil(Pred pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

template <typename... Tids>
bool WaitParked(Tids... tids) {
  return WaitUntil([&] { return (ParkedInWait(tids) && ...); });
}

inline pid_t CurrentTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

}  // namespace tevalo_test
