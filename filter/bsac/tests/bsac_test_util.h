// Test helpers: a bit writer, an arithmetic encoder that mirrors the decoder's registers, models
// with made-up figures, and a writer of whole frames.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "filter/bsac/arith.h"
#include "filter/bsac/bit_sliced.h"
#include "filter/bsac/frame.h"
#include "filter/bsac/models.h"
#include "filter/bsac/tables.h"

namespace bsactest {

class BitWriter {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) bits_.push_back(uint8_t((value >> i) & 1));
  }
  void Append(const std::vector<uint8_t>& bits) { bits_.insert(bits_.end(), bits.begin(), bits.end()); }
  void AlignToByte() {
    while (bits_.size() % 8) bits_.push_back(0);
  }
  size_t size() const { return bits_.size(); }
  void Patch(size_t at, uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bits_[at + size_t(i)] = uint8_t((value >> (n - 1 - i)) & 1);
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
      if (bits_[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
    return out;
  }

 private:
  std::vector<uint8_t> bits_;
};

// Encodes the decisions the decoder reads back: the same range register, with the interval's low
// end kept as a growing bit string (carries run into it). Its code is that low end.
class ArithEncoder {
 public:
  int Symbol(const bsac::CumulativeModel& m, int v) {
    ShiftIn();
    const uint32_t r = range_ >> 14;
    const uint32_t upper = v == 0 ? bsac::kArithOne : m.freq[v - 1];
    Add(uint64_t(r) * m.freq[v]);
    range_ = r * upper - r * m.freq[v];
    Renormalise();
    return v;
  }
  int Binary(uint32_t p, int bit) {
    ShiftIn();
    const uint32_t r = range_ >> 14;
    const uint32_t t = r * p;
    if (bit) {
      Add(t);
      range_ = r * bsac::kArithOne - t;
    } else {
      range_ = t;
    }
    Renormalise();
    return bit;
  }
  bool Sign(bool negative) {
    ShiftIn();
    range_ = (range_ >> 1) & 0x7FFFE000u;
    if (negative) Add(range_);
    Renormalise();
    return negative;
  }
  uint32_t BitsUsed() const { return uint32_t(low_.size()) + uint32_t(pending_) - 30; }
  bool failed() const { return failed_; }
  const std::vector<uint8_t>& code() const { return low_; }

 private:
  void ShiftIn() {
    low_.insert(low_.end(), size_t(pending_), 0);
    range_ <<= pending_;
    pending_ = 0;
  }
  void Add(uint64_t x) {
    uint64_t carry = 0;
    for (size_t i = low_.size(); i-- > 0 && (x || carry);) {
      const uint64_t s = low_[i] + (x & 1) + carry;
      low_[i] = uint8_t(s & 1);
      carry = s >> 1;
      x >>= 1;
    }
    if (x || carry) failed_ = true;
  }
  void Renormalise() {
    if (range_ == 0) failed_ = true;
    pending_ = bsac::ArithShiftFor(range_);
  }

  uint32_t range_ = 1;
  int pending_ = 30;
  std::vector<uint8_t> low_;
  bool failed_ = false;
};

// Models with invented figures, enough to run every step of the bit-sliced coding.
struct TestModels {
  std::vector<uint16_t> cband_freq, scf_freq, stereo_freq, significance, refinement;
  bsac::CumulativeModel cband, scf, stereo;
  bsac::Models models;

  static std::vector<uint16_t> Uniform(int symbols) {
    std::vector<uint16_t> f(static_cast<size_t>(symbols));
    for (int i = 0; i < symbols; ++i) f[size_t(i)] = uint16_t(16384 - 16384 / symbols * (i + 1));
    f.back() = 0;
    return f;
  }

  TestModels() {
    cband_freq = Uniform(32);
    scf_freq = Uniform(256);
    stereo_freq = Uniform(4);
    cband = {cband_freq.data(), int(cband_freq.size())};
    scf = {scf_freq.data(), int(scf_freq.size())};
    stereo = {stereo_freq.data(), int(stereo_freq.size())};
    significance.resize((bsac::kMaxCbandSi + 1) * bsac::kSignificanceDistances * bsac::kSignificanceContexts);
    for (size_t i = 0; i < significance.size(); ++i) significance[i] = uint16_t(9000 + (i * 997) % 7000);
    refinement.resize(bsac::kRefinementStates);
    for (size_t i = 0; i < refinement.size(); ++i) refinement[i] = uint16_t(6000 + 300 * i);
    for (int t = 0; t < bsac::kCbandSiTypes; ++t) {
      models.cband_si[size_t(t)] = &cband;
      models.cband_si_max[size_t(t)] = 22;
    }
    for (auto& s : models.scf) s = &scf;
    models.ms_used = 7000;
    models.stereo_info = &stereo;
    models.noise_flag = 9000;
    models.noise_energy = &bsac::UniformModel512();
    models.significance = significance.data();
    models.refinement = refinement.data();
  }
};

inline int CbandSiFor(int32_t max_magnitude) {
  int planes = 0;
  while ((max_magnitude >> planes) != 0) ++planes;
  return planes == 0 ? 0 : planes <= 7 ? 2 * planes - 1 : planes + 7;
}

// Writes the header and side information of `si` (frame_length included) and, when max_sfb > 0,
// the bit-sliced data of `si.quant` coded with `models`. The cband_si of each coding band is made
// to fit its values. Returns the frame padded to si.header.frame_length bytes (or to its own
// length when that is 0), or nothing when the data does not fit.
// `carried`: the values as far as the layers' budgets carried them (what a decoder gets back).
inline std::vector<uint8_t> WriteFrame(bsac::SideInfo si, const bsac::StreamTables& t,
                                       const bsac::Models* models, bool patch_length = true,
                                       int32_t (*carried)[bsac::kFrameLength] = nullptr) {
  BitWriter w;
  const auto& h = si.header;
  const int nch = si.channels;
  w.Put(uint32_t(h.frame_length), 11);
  w.Put(uint32_t(h.header_length), 4);
  w.Put(uint32_t(h.sba_mode), 1);
  w.Put(uint32_t(h.top_layer), 6);
  w.Put(uint32_t(h.base_snf), 2);
  for (int ch = 0; ch < nch; ++ch) w.Put(uint32_t(h.max_scalefactor[size_t(ch)]), 8);
  w.Put(uint32_t(h.base_band), 5);
  for (int ch = 0; ch < nch; ++ch) {
    w.Put(uint32_t(h.cband_si_type[size_t(ch)]), 5);
    w.Put(uint32_t(h.base_scf_model[size_t(ch)]), 3);
    w.Put(uint32_t(h.enh_scf_model[size_t(ch)]), 3);
    w.Put(uint32_t(h.max_sfb_si_len[size_t(ch)]), 4);
  }
  w.Put(0, 1);
  w.Put(uint32_t(si.window_sequence), 2);
  w.Put(uint32_t(si.window_shape), 1);
  if (si.short_windows()) {
    w.Put(uint32_t(si.max_sfb), 4);
    int grouping = 0;
    int window = 0;
    for (int g = 0; g < si.num_groups; ++g)
      for (int k = 0; k < si.group_length[size_t(g)]; ++k, ++window)
        if (window > 0) grouping = (grouping << 1) | (k > 0 ? 1 : 0);
    w.Put(uint32_t(grouping), 7);
  } else {
    w.Put(uint32_t(si.max_sfb), 6);
  }
  w.Put(si.pns_present ? 1 : 0, 1);
  if (si.pns_present) w.Put(uint32_t(si.pns_start_sfb), 6);
  if (nch == 2) w.Put(uint32_t(si.stereo_mode), 2);
  for (int ch = 0; ch < nch; ++ch) {
    const bsac::ChannelTns& tns = si.tns[size_t(ch)];
    w.Put(tns.present ? 1 : 0, 1);
    if (tns.present) {
      const bool s = si.short_windows();
      for (int win = 0; win < (s ? 8 : 1); ++win) {
        const bsac::TnsWindow& tw = tns.window[size_t(win)];
        w.Put(uint32_t(tw.n_filt), s ? 1 : 2);
        if (!tw.n_filt) continue;
        w.Put(tw.filt[0].coef_bits == 4 ? 1 : 0, 1);  // coef_res; coef_compress 0
        for (int f = 0; f < tw.n_filt; ++f) {
          const bsac::TnsFilter& tf = tw.filt[size_t(f)];
          w.Put(uint32_t(tf.length), s ? 4 : 6);
          w.Put(uint32_t(tf.order), s ? 3 : 5);
          if (!tf.order) continue;
          w.Put(uint32_t(tf.direction), 1);
          w.Put(0, 1);
          for (int i = 0; i < tf.order; ++i)
            w.Put(uint32_t(tf.coef[size_t(i)]) & ((1u << tf.coef_bits) - 1), tf.coef_bits);
        }
      }
    }
    w.Put(0, 1);
  }
  w.AlignToByte();

  if (si.max_sfb > 0 && models) {
    bsac::LayerPlan plan;
    if (!bsac::PlanLayers(si, t, 0, plan)) return {};
    int32_t target[bsac::kMaxChannels][bsac::kFrameLength] = {};
    for (int ch = 0; ch < nch; ++ch)
      for (int g = 0; g < plan.num_groups; ++g)
        for (int x = 0; x < plan.group_top[size_t(g)]; ++x)
          target[ch][plan.group_start[size_t(g)] + x] = si.quant[ch][bsac::DeinterleavedIndex(plan, g, x)];
    for (int ch = 0; ch < nch; ++ch)
      for (int g = 0; g < plan.num_groups; ++g)
        for (int cb = 0; cb * 32 < plan.group_top[size_t(g)]; ++cb) {
          int32_t m = 0;
          for (int x = cb * 32; x < cb * 32 + 32 && x < plan.group_top[size_t(g)]; ++x)
            m = std::max(m, std::abs(target[ch][plan.group_start[size_t(g)] + x]));
          si.cband_si[ch][g][cb] = uint8_t(CbandSiFor(m));
        }
    ArithEncoder enc;
    auto state = std::make_unique<bsac::SliceState>();
    int32_t out[bsac::kMaxChannels][bsac::kFrameLength];
    if (!bsac::WalkBitSlicedData(enc, plan, si, *models, uint32_t(w.size()), target, *state, out)) return {};
    w.Append(enc.code());
    if (carried)
      for (int ch = 0; ch < nch; ++ch) {
        std::fill_n(carried[ch], bsac::kFrameLength, 0);
        for (int g = 0; g < plan.num_groups; ++g)
          for (int x = 0; x < plan.group_top[size_t(g)]; ++x)
            carried[ch][bsac::DeinterleavedIndex(plan, g, x)] = out[ch][plan.group_start[size_t(g)] + x];
      }
  }
  w.AlignToByte();
  const size_t bytes = w.size() / 8;
  if (h.frame_length != 0 && bytes > size_t(h.frame_length)) return {};
  if (patch_length && h.frame_length == 0) w.Patch(0, uint32_t(bytes), 11);
  std::vector<uint8_t> frame = w.Bytes();
  if (h.frame_length > 0) frame.resize(size_t(h.frame_length), 0);
  return frame;
}

}  // namespace bsactest
