// Access units of any content after an open with a valid or a refused configuration, decoded with
// the carried models or with test models that reach the bit-sliced data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bsac_test_util.h"
#include "filter/bsac/bsac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const bsactest::TestModels test_models;
  const uint8_t flags = data[0];
  ++data;
  --size;
  bsac::BsacContext ctx((flags & 1) ? test_models.models : bsac::StandardModels());
  static const uint8_t configs[4][2] = {{0xB2, 0x11}, {0xB2, 0x09}, {0xB1, 0x91}, {0x12, 0x10}};
  bsac::bsac_open(ctx, configs[(flags >> 1) & 3], 2);
  std::vector<uint8_t> out(4096);
  // Units: a 16-bit little-endian length, then the bytes; with flag 8 the unit's frame_length is
  // made to match its size so that most units reach the frame decoder.
  while (size >= 2) {
    size_t n = size_t(data[0] | (data[1] << 8)) % 2100;
    data += 2;
    size -= 2;
    if (n > size) n = size;
    std::vector<uint8_t> unit(data, data + n);
    data += n;
    size -= n;
    if ((flags & 8) && n >= 2 && n < 2048) {
      unit[0] = uint8_t(n >> 3);
      unit[1] = uint8_t((unit[1] & 0x1F) | ((n & 7) << 5));
    }
    bsac::bsac_decode(ctx, unit.data(), unit.size(), out.data(), out.size());
    if (flags & 16) bsac::bsac_open(ctx, configs[(flags >> 5) & 3], 2);
  }
  bsac::bsac_close(ctx);
  return 0;
}
