// Arbitrary bytes as a stream file: refused with a reason, or looped without reading out of bounds.
#include "ts_loop.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    tunersim::TsLoop loop(std::vector<uint8_t>(data, data + size));
    uint8_t out[tunersim::kPacketSize];
    const uint64_t n = loop.packet_count();
    for (uint64_t i = 0; i < 3 * n && i < 6000; ++i) {
      loop.packet(i, out);
      if (loop.start_ticks(i + 1) < loop.start_ticks(i)) __builtin_trap();
    }
    loop.packet(uint64_t(1) << 40, out);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
