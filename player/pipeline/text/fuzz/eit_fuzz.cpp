// Input: a run of PID 0x27 payloads, each a flag byte (bit 0: unit start, bits 1-7 + 57: length)
// followed by that many bytes.
#include <algorithm>
#include <cstdint>

#include "arib_text_decoders.h"
#include "null_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // one decoder for the whole run (its event table is large), forgetting everything per input
  static CheckingSink sink;
  static CAribTextDecoders dec(&sink);
  dec.Reset();
  size_t i = 0;
  while (i < size) {
    const uint8_t flag = data[i++];
    const size_t len = std::min<size_t>({size_t(flag >> 1) + 57, size - i, 184});
    dec.ReassembleEit(flag & 1, data + i, len);
    i += len;
  }
  dec.ParseEitPresentFollowing(data, size);
  return 0;
}
