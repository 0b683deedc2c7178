// Millisecond tick counter and sleep.
#pragma once

#include <cstdint>

namespace tvk {

// Milliseconds from a monotonic clock, wrapping at 2^32 like GetTickCount.
uint32_t GetTickCount32();

// Adds a constant to every later GetTickCount32 result in this process (tests move the counter
// next to its wrap-around with it). Returns the previous offset.
uint32_t SetTickCountOffset(uint32_t offset);

void SleepMs(uint32_t ms);

}  // namespace tvk
