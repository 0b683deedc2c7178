// Input: one caption packet payload (at most 184 bytes, as the demultiplexer hands it over).
#include <algorithm>
#include <cstdint>

#include "arib_text_decoders.h"
#include "null_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingSink sink;
    CAribTextDecoders dec(&sink);
    dec.ParseCaptionPes(true, data, std::min<size_t>(size, 184));
    dec.ParseCaptionDataGroup(data, size);  // whole groups, beyond one packet
    return 0;
}
