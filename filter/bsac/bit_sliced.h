// The layers of a frame and the walk through its bit-sliced data. The walk is written once over a
// coder: decoding passes the arithmetic decoder, an encoder of the same decisions passes itself and
// the values it codes, so both sides make the same decisions in the same order.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "filter/bsac/arith.h"
#include "filter/bsac/frame.h"
#include "filter/bsac/models.h"
#include "filter/bsac/tables.h"

namespace bsac {

struct Layer {
  int group = 0;
  int top = 0;            // lines of the group covered once this layer is in
  uint32_t boundary = 0;  // bits from the frame's start at which the layer's spectral bits end
  bool base = false;
};

// The spectrum of a frame as the layers see it: one group of windows after another, each group's
// windows interleaved in runs of four lines (one group of one window for long windows).
struct LayerPlan {
  int count = 0;
  std::array<Layer, kMaxLayers> layers{};
  bool short_windows = false;
  int num_groups = 1;
  std::array<int, 8> group_start{};    // first line of the group in the interleaved spectrum
  std::array<int, 8> group_windows{};  // windows in the group
  std::array<int, 8> group_top{};      // lines of the group up to band max_sfb
  std::span<const uint16_t> offsets;   // band offsets of one window

  int band_offset(int g, int band) const { return offsets[size_t(band)] * group_windows[size_t(g)]; }
};

// Lines an enhancement layer adds to a group whose covered lines end at `top`.
int EnhancementStep(uint32_t rate, int top);
// The base lines of a group of `windows` short windows, rounded by rate.
int ShortBaseLines(uint32_t rate, int base_band, int windows);

// False for an invalid frame (no base lines, 100 layers or more).
bool PlanLayers(const SideInfo& si, const StreamTables& t, int target_layer, LayerPlan& plan);

// Interleaved line of a group back to the quantised values' index (window x 128 + line).
int DeinterleavedIndex(const LayerPlan& plan, int g, int line);

// True when `models` holds every model this frame's bit-sliced data needs.
bool HasModelsFor(const SideInfo& si, const Models& m);

inline int TopPlane(int cband_si) { return cband_si < 15 ? (cband_si + 1) / 2 : cband_si - 7; }

// Working state of one walk, kept outside the stack (two channels of 1024 lines).
struct SliceState {
  int16_t remaining[kMaxChannels][kFrameLength];
  int32_t magnitude[kMaxChannels][kFrameLength];
  uint8_t significant[kMaxChannels][kFrameLength];
  uint8_t negative[kMaxChannels][kFrameLength];
  uint8_t active[kFrameLength];
};

// The walk. `start_bits`: the frame's bits before the bit-sliced data. `target` (encoding only):
// the interleaved values to code, else null. `out`: the interleaved values decoded. Side
// information decisions read their hint from `si` and write the decision back into it.
template <class Coder>
bool WalkBitSlicedData(Coder& c, const LayerPlan& plan, SideInfo& si, const Models& m, uint32_t start_bits,
                       const int32_t (*target)[kFrameLength], SliceState& s, int32_t (*out)[kFrameLength]) {
  const int nch = si.channels;
  const BsacHeader& h = si.header;
  std::array<int, 8> cb_done{}, band_done{}, line_done{};
  for (int ch = 0; ch < nch; ++ch) {
    std::fill_n(s.remaining[ch], kFrameLength, int16_t(0));
    std::fill_n(s.magnitude[ch], kFrameLength, 0);
    std::fill_n(s.significant[ch], kFrameLength, uint8_t(0));
    std::fill_n(s.negative[ch], kFrameLength, uint8_t(0));
  }
  std::fill_n(s.active, kFrameLength, uint8_t(0));
  int highest = 0;

  for (int li = 0; li < plan.count; ++li) {
    const Layer& L = plan.layers[size_t(li)];
    const int g = L.group;
    const int base = plan.group_start[size_t(g)];
    // Coding bands of 32 lines opened by this layer.
    const int cb_end = (L.top + 31) / 32;
    for (int cb = cb_done[size_t(g)]; cb < cb_end; ++cb)
      for (int ch = 0; ch < nch; ++ch) {
        const int type = h.cband_si_type[size_t(ch)];
        const int v = c.Symbol(*m.cband_si[size_t(type)], si.cband_si[ch][g][cb]);
        if (v > m.cband_si_max[size_t(type)] || v > kMaxCbandSi) return false;
        si.cband_si[ch][g][cb] = uint8_t(v);
      }
    cb_done[size_t(g)] = std::max(cb_done[size_t(g)], cb_end);

    // Scale-factor bands opened: stereo information, noise flags, scale factors.
    int limit = band_done[size_t(g)];
    while (limit < si.max_sfb && plan.band_offset(g, limit) < L.top) ++limit;
    for (int b = band_done[size_t(g)]; b < limit; ++b) {
      if (nch == 2 && si.stereo_mode == 1) {
        si.ms_used[g][b] = uint8_t(c.Binary(*m.ms_used, si.ms_used[g][b]));
      } else if (nch == 2 && si.stereo_mode == 3) {
        const int hint = si.is_flag[g][b] ? si.is_flag[g][b] + 1 : si.ms_used[g][b];
        const int v = c.Symbol(*m.stereo_info, hint);
        si.ms_used[g][b] = uint8_t(v == 1);
        si.is_flag[g][b] = uint8_t(v >= 2 ? v - 1 : 0);
      }
      if (si.pns_present && b >= si.pns_start_sfb)
        for (int ch = 0; ch < nch; ++ch)
          if (!(ch == 1 && si.is_flag[g][b]))
            si.noise_flag[ch][g][b] = uint8_t(c.Binary(*m.noise_flag, si.noise_flag[ch][g][b]));
      for (int ch = 0; ch < nch; ++ch) {
        const int model = L.base ? h.base_scf_model[size_t(ch)] : h.enh_scf_model[size_t(ch)];
        int16_t& sf = si.sf[ch][g][b];
        if (ch == 1 && si.is_flag[g][b]) {
          sf = int16_t(c.Symbol(*m.scf[size_t(model)], sf));
        } else if (si.noise_flag[ch][g][b]) {
          sf = int16_t(c.Symbol(*m.noise_energy, sf + 256) - 256);
        } else {
          const int max_sf = h.max_scalefactor[size_t(ch)];
          const int v = max_sf - c.Symbol(*m.scf[size_t(model)], max_sf - sf);
          if (v < 0) return false;
          sf = int16_t(v);
        }
      }
    }
    band_done[size_t(g)] = limit;

    // Lines entering the coded range take their band's top plane.
    for (int x = line_done[size_t(g)]; x < L.top; ++x) {
      s.active[base + x] = 1;
      for (int ch = 0; ch < nch; ++ch) {
        s.remaining[ch][base + x] = int16_t(TopPlane(si.cband_si[ch][g][x / 32]));
        highest = std::max<int>(highest, s.remaining[ch][base + x]);
      }
    }
    line_done[size_t(g)] = std::max(line_done[size_t(g)], L.top);
    if (c.failed()) return false;

    // Spectral bits, plane by plane from the highest still open, within the layer's budget.
    bool budget_left = true;
    for (int plane = highest - 1; plane >= 0 && budget_left; --plane) {
      for (int gg = 0; gg < plan.num_groups && budget_left; ++gg) {
        const int gb = plan.group_start[size_t(gg)];
        for (int q = 0; q < line_done[size_t(gg)] && budget_left; q += 4) {
          bool any = false;
          for (int j = q; j < q + 4 && j < line_done[size_t(gg)]; ++j)
            for (int ch = 0; ch < nch; ++ch) any |= s.remaining[ch][gb + j] == plane + 1;
          if (!any) continue;
          for (int j = q; j < q + 4 && j < line_done[size_t(gg)] && budget_left; ++j) {
            const int x = gb + j;
            for (int ch = 0; ch < nch; ++ch) {
              if (s.remaining[ch][x] != plane + 1) continue;
              if (start_bits + c.BitsUsed() >= L.boundary) {
                budget_left = false;
                break;
              }
              const int want = target ? int((std::abs(target[ch][x]) >> plane) & 1) : 0;
              int bit;
              if (!s.significant[ch][x]) {
                const int si_v = si.cband_si[ch][gg][j / 32];
                const int dist = std::min(TopPlane(si_v) - 1 - plane, kSignificanceDistances - 1);
                bool earlier = false;
                for (int k = q; k < j; ++k) earlier |= s.significant[ch][gb + k] != 0;
                const int ctx = (j != q ? 1 : 0) + (earlier ? 2 : 0);
                const size_t idx = (size_t(si_v) * kSignificanceDistances + size_t(std::max(dist, 0))) *
                                       kSignificanceContexts +
                                   size_t(ctx);
                bit = c.Binary(m.significance[idx], want);
                if (bit) {
                  s.significant[ch][x] = 1;
                  s.negative[ch][x] = uint8_t(c.Sign(target && target[ch][x] < 0));
                }
              } else {
                bit = c.Binary(m.refinement[std::min(s.magnitude[ch][x], kRefinementStates - 1)], want);
              }
              s.magnitude[ch][x] = s.magnitude[ch][x] * 2 + bit;
              --s.remaining[ch][x];
              if (c.failed()) return false;
            }
          }
        }
      }
    }
    highest = 0;
    for (int ch = 0; ch < nch; ++ch)
      for (int x = 0; x < kFrameLength; ++x) highest = std::max<int>(highest, s.remaining[ch][x]);
  }

  for (int ch = 0; ch < nch; ++ch)
    for (int x = 0; x < kFrameLength; ++x) {
      const int32_t v = s.active[x] ? s.magnitude[ch][x] << s.remaining[ch][x] : 0;
      out[ch][x] = s.negative[ch][x] ? -v : v;
    }
  return !c.failed();
}

}  // namespace bsac
