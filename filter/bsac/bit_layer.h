// Bit buffers and cursors over them: the queue of access units and the per-unit work buffer are
// both bit buffers, and units move between them bit-exactly.
#pragma once

#include <cstdint>
#include <vector>

namespace bsac {

struct BitBuffer {
  std::vector<uint8_t> bytes;
  uint32_t capacity_bits = 0;
  uint32_t valid_bits = 0;
};

struct BitStream {
  BitBuffer* buffer = nullptr;
  uint32_t position = 0;  // bits
};

// Capacity rounded up to whole bytes; no valid bits.
BitBuffer bitbuffer_alloc(uint32_t capacity_bits);

BitStream bitstream_open(BitBuffer& buffer);

// With `remove`, the bits before the cursor leave the buffer and the rest moves to the front.
void bitstream_close(BitStream& stream, bool remove);

// Copies the next n bits of `source` after the valid bits of `target` and advances `source`.
// Refused (false, nothing changes) when `source` has fewer than n bits left or `target` lacks room.
bool bitstream_append(BitStream& source, BitBuffer& target, uint32_t n);

// 0 when the cursor moved by n; 1 when fewer than n bits remain (the cursor stays).
int bitstream_skip(BitStream& stream, uint32_t n);

}  // namespace bsac
