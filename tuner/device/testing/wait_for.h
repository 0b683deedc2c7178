// Timing helpers shared by the tuner tests.
#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls pred every 2 ms until it holds or the time runs out; the last answer decides. The default
// bound only ends a broken run.
template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs = 60000) {
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

}  // namespace testing_support
