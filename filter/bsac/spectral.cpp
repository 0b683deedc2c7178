#include "filter/bsac/spectral.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace bsac {
namespace {

// Calls f(group, window, band, first line, end line) for every band below max_sfb of every window.
template <class F>
void ForEachBand(const SideInfo& si, const RateEntry& e, F&& f) {
  if (!si.short_windows()) {
    for (int b = 0; b < si.max_sfb; ++b)
      f(0, 0, b, int(e.long_offsets[size_t(b)]), int(e.long_offsets[size_t(b) + 1]));
    return;
  }
  int window = 0;
  for (int g = 0; g < si.num_groups; ++g)
    for (int w = 0; w < si.group_length[size_t(g)]; ++w, ++window)
      for (int b = 0; b < si.max_sfb; ++b)
        f(g, window, b, window * kShortLength + e.short_offsets[size_t(b)],
          window * kShortLength + e.short_offsets[size_t(b) + 1]);
}

float Gain(int sf) {
  if (sf == 0) return 0.0f;
  if (sf >= 100 && sf < 228) return Pow2Quarter(sf - 100);
  return float(std::pow(2.0, (sf - 100) / 4.0));
}

// sign(q) x |q|^(4/3)
float Signed43(int32_t q) {
  const int32_t a = q < 0 ? -q : q;
  const float m = Pow4Thirds(a);
  return q < 0 ? -m : m;
}

}  // namespace

float DequantisedValue(int32_t q, int sf) { return Signed43(q) * Gain(sf); }

int bsac_dequantise(const SideInfo& si, const RateEntry& e, int ch, float* out) {
  std::fill_n(out, kFrameLength, 0.0f);
  bool bad = false;
  ForEachBand(si, e, [&](int g, int, int b, int start, int end) {
    if (start < 0 || end < start || end > kFrameLength) {
      bad = true;
      return;
    }
    if (ch == 1 && si.is_flag[g][b]) return;
    const float gain = Gain(si.sf[ch][g][b]);
    if (gain == 0.0f) return;
    for (int i = start; i < end; ++i) out[i] = Signed43(si.quant[ch][i]) * gain;
  });
  return bad ? -1 : 0;
}

void bsac_ms_stereo(const SideInfo& si, const RateEntry& e, float* l, float* r) {
  ForEachBand(si, e, [&](int g, int, int b, int start, int end) {
    if (!si.ms_used[g][b]) return;
    for (int i = start; i < end; ++i) {
      const float a = l[i], c = r[i];
      l[i] = a + c;
      r[i] = a - c;
    }
  });
}

void bsac_noise_substitution(const SideInfo& si, const RateEntry& e, int ch, float* spec, NoiseState& ns) {
  ForEachBand(si, e, [&](int g, int window, int b, int start, int end) {
    if (!si.noise_flag[ch][g][b]) return;
    const int n = end - start;
    if (n <= 0) return;
    const bool correlated = ch == 1 && si.noise_flag[0][g][b] && si.ms_used[g][b];
    uint32_t local = ns.saved[window][b];
    uint32_t& seed = correlated ? local : ns.seed;
    if (!correlated) ns.saved[window][b] = ns.seed;
    const float scale = float(1.0 / std::sqrt(double(n) * 1.5625e18));
    double energy = 0.0;
    for (int i = start; i < end; ++i) {
      seed = seed * 1664525u + 1013904223u;
      spec[i] = float(int32_t(seed)) * scale;
      energy += double(spec[i]) * spec[i];
    }
    if (energy <= 0.0) return;
    const float gain = float(std::pow(2.0, 0.25 * si.sf[ch][g][b]) / std::sqrt(energy));
    for (int i = start; i < end; ++i) spec[i] *= gain;
  });
}

void bsac_intensity_stereo(const SideInfo& si, const RateEntry& e, const float* l, float* r) {
  ForEachBand(si, e, [&](int g, int, int b, int start, int end) {
    const int flag = si.is_flag[g][b];
    if (!flag) return;
    float scale = float(std::pow(0.5, 0.25 * si.sf[1][g][b]));
    if (flag == 2) scale = -scale;
    for (int i = start; i < end; ++i) r[i] = l[i] * scale;
  });
}

float TnsCoefficient(int q, int bits) {
  const double half_pi = std::numbers::pi / 2.0;
  const double base = double(1 << (bits - 1));
  const double iqfac = q >= 0 ? (base - 0.5) / half_pi : (base + 0.5) / half_pi;
  return float(std::sin(q / iqfac));
}

void bsac_tns(const SideInfo& si, const RateEntry& e, int ch, float* spec) {
  const ChannelTns& tns = si.tns[size_t(ch)];
  if (!tns.present) return;
  const bool shorts = si.short_windows();
  const int windows = shorts ? 8 : 1;
  const auto offsets = shorts ? e.short_offsets : e.long_offsets;
  const int bands = int(offsets.size()) - 1;
  const int max_bands = std::min(shorts ? e.tns_max_bands_short : e.tns_max_bands_long, si.max_sfb);
  const int max_order = shorts ? kTnsMaxOrderShort : kTnsMaxOrderLong;
  for (int w = 0; w < windows; ++w) {
    const TnsWindow& tw = tns.window[size_t(w)];
    float* x = spec + (shorts ? w * kShortLength : 0);
    int top = bands;
    for (int f = 0; f < tw.n_filt; ++f) {
      const TnsFilter& tf = tw.filt[size_t(f)];
      const int bottom = std::max(top - tf.length, 0);
      const int order = std::min(tf.order, max_order);
      const int start = offsets[size_t(std::min(bottom, max_bands))];
      const int end = offsets[size_t(std::min(top, max_bands))];
      top = bottom;
      if (order == 0 || end <= start) continue;
      // Reflection coefficients to the all-pole filter by the step-up recursion.
      float a[kTnsMaxOrderLong + 1] = {1.0f};
      float b[kTnsMaxOrderLong + 1];
      for (int m = 1; m <= order; ++m) {
        const float k = TnsCoefficient(tf.coef[size_t(m - 1)], tf.coef_bits);
        for (int i = 1; i < m; ++i) b[i] = a[i] + k * a[m - i];
        for (int i = 1; i < m; ++i) a[i] = b[i];
        a[m] = k;
      }
      float state[kTnsMaxOrderLong] = {};
      const int n = end - start;
      for (int i = 0; i < n; ++i) {
        float& v = x[tf.direction ? end - 1 - i : start + i];
        float y = v;
        for (int k = 1; k <= order; ++k) y -= a[k] * state[k - 1];
        for (int k = order - 1; k > 0; --k) state[k] = state[k - 1];
        state[0] = y;
        v = y;
      }
    }
  }
}

}  // namespace bsac
