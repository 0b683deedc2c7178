// Input: one payload of PID 0x11 (at most 184 bytes).
#include <algorithm>
#include <cstdint>

#include "arib_text_decoders.h"
#include "null_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingSink sink;
    CAribTextDecoders dec(&sink);
    dec.DecodeServiceName(true, data, std::min<size_t>(size, 184));
    return 0;
}
