#include "filter/bsac/arith.h"

namespace bsac {

int ArithShiftFor(uint32_t range) {
  if (range >= (1u << 29)) return 0;
  for (int n = 1; n <= 15; ++n)
    if (range >= (1u << (29 - n))) return n;
  return 16;
}

void ArithDecoder::arith_init() {
  range_ = 1;
  value_ = 0;
  pending_ = 30;
  shifted_ = 0;
  failed_ = false;
}

void ArithDecoder::ShiftIn() {
  if (pending_ > 0) {
    value_ = (value_ << pending_) | reader_.getbits(pending_);
    range_ <<= pending_;
    shifted_ += uint32_t(pending_);
    pending_ = 0;
  }
}

void ArithDecoder::Renormalise() {
  if (range_ == 0) {
    failed_ = true;
    range_ = 1u << 29;
  }
  pending_ = ArithShiftFor(range_);
}

int ArithDecoder::arith_decode_symbol(const CumulativeModel& m) {
  ShiftIn();
  const uint32_t r = range_ >> 14;
  if (r == 0 || !m.freq || m.size < 1) {
    failed_ = true;
    return 0;
  }
  const uint32_t c = value_ / r;
  int i = 0;
  if (c < m.freq[0]) {
    // Bounded: a table that does not end in 0 cannot place c.
    for (i = 1; i < m.size && m.freq[i] > c; ++i) {
    }
    if (i == m.size) {
      failed_ = true;
      return 0;
    }
  }
  const uint32_t upper = i == 0 ? kArithOne : m.freq[i - 1];
  value_ -= r * m.freq[i];
  range_ = r * upper - r * m.freq[i];
  Renormalise();
  return i;
}

int ArithDecoder::arith_decode_binary(uint32_t p) {
  ShiftIn();
  const uint32_t r = range_ >> 14;
  const uint32_t t = r * p;
  int bit;
  if (t > value_) {
    bit = 0;
    range_ = t;
  } else {
    bit = 1;
    value_ -= t;
    range_ = r * kArithOne - t;
  }
  Renormalise();
  return bit;
}

bool ArithDecoder::arith_decode_sign(int32_t& v) {
  ShiftIn();
  range_ = (range_ >> 1) & 0x7FFFE000u;
  bool negate = false;
  if (value_ >= range_) {
    negate = true;
    v = -v;
    value_ -= range_;
  }
  Renormalise();
  return negate;
}

}  // namespace bsac
