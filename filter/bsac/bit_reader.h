// The frame decoder's reader over the work buffer: most significant bit first, zeros past the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/bsac/bit_layer.h"

namespace bsac {

class BitReader {
 public:
  // Pads the work buffer with 24 zero bytes after its last valid byte, so a frame may be read up to
  // 192 bits beyond its end, and reads from the stream's position.
  void Attach(BitStream& stream);
  // Reads over plain bytes (no padding written); for tests and the header peek.
  void Attach(const uint8_t* data, size_t size);

  uint32_t getbits(int n);  // n = 0..32; 0 gives 0
  int ReadBit() { return int(getbits(1)); }
  void Skip(uint32_t n);
  void ReadBytes(uint8_t* dst, size_t n);

  uint32_t bits_read() const { return read_; }  // since Attach

 private:
  int NextBit();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;  // next byte to fetch
  uint8_t cur_ = 0;
  int used_ = 8;  // bits of `cur_` already taken; 8: fetch the next byte first
  uint32_t read_ = 0;
};

}  // namespace bsac
