// The bit-sliced coding's arithmetic decoder: 14-bit cumulative frequencies, 30-bit registers.
#pragma once

#include <cstdint>

#include "filter/bsac/bit_reader.h"

namespace bsac {

// Cumulative frequencies in 14 bits, descending; the last entry is 0. Symbol i has the interval
// [freq[i], freq[i - 1]) with 16384 before the first entry.
struct CumulativeModel {
  const uint16_t* freq = nullptr;
  int size = 0;
};

inline constexpr uint32_t kArithOne = 1u << 14;

class ArithDecoder {
 public:
  explicit ArithDecoder(BitReader& reader) : reader_(reader) {}

  void arith_init();
  // Each returns the decision; `failed()` turns true on a model or register state that cannot
  // have been coded (the frame is then invalid).
  int arith_decode_symbol(const CumulativeModel& model);
  int arith_decode_binary(uint32_t probability);
  // Negates `value` with probability one half; returns whether it did.
  bool arith_decode_sign(int32_t& value);

  bool failed() const { return failed_; }
  int pending() const { return pending_; }
  // Bits the coding has taken so far, counting those the next decision will shift in: equal to
  // the number of bits an encoder of the same decisions has emitted before its final flush.
  uint32_t bits_used() const { return shifted_ + uint32_t(pending_) - 30; }

 private:
  void ShiftIn();
  void Renormalise();

  BitReader& reader_;
  uint32_t range_ = 1;
  uint32_t value_ = 0;
  int pending_ = 30;
  uint32_t shifted_ = 0;
  bool failed_ = false;
};

// The number of bits to shift in before the next decision: 0 when range >= 2^29, else the smallest
// n >= 1 with range >= 2^(29 - n), 16 below 2^14.
int ArithShiftFor(uint32_t range);

}  // namespace bsac
