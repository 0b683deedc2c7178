// Fixed tables of the decoder: sampling rates with their scale-factor bands and TNS limits, the
// dequantisation powers and the layer table of a stream.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace bsac {

inline constexpr int kFrameLength = 1024;
inline constexpr int kShortLength = 128;
inline constexpr int kMaxChannels = 2;
inline constexpr int kMaxBands = 64;  // max_sfb and pns_start_sfb are 6 bits
inline constexpr int kMaxLayers = 100;

struct RateEntry {
  uint32_t rate;
  std::span<const uint16_t> long_offsets;   // band count + 1 entries, ending at 1024
  std::span<const uint16_t> short_offsets;  // band count + 1 entries, ending at 128
  int tns_max_bands_long;
  int tns_max_bands_short;

  int long_bands() const { return int(long_offsets.size()) - 1; }
  int short_bands() const { return int(short_offsets.size()) - 1; }
};

inline constexpr int kTnsMaxOrderLong = 12;
inline constexpr int kTnsMaxOrderShort = 7;

// Index 0..11 of the AudioSpecificConfig's sampling frequency index; 0 for the others.
uint32_t RateOfIndex(int index);
// The entry of a rate; a rate that is not in the table takes the 48000 Hz entry.
const RateEntry& RateEntryOf(uint32_t rate);
std::span<const RateEntry> RateEntries();

float Pow2Quarter(int i);  // 2^(i/4), table for 0..127
float Pow4Thirds(int i);   // i^(4/3), table for 0..127

// Per stream: the rate's entry and the layer table.
struct StreamTables {
  const RateEntry* rate_entry = nullptr;
  uint32_t rate = 0;
  int channels = 0;
  // Cumulative bits of layers 0..k: 1024 x (16000 + 1000 k) / rate, down to a multiple of 8, per
  // channel. The base layer is 16 kbit/s per channel, each further layer 1 kbit/s per channel.
  std::array<uint32_t, kMaxLayers> layer_bits{};
};

void bsac_init_tables(StreamTables& t, uint32_t rate, int frame_length, int channels);

}  // namespace bsac
