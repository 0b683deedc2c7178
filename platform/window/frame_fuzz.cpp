// Any bytes from a peer: the decoder never reads past them, and a frame it accepts encodes back to
// exactly the bytes it consumed.
#include <cstdint>
#include <cstring>

#include "platform/window/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tevalo::win::frame;
  Request req;
  size_t used = 0;
  if (DecodeRequest(data, size, req, used) == Decoded::kOk) {
    const auto back = Encode(req);
    if (back.size() != used || std::memcmp(back.data(), data, used) != 0) __builtin_trap();
  }
  Reply reply;
  DecodeReply(data, size, reply);
  return 0;
}
