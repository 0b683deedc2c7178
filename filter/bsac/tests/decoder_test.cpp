#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "bsac_test_util.h"
#include "filter/bsac/bsac.h"
#include "filter/bsac/filterbank.h"
#include "filter/bsac/spectral.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kStereo44[] = {0xB2, 0x11};

Bytes Config(uint32_t rate, int channels) {
  const int index = rate == 48000 ? 3 : 4;
  return {uint8_t(0xB0 | (index >> 1)), uint8_t(((index & 1) << 7) | (channels << 3) | 1)};
}

std::unique_ptr<bsac::SideInfo> Frame(int channels) {
  auto si = std::make_unique<bsac::SideInfo>();
  si->channels = channels;
  si->header.max_scalefactor = {120, 120};
  si->header.base_band = 4;
  return si;
}

bsac::StreamTables Tables(uint32_t rate, int channels) {
  bsac::StreamTables t;
  bsac::bsac_init_tables(t, rate, 1024, channels);
  return t;
}

size_t Decode(bsac::BsacContext& ctx, const Bytes& unit, Bytes& out) {
  out.assign(4096, 0xEE);
  return bsac::bsac_decode(ctx, unit.data(), unit.size(), out.data(), out.size());
}

TEST(Decoder, SilentFramesDecodeToZeros) {
  const struct {
    Bytes config;
    int channels;
  } cases[] = {{{0xB2, 0x11}, 2}, {{0xB2, 0x09}, 1}, {{0x12, 0x10}, 2}};  // the last falls back
  for (const auto& c : cases) {
    bsac::BsacContext ctx;
    ASSERT_EQ(bsac::bsac_open(ctx, c.config.data(), c.config.size()), 1024);
    const Bytes unit = bsactest::WriteFrame(*Frame(c.channels), Tables(44100, c.channels), nullptr);
    Bytes out;
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(Decode(ctx, unit, out), size_t(c.channels) * 2048);
      for (size_t k = 0; k < size_t(c.channels) * 2048; ++k) ASSERT_EQ(out[k], 0) << k;
    }
  }
}

TEST(Decoder, InvalidUnitsGiveNothing) {
  bsac::BsacContext ctx;
  Bytes out;
  const Bytes good = bsactest::WriteFrame(*Frame(2), Tables(44100, 2), nullptr);
  EXPECT_EQ(Decode(ctx, good, out), 0u);  // nothing open
  ASSERT_EQ(bsac::bsac_open(ctx, kStereo44, 2), 1024);
  ASSERT_EQ(Decode(ctx, good, out), 4096u);

  auto sba = Frame(2);
  sba->header.sba_mode = 1;
  auto ltp = Frame(2);
  auto zero_length = Frame(2);
  auto big_sfb = Frame(2);
  big_sfb->max_sfb = 50;  // 49 bands at 44100 Hz
  auto big_pns = Frame(2);
  big_pns->pns_present = true;
  big_pns->pns_start_sfb = 50;
  auto long_tns = Frame(2);
  long_tns->tns[1].present = true;
  long_tns->tns[1].window[0].n_filt = 2;
  long_tns->tns[1].window[0].filt[0].length = 40;
  long_tns->tns[1].window[0].filt[1].length = 10;  // reaches below band 0
  auto content = Frame(2);                         // needs models this decoder does not carry
  content->max_sfb = 10;

  Bytes ltp_unit = bsactest::WriteFrame(*ltp, Tables(44100, 2), nullptr);
  // The bit after channel 1's tns_data_present is the must-be-0 bit: at 11 + 4 + 1 + 6 + 2 + 16 +
  // 5 + 30 + 4 + 6 + 1 + 2 + 1 = 89 for channel 0, 91 for channel 1.
  ltp_unit[89 / 8] |= uint8_t(0x80 >> (89 % 8));
  Bytes zero_unit = bsactest::WriteFrame(*zero_length, Tables(44100, 2), nullptr, false);
  const std::pair<const char*, Bytes> cases[] = {
      {"sba_mode 1", bsactest::WriteFrame(*sba, Tables(44100, 2), nullptr)},
      {"must-be-0 bit", ltp_unit},
      {"frame_length 0", zero_unit},
      {"max_sfb above the bands", bsactest::WriteFrame(*big_sfb, Tables(44100, 2), nullptr)},
      {"pns_start_sfb above the bands", bsactest::WriteFrame(*big_pns, Tables(44100, 2), nullptr)},
      {"TNS below band 0", bsactest::WriteFrame(*long_tns, Tables(44100, 2), nullptr)},
      {"missing models", bsactest::WriteFrame(*content, Tables(44100, 2), nullptr)},
      {"ADTS header", Bytes{0xFF, 0xF8, 0x50, 0x80, 0x2E, 0x7F, 0xFC, 0x00, 0x00}},
      {"frame_length 2", Bytes{0x00, 0x40, 0x00}},
      {"one byte", Bytes{0x00}},
      {"empty", Bytes{}},
  };
  for (const auto& [name, unit] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Decode(ctx, unit, out), 0u);
    EXPECT_EQ(out[0], 0xEE);  // nothing written
  }
  // A unit cut short of its frame_length, and an output too small for a frame.
  EXPECT_EQ(Decode(ctx, Bytes(good.begin(), good.end() - 1), out), 0u);
  Bytes small(4095);
  EXPECT_EQ(bsac::bsac_decode(ctx, good.data(), good.size(), small.data(), small.size()), 0u);
  // The decoder goes on after all of them.
  EXPECT_EQ(Decode(ctx, good, out), 4096u);
}

TEST(Decoder, ReopensAndClosesFreely) {
  bsac::BsacContext ctx;
  bsac::bsac_close(ctx);  // nothing open
  ASSERT_EQ(bsac::bsac_open(ctx, kStereo44, 2), 1024);
  const uint8_t mono[] = {0xB2, 0x09};
  ASSERT_EQ(bsac::bsac_open(ctx, mono, 2), 1024);  // without a close between
  Bytes out;
  EXPECT_EQ(Decode(ctx, bsactest::WriteFrame(*Frame(1), Tables(44100, 1), nullptr), out), 2048u);
  bsac::bsac_close(ctx);
  EXPECT_FALSE(ctx.is_open());
  EXPECT_EQ(Decode(ctx, bsactest::WriteFrame(*Frame(1), Tables(44100, 1), nullptr), out), 0u);
  EXPECT_EQ(bsac::bsac_open(ctx, nullptr, 0), 1024);
  EXPECT_TRUE(ctx.used_fallback());
}

// Values coded by the test's encoder through the same walk and models come back exactly: a
// consistency check of the bit-sliced machinery, its layers and side information (the models'
// figures are invented).
struct SlicedCase {
  const char* name;
  uint32_t rate;
  int channels;
  int window_sequence;
  int grouping;
  int max_sfb;
  int stereo_mode;
  bool pns;
  int top_layer = 63;  // fewer layers: the lowest planes do not fit
};

class BitSliced : public testing::TestWithParam<SlicedCase> {};

TEST_P(BitSliced, ValuesAndSideInformationRoundTrip) {
  const SlicedCase c = GetParam();
  bsactest::TestModels tm;
  const auto t = Tables(c.rate, c.channels);
  auto si = Frame(c.channels);
  si->header.max_scalefactor = {180, 180};
  si->header.frame_length = 1500;
  si->header.top_layer = c.top_layer;
  si->header.base_band = 3;
  si->header.cband_si_type = {5, 9};
  si->header.base_scf_model = {1, 2};
  si->header.enh_scf_model = {3, 4};
  si->window_sequence = c.window_sequence;
  si->window_shape = 1;
  si->max_sfb = c.max_sfb;
  if (c.window_sequence == bsac::kEightShort)
    si->num_groups = bsac::GroupsFromGrouping(c.grouping, si->group_length);
  si->stereo_mode = c.stereo_mode;
  si->pns_present = c.pns;
  si->pns_start_sfb = c.pns ? c.max_sfb / 2 : 63;
  const auto& e = *t.rate_entry;
  std::mt19937 rng(5);
  const int windows = c.window_sequence == bsac::kEightShort ? 8 : 1;
  const auto offsets = windows == 8 ? e.short_offsets : e.long_offsets;
  const int top = offsets[size_t(c.max_sfb)];
  // Sparse values, every other 32 lines, so that the frame fits in its layers.
  for (int ch = 0; ch < c.channels; ++ch)
    for (int w = 0; w < windows; ++w)
      for (int x = 0; x < top; ++x)
        if ((x / 32) % 2 == 0 && rng() % 6 == 0)
          si->quant[ch][w * (1024 / windows) + x] = int32_t(rng() % 7) - 3;
  for (int g = 0; g < si->num_groups; ++g)
    for (int b = 0; b < c.max_sfb; ++b)
      for (int ch = 0; ch < c.channels; ++ch) si->sf[ch][g][b] = int16_t(150 + rng() % 20);
  if (c.stereo_mode == 1 || c.stereo_mode == 3)
    for (int b = 0; b < c.max_sfb; b += 3) si->ms_used[0][b] = 1;
  if (c.stereo_mode == 3)
    for (int b = 1; b < c.max_sfb; b += 4) {
      si->ms_used[0][b] = 0;
      si->is_flag[0][b] = uint8_t(1 + b % 2);
      si->sf[1][0][b] = int16_t(b % 7);  // intensity position
    }
  if (c.pns)
    for (int b = si->pns_start_sfb; b < c.max_sfb; b += 2) {
      si->noise_flag[0][0][b] = 1;
      si->sf[0][0][b] = int16_t(-10 + b);  // noise energy
    }
  // Intensity bands carry no values in the second channel.
  for (int b = 0; b < c.max_sfb; ++b)
    if (c.channels == 2 && si->is_flag[0][b])
      for (int x = offsets[size_t(b)]; x < offsets[size_t(b) + 1]; ++x) si->quant[1][x] = 0;

  int32_t carried[2][1024];
  const Bytes unit = bsactest::WriteFrame(*si, t, &tm.models, true, carried);
  ASSERT_EQ(unit.size(), 1500u);

  bsac::BitReader r;
  Bytes padded = unit;
  padded.resize(unit.size() + 24, 0);
  r.Attach(padded.data(), padded.size());
  auto got = std::make_unique<bsac::SideInfo>();
  ASSERT_EQ(bsac::bsac_parse_header(r, 0, *got, c.channels, t, tm.models), 1500 * 8);
  int cut = 0;
  for (int ch = 0; ch < c.channels; ++ch)
    for (int i = 0; i < 1024; ++i) {
      ASSERT_EQ(got->quant[ch][i], carried[ch][i]) << "ch " << ch << " line " << i;
      const int32_t want = si->quant[ch][i], v = got->quant[ch][i];
      if (v != want) {
        // Only the lowest planes go missing: what arrives keeps the higher bits and the sign.
        ++cut;
        int dropped = 1;
        while ((std::abs(want) >> dropped << dropped) != std::abs(v) && dropped < 8) ++dropped;
        ASSERT_EQ(std::abs(want) >> dropped << dropped, std::abs(v)) << "ch " << ch << " line " << i;
        ASSERT_TRUE(v == 0 || (v < 0) == (want < 0));
      }
    }
  if (c.top_layer == 63)
    EXPECT_EQ(cut, 0);
  else
    EXPECT_GT(cut, 0);
  // Side information of every band the layers reach.
  bsac::LayerPlan plan;
  ASSERT_TRUE(bsac::PlanLayers(*got, t, 0, plan));
  std::array<int, 8> reached{};
  for (int i = 0; i < plan.count; ++i)
    reached[size_t(plan.layers[size_t(i)].group)] =
        std::max(reached[size_t(plan.layers[size_t(i)].group)], plan.layers[size_t(i)].top);
  for (int g = 0; g < si->num_groups; ++g)
    for (int b = 0; b < c.max_sfb && plan.band_offset(g, b) < reached[size_t(g)]; ++b) {
      for (int ch = 0; ch < c.channels; ++ch) {
        ASSERT_EQ(got->sf[ch][g][b], si->sf[ch][g][b]) << "ch " << ch << " band " << b;
        ASSERT_EQ(got->noise_flag[ch][g][b], si->noise_flag[ch][g][b]);
      }
      ASSERT_EQ(got->ms_used[g][b], c.stereo_mode == 2 ? 1 : si->ms_used[g][b]);
      ASSERT_EQ(got->is_flag[g][b], si->is_flag[g][b]);
    }

  // The whole decoder, on the same models, turns the frame into sound.
  bsac::BsacContext ctx(tm.models);
  const Bytes config = Config(c.rate, c.channels);
  ASSERT_EQ(bsac::bsac_open(ctx, config.data(), config.size()), 1024);
  ASSERT_EQ(ctx.config().sample_rate, c.rate);
  Bytes out(4096);
  ASSERT_EQ(bsac::bsac_decode(ctx, unit.data(), unit.size(), out.data(), out.size()),
            size_t(c.channels) * 2048);
  EXPECT_TRUE(std::any_of(out.begin(), out.begin() + c.channels * 2048, [](uint8_t b) { return b != 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BitSliced,
    testing::Values(SlicedCase{"mono_long", 44100, 1, bsac::kOnlyLong, 0, 40, 0, false},
                    SlicedCase{"stereo_ms", 48000, 2, bsac::kOnlyLong, 0, 36, 1, false},
                    SlicedCase{"stereo_all_ms", 44100, 2, bsac::kLongStart, 0, 30, 2, false},
                    SlicedCase{"stereo_intensity_noise", 44100, 2, bsac::kOnlyLong, 0, 38, 3, true},
                    SlicedCase{"short_groups", 44100, 1, bsac::kEightShort, 0b1011011, 12, 0, false},
                    SlicedCase{"short_stereo", 48000, 2, bsac::kEightShort, 0b0101010, 10, 1, false},
                    SlicedCase{"truncated", 44100, 2, bsac::kOnlyLong, 0, 38, 1, false, 30}),
    [](const auto& info) { return std::string(info.param.name); });

// A first frame of one line decodes to that line's windowed IMDCT (no overlap yet).
TEST(Decoder, SoundIsTheWindowedTransformOfTheValues) {
  bsactest::TestModels tm;
  const auto t = Tables(44100, 1);
  auto si = Frame(1);
  si->header.max_scalefactor = {200, 200};
  si->header.frame_length = 800;
  si->header.top_layer = 60;
  si->max_sfb = 10;
  si->quant[0][13] = 6;
  for (int b = 0; b < 10; ++b) si->sf[0][0][b] = 178;
  const Bytes unit = bsactest::WriteFrame(*si, t, &tm.models);
  ASSERT_FALSE(unit.empty());
  bsac::BsacContext ctx(tm.models);
  ASSERT_EQ(bsac::bsac_open(ctx, Config(44100, 1).data(), 2), 1024);
  Bytes out(2048);
  ASSERT_EQ(bsac::bsac_decode(ctx, unit.data(), unit.size(), out.data(), out.size()), 2048u);
  const double x = bsac::DequantisedValue(6, 178);
  const auto rise = bsac::WindowRise(0, 2048);
  for (int n = 0; n < 1024; ++n) {
    const double v =
        2.0 / 2048 * x * std::cos(2.0 * std::numbers::pi / 2048 * (n + 512.5) * 13.5) * rise[size_t(n)];
    const int16_t s = int16_t(out[2 * size_t(n)] | (out[2 * size_t(n) + 1] << 8));
    ASSERT_NEAR(s, v, 1.0) << n;
  }
}

}  // namespace
