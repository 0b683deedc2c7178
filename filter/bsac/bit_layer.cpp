#include "filter/bsac/bit_layer.h"

#include <cstring>

namespace bsac {
namespace {

// The byte of bits [bit, bit + 8) of `p`, which must hold one byte beyond when `bit` is unaligned.
inline uint8_t ByteAt(const uint8_t* p, uint32_t bit) {
  const uint32_t q = bit >> 3, r = bit & 7;
  if (r == 0) return p[q];
  return uint8_t((p[q] << r) | (p[q + 1] >> (8 - r)));
}

inline int BitAt(const uint8_t* p, uint32_t bit) { return (p[bit >> 3] >> (7 - (bit & 7))) & 1; }

inline void PutBit(uint8_t* p, uint32_t bit, int v) {
  const uint8_t mask = uint8_t(0x80u >> (bit & 7));
  if (v)
    p[bit >> 3] |= mask;
  else
    p[bit >> 3] &= uint8_t(~mask);
}

// Clears the bits after the valid ones, up to where valid bits were before (`old_valid`).
void ClearTail(BitBuffer& b, uint32_t old_valid) {
  const uint32_t full = b.valid_bits >> 3, r = b.valid_bits & 7;
  uint32_t from = full;
  if (r) {
    b.bytes[full] &= uint8_t(0xFF00u >> r);
    from = full + 1;
  }
  const uint32_t to = (old_valid + 7) / 8;
  if (from < to) std::memset(b.bytes.data() + from, 0, to - from);
}

}  // namespace

BitBuffer bitbuffer_alloc(uint32_t capacity_bits) {
  BitBuffer b;
  const uint32_t bytes = (capacity_bits + 7) / 8;
  // One spare byte lets the unaligned byte reads look one byte ahead at the end.
  b.bytes.assign(size_t(bytes) + 1, 0);
  b.capacity_bits = bytes * 8;
  return b;
}

BitStream bitstream_open(BitBuffer& buffer) { return BitStream{&buffer, 0}; }

void bitstream_close(BitStream& s, bool remove) {
  if (remove && s.buffer) {
    BitBuffer& b = *s.buffer;
    const uint32_t cut = s.position < b.valid_bits ? s.position : b.valid_bits;
    const uint32_t rest = b.valid_bits - cut;
    const uint32_t rest_bytes = (rest + 7) / 8;
    if ((cut & 7) == 0) {
      std::memmove(b.bytes.data(), b.bytes.data() + cut / 8, rest_bytes);
    } else {
      for (uint32_t i = 0; i < rest_bytes; ++i) b.bytes[i] = ByteAt(b.bytes.data(), cut + i * 8);
    }
    const uint32_t old_valid = b.valid_bits;
    b.valid_bits = rest;
    ClearTail(b, old_valid);
  }
  s.buffer = nullptr;
  s.position = 0;
}

bool bitstream_append(BitStream& src, BitBuffer& dst, uint32_t n) {
  if (!src.buffer || src.buffer == &dst) return false;
  const BitBuffer& from = *src.buffer;
  if (src.position > from.valid_bits || from.valid_bits - src.position < n) return false;
  if (dst.capacity_bits - dst.valid_bits < n) return false;
  const uint8_t* in = from.bytes.data();
  uint8_t* out = dst.bytes.data();
  uint32_t done = 0;
  if ((dst.valid_bits & 7) == 0) {
    // Whole bytes first, shifted when the source is unaligned.
    const uint32_t whole = n / 8;
    if ((src.position & 7) == 0) {
      std::memcpy(out + dst.valid_bits / 8, in + src.position / 8, whole);
    } else {
      for (uint32_t i = 0; i < whole; ++i) out[dst.valid_bits / 8 + i] = ByteAt(in, src.position + i * 8);
    }
    done = whole * 8;
  }
  for (; done < n; ++done) PutBit(out, dst.valid_bits + done, BitAt(in, src.position + done));
  dst.valid_bits += n;
  src.position += n;
  return true;
}

int bitstream_skip(BitStream& s, uint32_t n) {
  if (!s.buffer || s.position > s.buffer->valid_bits || s.buffer->valid_bits - s.position < n) return 1;
  s.position += n;
  return 0;
}

}  // namespace bsac
