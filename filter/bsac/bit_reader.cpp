#include "filter/bsac/bit_reader.h"

#include <algorithm>
#include <cstring>

namespace bsac {

void BitReader::Attach(BitStream& s) {
  BitBuffer& b = *s.buffer;
  const size_t whole = b.valid_bits / 8;
  constexpr size_t kPad = 24;
  if (b.bytes.size() < whole + kPad) b.bytes.resize(whole + kPad);
  std::memset(b.bytes.data() + whole, 0, kPad);
  b.valid_bits = uint32_t(whole * 8 + kPad * 8);
  Attach(b.bytes.data(), whole + kPad);
  Skip(std::min<uint32_t>(s.position, b.valid_bits));
  read_ = 0;
}

void BitReader::Attach(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  pos_ = 0;
  cur_ = 0;
  used_ = 8;
  read_ = 0;
}

int BitReader::NextBit() {
  if (used_ == 8) {
    cur_ = pos_ < size_ ? data_[pos_] : 0;
    ++pos_;
    used_ = 0;
  }
  return (cur_ >> (7 - used_++)) & 1;
}

uint32_t BitReader::getbits(int n) {
  if (n <= 0) return 0;
  if (n > 32) n = 32;
  read_ += uint32_t(n);
  uint32_t v = 0;
  if (used_ == 8 && (n & 7) == 0) {
    for (int i = 0; i < n / 8; ++i, ++pos_) v = (v << 8) | (pos_ < size_ ? data_[pos_] : 0u);
    return v;
  }
  for (int i = 0; i < n; ++i) v = (v << 1) | uint32_t(NextBit());
  return v;
}

void BitReader::Skip(uint32_t n) {
  while (n > 0 && used_ != 8) {
    NextBit();
    --n;
    ++read_;
  }
  pos_ += n / 8;
  read_ += n / 8 * 8;
  for (uint32_t i = 0; i < n % 8; ++i) {
    NextBit();
    ++read_;
  }
}

void BitReader::ReadBytes(uint8_t* dst, size_t n) {
  for (size_t i = 0; i < n; ++i) dst[i] = uint8_t(getbits(8));
}

}  // namespace bsac
