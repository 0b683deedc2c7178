#include "player/pipeline/h264_timing.h"

#include <vector>

#include "player/pipeline/ts_constants.h"

namespace tevalo::pipeline {

namespace {

class BitReader {
 public:
  BitReader(const std::vector<uint8_t>& d) : m_d(d) {}
  bool Ok() const { return !m_over; }
  uint32_t Bit() {
    if (m_pos >= m_d.size() * 8) {
      m_over = true;
      return 0;
    }
    const uint32_t b = (m_d[m_pos >> 3] >> (7 - (m_pos & 7))) & 1;
    ++m_pos;
    return b;
  }
  uint32_t Bits(int n) {
    uint32_t v = 0;
    while (n--) v = (v << 1) | Bit();
    return v;
  }
  uint32_t Ue() {
    int zeros = 0;
    while (Bit() == 0) {
      if (m_over || ++zeros > 31) {
        m_over = true;
        return 0;
      }
    }
    return zeros ? ((1u << zeros) - 1 + Bits(zeros)) : 0;
  }
  int32_t Se() {
    const uint32_t k = Ue();
    return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
  }

 private:
  const std::vector<uint8_t>& m_d;
  size_t m_pos = 0;
  bool m_over = false;
};

void SkipScalingList(BitReader& r, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size && r.Ok(); ++j) {
    if (next != 0) next = (last + r.Se() + 256) % 256;
    last = next == 0 ? last : next;
  }
}

}  // namespace

int64_t SpsFramePeriodTicks(const uint8_t* nal, size_t size) {
  if (size < 4 || (nal[0] & 0x1F) != 7) return 0;
  std::vector<uint8_t> rbsp;
  rbsp.reserve(size);
  int zeros = 0;
  for (size_t i = 1; i < size; ++i) {
    if (zeros >= 2 && nal[i] == 0x03) {
      zeros = 0;
      continue;
    }
    zeros = nal[i] == 0 ? zeros + 1 : 0;
    rbsp.push_back(nal[i]);
  }
  BitReader r(rbsp);
  const uint32_t profile = r.Bits(8);
  r.Bits(16);  // constraint flags, level
  r.Ue();      // seq_parameter_set_id
  if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
      profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
      profile == 139 || profile == 134 || profile == 135) {
    const uint32_t chroma = r.Ue();
    if (chroma == 3) r.Bit();
    r.Ue();
    r.Ue();
    r.Bit();
    if (r.Bit()) {
      for (int i = 0; i < (chroma != 3 ? 8 : 12) && r.Ok(); ++i)
        if (r.Bit()) SkipScalingList(r, i < 6 ? 16 : 64);
    }
  }
  r.Ue();  // log2_max_frame_num_minus4
  const uint32_t pocType = r.Ue();
  if (pocType == 0) {
    r.Ue();
  } else if (pocType == 1) {
    r.Bit();
    r.Se();
    r.Se();
    const uint32_t cycle = r.Ue();
    if (cycle > 255) return 0;
    for (uint32_t i = 0; i < cycle && r.Ok(); ++i) r.Se();
  }
  r.Ue();                 // max_num_ref_frames
  r.Bit();                // gaps
  r.Ue();                 // width
  r.Ue();                 // height
  if (!r.Bit()) r.Bit();  // frame_mbs_only, mb_adaptive
  r.Bit();                // direct_8x8
  if (r.Bit()) {
    r.Ue();
    r.Ue();
    r.Ue();
    r.Ue();
  }
  if (!r.Bit() || !r.Ok()) return 0;  // no VUI
  if (r.Bit()) {                      // aspect ratio
    if (r.Bits(8) == 255) r.Bits(32);
  }
  if (r.Bit()) r.Bit();  // overscan
  if (r.Bit()) {         // video signal type
    r.Bits(4);
    if (r.Bit()) r.Bits(24);
  }
  if (r.Bit()) {  // chroma location
    r.Ue();
    r.Ue();
  }
  if (!r.Bit()) return 0;  // timing_info_present
  const uint32_t unitsInTick = r.Bits(32);
  const uint32_t timeScale = r.Bits(32);
  if (!r.Ok() || unitsInTick == 0 || timeScale == 0) return 0;
  // One frame is two ticks of the field clock.
  const int64_t period = kTicksPerSecond * 2 * int64_t(unitsInTick) / int64_t(timeScale);
  // Anything outside 1..120 frames a second is a damaged SPS.
  if (period < kTicksPerSecond / 120 || period > kTicksPerSecond) return 0;
  return period;
}

}  // namespace tevalo::pipeline
