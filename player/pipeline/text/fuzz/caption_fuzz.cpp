// Input: one caption packet payload (at most 184 bytes, as the demultiplexer hands it over).
#include <algorithm>
#include <cstdint>

#include "arib_text_decoders.h"
#include "null_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // one decoder for the whole run (its event table is large), forgetting everything per input
  static CheckingSink sink;
  static CAribTextDecoders dec(&sink);
  dec.Reset();
  dec.ParseCaptionPes(true, data, std::min<size_t>(size, 184));
  dec.ParseCaptionDataGroup(data, size);  // whole groups, beyond one packet
  return 0;
}
