#include "platform/kernel/tick.h"

#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/kernel/detail.h"

namespace tvk {
namespace {
std::atomic<uint32_t> g_tickOffset{0};
}

namespace detail {
uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
}  // namespace detail

uint32_t GetTickCount32() {
  return static_cast<uint32_t>(detail::MonotonicMs()) + g_tickOffset.load(std::memory_order_relaxed);
}

uint32_t SetTickCountOffset(uint32_t offset) { return g_tickOffset.exchange(offset); }

void SleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace tvk
