#include "filter/bsac/tables.h"

#include <cmath>

namespace bsac {
namespace {

constexpr uint16_t kLong96[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,
                                56,  64,  72,  80,  88,  96,  108, 120, 132, 144, 156, 172, 188, 212,
                                240, 276, 320, 384, 448, 512, 576, 640, 704, 768, 832, 896, 960, 1024};
constexpr uint16_t kLong64[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,
                                48,  52,  56,  64,  72,  80,  88,  100, 112, 124, 140, 156,
                                172, 192, 216, 240, 268, 304, 344, 384, 424, 464, 504, 544,
                                584, 624, 664, 704, 744, 784, 824, 864, 904, 944, 984, 1024};
constexpr uint16_t kLong48[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,
                                64,  72,  80,  88,  96,  108, 120, 132, 144, 160, 176, 196, 216,
                                240, 264, 292, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608,
                                640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};
constexpr uint16_t kLong32[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,
                                64,  72,  80,  88,  96,  108, 120, 132, 144, 160, 176, 196, 216,
                                240, 264, 292, 320, 352, 384, 416, 448, 480, 512, 544, 576, 608,
                                640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 960, 992, 1024};
constexpr uint16_t kLong24[] = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,
                                52,  60,  68,  76,  84,  92,  100, 108, 116, 124, 136, 148,
                                160, 172, 188, 204, 220, 240, 260, 284, 308, 336, 364, 396,
                                432, 468, 508, 552, 600, 652, 704, 768, 832, 896, 960, 1024};
constexpr uint16_t kLong16[] = {0,   8,   16,  24,  32,  40,  48,  56,  64,  72,  80,  88,  100, 112, 124,
                                136, 148, 160, 172, 184, 196, 212, 228, 244, 260, 280, 300, 320, 344, 368,
                                396, 424, 456, 492, 532, 572, 616, 664, 716, 772, 832, 896, 960, 1024};
constexpr uint16_t kLong8[] = {0,   12,  24,  36,  48,  60,  72,  84,  96,  108, 120, 132, 144, 156,
                               172, 188, 204, 220, 236, 252, 268, 288, 308, 328, 348, 372, 396, 420,
                               448, 476, 508, 544, 580, 620, 664, 712, 764, 820, 880, 944, 1024};

constexpr uint16_t kShort96[] = {0, 4, 8, 12, 16, 20, 24, 32, 40, 48, 64, 92, 128};
constexpr uint16_t kShort48[] = {0, 4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128};
constexpr uint16_t kShort24[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 64, 76, 92, 108, 128};
constexpr uint16_t kShort16[] = {0, 4, 8, 12, 16, 20, 24, 28, 32, 40, 48, 60, 72, 88, 108, 128};
constexpr uint16_t kShort8[] = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 60, 72, 88, 108, 128};

const RateEntry kRates[12] = {
    {96000, kLong96, kShort96, 31, 9},  {88200, kLong96, kShort96, 31, 9},
    {64000, kLong64, kShort96, 34, 10}, {48000, kLong48, kShort48, 40, 14},
    {44100, kLong48, kShort48, 42, 14}, {32000, kLong32, kShort48, 51, 14},
    {24000, kLong24, kShort24, 46, 14}, {22050, kLong24, kShort24, 46, 14},
    {16000, kLong16, kShort16, 42, 14}, {12000, kLong16, kShort16, 42, 14},
    {11025, kLong16, kShort16, 42, 14}, {8000, kLong8, kShort8, 39, 14},
};

struct Powers {
  float pow2[128];
  float pow43[128];
  Powers() {
    for (int i = 0; i < 128; ++i) {
      pow2[i] = float(std::pow(2.0, i / 4.0));
      pow43[i] = float(std::pow(double(i), 4.0 / 3.0));
    }
  }
};

const Powers& PowerTables() {
  static const Powers p;
  return p;
}

}  // namespace

uint32_t RateOfIndex(int index) { return index >= 0 && index < 12 ? kRates[index].rate : 0; }

const RateEntry& RateEntryOf(uint32_t rate) {
  for (const RateEntry& e : kRates)
    if (e.rate == rate) return e;
  return kRates[3];
}

std::span<const RateEntry> RateEntries() { return kRates; }

float Pow2Quarter(int i) { return i >= 0 && i < 128 ? PowerTables().pow2[i] : float(std::pow(2.0, i / 4.0)); }

float Pow4Thirds(int i) {
  return i >= 0 && i < 128 ? PowerTables().pow43[i] : float(std::pow(double(i), 4.0 / 3.0));
}

void bsac_init_tables(StreamTables& t, uint32_t rate, int /*frame_length*/, int channels) {
  t.rate_entry = &RateEntryOf(rate);
  t.rate = rate ? rate : t.rate_entry->rate;
  t.channels = channels;
  PowerTables();
  for (int k = 0; k < kMaxLayers; ++k) {
    const uint64_t bits = uint64_t(kFrameLength) * (16000u + 1000u * uint32_t(k)) / t.rate;
    t.layer_bits[size_t(k)] = uint32_t(bits / 8 * 8) * uint32_t(channels);
  }
}

}  // namespace bsac
