#include "filter/bsac/frame.h"

#include <algorithm>
#include <memory>

#include "filter/bsac/bit_sliced.h"

namespace bsac {
namespace {

// Reads tns_data for every window of the channel; false when a filter reaches below the lowest
// band.
bool ReadTns(BitReader& r, bool short_windows, int bands, ChannelTns& tns) {
  const int windows = short_windows ? 8 : 1;
  for (int w = 0; w < windows; ++w) {
    TnsWindow& tw = tns.window[size_t(w)];
    tw.n_filt = int(r.getbits(short_windows ? 1 : 2));
    if (tw.n_filt == 0) continue;
    const int coef_res = int(r.getbits(1));
    int top = bands;
    for (int f = 0; f < tw.n_filt; ++f) {
      TnsFilter& tf = tw.filt[size_t(f)];
      tf.length = int(r.getbits(short_windows ? 4 : 6));
      tf.order = int(r.getbits(short_windows ? 3 : 5));
      if (tf.length > top) return false;
      top -= tf.length;
      if (tf.order == 0) continue;
      tf.direction = int(r.getbits(1));
      const int compress = int(r.getbits(1));
      tf.coef_bits = coef_res + 3 - compress;
      for (int i = 0; i < tf.order; ++i) {
        const uint32_t raw = r.getbits(tf.coef_bits);
        const uint32_t sign = 1u << (tf.coef_bits - 1);
        tf.coef[size_t(i)] = int8_t(raw & sign ? int(raw) - int(sign << 1) : int(raw));
      }
    }
  }
  return true;
}

// Decoder side of the walk.
struct DecodingCoder {
  ArithDecoder& d;
  int Symbol(const CumulativeModel& m, int) { return d.arith_decode_symbol(m); }
  int Binary(uint32_t p, int) { return d.arith_decode_binary(p); }
  bool Sign(bool) {
    int32_t v = 1;
    return d.arith_decode_sign(v);
  }
  uint32_t BitsUsed() const { return d.bits_used(); }
  bool failed() const { return d.failed(); }
};

}  // namespace

int GroupsFromGrouping(int grouping, std::array<int, 8>& len) {
  len.fill(0);
  int groups = 1;
  len[0] = 1;
  for (int bit = 6; bit >= 0; --bit) {
    if ((grouping >> bit) & 1)
      ++len[size_t(groups - 1)];
    else
      len[size_t(groups++)] = 1;
  }
  return groups;
}

int EnhancementStep(uint32_t rate, int top) {
  switch (rate) {
    case 11025:
    case 12000:
    case 16000:
      return 32;
    case 22050:
    case 24000:
    case 32000:
      return 16;
    case 44100:
    case 48000:
      return (top + 8) % 32 == 0 ? 8 : 12;
    default:
      return 64;
  }
}

int ShortBaseLines(uint32_t rate, int base_band, int windows) {
  const int lines = 4 * base_band * windows;
  switch (rate) {
    case 8000:
      return lines / 64 * 64;
    case 11025:
    case 12000:
    case 16000:
      return lines / 32 * 32;
    case 22050:
    case 24000:
    case 32000:
      return lines / 16 * 16;
    case 44100:
    case 48000: {
      const int rem = lines % 32;
      return lines - rem + (rem > 15 ? 20 : rem > 3 ? 8 : 0);
    }
    default:
      return lines;
  }
}

bool PlanLayers(const SideInfo& si, const StreamTables& t, int target_layer, LayerPlan& plan) {
  const RateEntry& e = *t.rate_entry;
  const bool shorts = si.short_windows();
  plan.count = 0;
  plan.short_windows = shorts;
  plan.offsets = shorts ? e.short_offsets : e.long_offsets;
  plan.num_groups = shorts ? si.num_groups : 1;
  int start = 0;
  for (int g = 0; g < plan.num_groups; ++g) {
    plan.group_windows[size_t(g)] = shorts ? si.group_length[size_t(g)] : 1;
    plan.group_start[size_t(g)] = start;
    plan.group_top[size_t(g)] = plan.band_offset(g, si.max_sfb);
    start += (shorts ? kShortLength : kFrameLength) * plan.group_windows[size_t(g)];
  }
  const uint32_t frame_bits = uint32_t(si.header.frame_length) * 8;

  // Base layers: 32 lines each over the base part of every group.
  std::array<int, 8> top{};
  for (int g = 0; g < plan.num_groups; ++g) {
    const int gtop = plan.group_top[size_t(g)];
    const int wanted = shorts ? ShortBaseLines(t.rate, si.header.base_band, plan.group_windows[size_t(g)])
                              : 32 * si.header.base_band;
    const int a = std::min(wanted, gtop);
    if (a <= 0) return false;
    for (int reach = 32; top[size_t(g)] < a; reach += 32) {
      if (plan.count >= kMaxLayers - 1) return false;
      top[size_t(g)] = std::min(a, reach);
      plan.layers[size_t(plan.count++)] = Layer{g, top[size_t(g)], 0, true};
    }
  }
  const int base_layers = plan.count;
  for (int i = 0; i < base_layers; ++i)
    plan.layers[size_t(i)].boundary =
        std::min(frame_bits, uint32_t(uint64_t(t.layer_bits[0]) * uint32_t(i + 1) / uint32_t(base_layers)));

  // Enhancement layers: the groups in turn, each layer adding the rate's step.
  int enhancement = si.header.top_layer;
  if (target_layer != 0) enhancement = std::clamp(target_layer - 16, 0, enhancement);
  if (base_layers + enhancement >= kMaxLayers) return false;
  int g = 0;
  for (int k = 0; k < enhancement; ++k) {
    for (int tries = 0; tries < plan.num_groups && top[size_t(g)] >= plan.group_top[size_t(g)]; ++tries)
      g = (g + 1) % plan.num_groups;
    top[size_t(g)] =
        std::min(top[size_t(g)] + EnhancementStep(t.rate, top[size_t(g)]), plan.group_top[size_t(g)]);
    plan.layers[size_t(plan.count++)] =
        Layer{g, top[size_t(g)], std::min(frame_bits, t.layer_bits[size_t(k + 1)]), false};
    g = (g + 1) % plan.num_groups;
  }
  return true;
}

int DeinterleavedIndex(const LayerPlan& plan, int g, int line) {
  const int w = plan.group_windows[size_t(g)];
  if (!plan.short_windows) return line;
  const int first_window = plan.group_start[size_t(g)] / kShortLength;
  const int run = line / (4 * w);
  const int window = (line / 4) % w;
  return (first_window + window) * kShortLength + run * 4 + line % 4;
}

bool HasModelsFor(const SideInfo& si, const Models& m) {
  const BsacHeader& h = si.header;
  for (int ch = 0; ch < si.channels; ++ch) {
    if (!m.cband_si[size_t(h.cband_si_type[size_t(ch)])]) return false;
    if (!m.scf[size_t(h.base_scf_model[size_t(ch)])] || !m.scf[size_t(h.enh_scf_model[size_t(ch)])])
      return false;
  }
  if (si.channels == 2 && si.stereo_mode == 1 && !m.ms_used) return false;
  if (si.channels == 2 && si.stereo_mode == 3 && !m.stereo_info) return false;
  if (si.pns_present && si.pns_start_sfb < si.max_sfb && (!m.noise_flag || !m.noise_energy)) return false;
  return m.significance && m.refinement;
}

int bsac_parse_header(BitReader& r, int target_layer, SideInfo& si, int channels, const StreamTables& t,
                      const Models& models) {
  si = SideInfo{};
  si.channels = channels;
  BsacHeader& h = si.header;
  h.frame_length = int(r.getbits(11));
  h.header_length = int(r.getbits(4));
  h.sba_mode = int(r.getbits(1));
  h.top_layer = int(r.getbits(6));
  h.base_snf = int(r.getbits(2));
  if (h.frame_length == 0 || h.sba_mode == 1) return -1;
  for (int ch = 0; ch < channels; ++ch) h.max_scalefactor[size_t(ch)] = int(r.getbits(8));
  h.base_band = int(r.getbits(5));
  for (int ch = 0; ch < channels; ++ch) {
    h.cband_si_type[size_t(ch)] = int(r.getbits(5));
    h.base_scf_model[size_t(ch)] = int(r.getbits(3));
    h.enh_scf_model[size_t(ch)] = int(r.getbits(3));
    h.max_sfb_si_len[size_t(ch)] = int(r.getbits(4));
  }

  // General header, shared by both channels.
  r.getbits(1);
  si.window_sequence = int(r.getbits(2));
  si.window_shape = int(r.getbits(1));
  const RateEntry& e = *t.rate_entry;
  int bands;
  if (si.short_windows()) {
    si.max_sfb = int(r.getbits(4));
    si.num_groups = GroupsFromGrouping(int(r.getbits(7)), si.group_length);
    bands = e.short_bands();
  } else {
    si.max_sfb = int(r.getbits(6));
    si.num_groups = 1;
    si.group_length[0] = 1;
    bands = e.long_bands();
  }
  if (si.max_sfb > bands) return -1;
  si.pns_present = r.getbits(1) != 0;
  if (si.pns_present) {
    si.pns_start_sfb = int(r.getbits(6));
    if (si.pns_start_sfb > bands) return -1;
  }
  if (channels == 2) {
    si.stereo_mode = int(r.getbits(2));
    if (si.stereo_mode == 2)
      for (auto& group : si.ms_used) std::fill(std::begin(group), std::end(group), uint8_t(1));
  }
  for (int ch = 0; ch < channels; ++ch) {
    ChannelTns& tns = si.tns[size_t(ch)];
    tns.present = r.getbits(1) != 0;
    if (tns.present && !ReadTns(r, si.short_windows(), bands, tns)) return -1;
    if (r.getbits(1) != 0) return -1;  // long-term prediction: not in this object type
  }
  r.Skip((8 - r.bits_read() % 8) % 8);

  if (si.max_sfb > 0) {
    if (!HasModelsFor(si, models)) return -1;
    LayerPlan plan;
    if (!PlanLayers(si, t, target_layer, plan)) return -1;
    ArithDecoder arith(r);
    arith.arith_init();
    DecodingCoder coder{arith};
    auto state = std::make_unique<SliceState>();
    int32_t interleaved[kMaxChannels][kFrameLength];
    if (!WalkBitSlicedData(coder, plan, si, models, r.bits_read(), nullptr, *state, interleaved)) return -1;
    for (int ch = 0; ch < channels; ++ch)
      for (int g = 0; g < plan.num_groups; ++g)
        for (int x = 0; x < plan.group_top[size_t(g)]; ++x)
          si.quant[ch][DeinterleavedIndex(plan, g, x)] = interleaved[ch][plan.group_start[size_t(g)] + x];
  }
  const uint32_t total = uint32_t(h.frame_length) * 8;
  if (r.bits_read() < total) r.Skip(total - r.bits_read());
  return int(r.bits_read());
}

}  // namespace bsac
