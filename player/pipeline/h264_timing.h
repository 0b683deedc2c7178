// Frame period of an H.264 stream from the timing information of its sequence parameter set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tevalo::pipeline {

// nal: the SPS NAL unit from its header byte on (no start code), emulation prevention still in.
// Returns the frame period in 27 MHz ticks, or 0 when the SPS carries no usable timing.
int64_t SpsFramePeriodTicks(const uint8_t* nal, size_t size);

}  // namespace tevalo::pipeline
