// One frame's header, side information and bit-sliced spectral data.
#pragma once

#include <array>
#include <cstdint>

#include "filter/bsac/bit_reader.h"
#include "filter/bsac/models.h"
#include "filter/bsac/tables.h"

namespace bsac {

enum WindowSequence : uint8_t { kOnlyLong = 0, kLongStart = 1, kEightShort = 2, kLongStop = 3 };

struct BsacHeader {
  int frame_length = 0;  // bytes
  int header_length = 0;
  int sba_mode = 0;
  int top_layer = 0;
  int base_snf = 0;  // as coded; used plus one
  std::array<int, kMaxChannels> max_scalefactor{};
  int base_band = 0;
  std::array<int, kMaxChannels> cband_si_type{};
  std::array<int, kMaxChannels> base_scf_model{};
  std::array<int, kMaxChannels> enh_scf_model{};
  std::array<int, kMaxChannels> max_sfb_si_len{};
};

struct TnsFilter {
  int length = 0;
  int order = 0;
  int direction = 0;
  int coef_bits = 0;  // width of each coefficient: coef_res + 3 - coef_compress
  std::array<int8_t, 32> coef{};
};

struct TnsWindow {
  int n_filt = 0;
  std::array<TnsFilter, 3> filt{};
};

struct ChannelTns {
  bool present = false;
  std::array<TnsWindow, 8> window{};
};

inline constexpr int kMaxCbands = kFrameLength / 32;

struct SideInfo {
  BsacHeader header;
  int channels = 1;
  int window_sequence = kOnlyLong;
  int window_shape = 0;
  int max_sfb = 0;
  int num_groups = 1;
  std::array<int, 8> group_length{};  // windows per group
  bool pns_present = false;
  int pns_start_sfb = 63;
  int stereo_mode = 0;
  uint8_t ms_used[8][kMaxBands] = {};
  uint8_t is_flag[8][kMaxBands] = {};  // 0 none, 1 in phase, 2 out of phase
  uint8_t noise_flag[kMaxChannels][8][kMaxBands] = {};
  // Scale factors with the offset 100 (0: band silent); the second channel's intensity positions
  // and each channel's noise energies take the slot of their band.
  int16_t sf[kMaxChannels][8][kMaxBands] = {};
  uint8_t cband_si[kMaxChannels][8][kMaxCbands] = {};
  std::array<ChannelTns, kMaxChannels> tns{};
  // Quantised values: 1024 lines, or eight windows of 128 lines.
  int32_t quant[kMaxChannels][kFrameLength] = {};

  bool short_windows() const { return window_sequence == kEightShort; }
};

// Reads the whole frame (header, side information, bit-sliced data and padding) from `reader`,
// which is at the frame's first bit, into `si`. Returns the bits read, or -1 for an invalid frame.
int bsac_parse_header(BitReader& reader, int target_layer, SideInfo& si, int channels,
                      const StreamTables& tables, const Models& models);

// scale_factor_grouping: each of the seven bits from the most significant one extends the current
// group (1) or starts a new one (0). Returns the group count.
int GroupsFromGrouping(int grouping, std::array<int, 8>& group_length);

}  // namespace bsac
