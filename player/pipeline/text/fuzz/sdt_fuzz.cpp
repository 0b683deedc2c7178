// Input: a run of PID 0x11 payloads, each a flag byte (bit 0: unit start, bits 1-7 + 57: length)
// followed by that many bytes, through the demultiplexer's section assembler.
#include <algorithm>
#include <cstdint>

#include "arib_text_decoders.h"
#include "null_sink.h"
#include "player/pipeline/section_assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // one decoder for the whole run (its event table is large), forgetting everything per input
  static CheckingSink sink;
  static CAribTextDecoders dec(&sink);
  tevalo::pipeline::CSectionAssembler sections;
  sections.SetHandler(0x11, [](const uint8_t* s, size_t n) { dec.DecodeServiceName(s, n); });
  dec.Reset();
  size_t i = 0;
  int cc = 0;
  while (i < size) {
    const uint8_t flag = data[i++];
    const size_t len = std::min<size_t>({size_t(flag >> 1) + 57, size - i, 184});
    sections.Feed(0x11, flag & 1, cc++ & 0x0F, data + i, len);
    i += len;
  }
  return 0;
}
