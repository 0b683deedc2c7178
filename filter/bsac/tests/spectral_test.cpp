#include "filter/bsac/spectral.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

const bsac::RateEntry& Rate44() { return bsac::RateEntryOf(44100); }

std::unique_ptr<bsac::SideInfo> LongFrame(int channels, int max_sfb) {
  auto si = std::make_unique<bsac::SideInfo>();
  si->channels = channels;
  si->max_sfb = max_sfb;
  return si;
}

TEST(Dequantise, ValuesFollowPowerLawAndScaleFactor) {
  const struct {
    int q, sf;
    double want;
  } cases[] = {{1, 100, 1.0},        {1, 104, 2.0}, {-2, 104, -5.03968},
               {128, 100, 645.0796}, {5, 0, 0.0},   {1, 99, 0.840896}};
  for (const auto& c : cases)
    EXPECT_NEAR(bsac::DequantisedValue(c.q, c.sf), c.want, 1e-4) << c.q << " " << c.sf;
}

TEST(Dequantise, ScaleFactorZeroSilencesItsBand) {
  auto si = LongFrame(1, 2);  // bands [0, 4) and [4, 8) at 44100 Hz
  for (int i = 0; i < 8; ++i) si->quant[0][i] = 3;
  si->quant[0][20] = 9;  // above max_sfb: not dequantised
  si->sf[0][0][0] = 0;
  si->sf[0][0][1] = 100;
  float out[1024];
  ASSERT_EQ(bsac::bsac_dequantise(*si, Rate44(), 0, out), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 0.0f);
  for (int i = 4; i < 8; ++i) EXPECT_NEAR(out[i], std::pow(3.0, 4.0 / 3.0), 1e-4);
  EXPECT_EQ(out[20], 0.0f);
}

TEST(Dequantise, ShortWindowsPlaceBandsInTheirWindow) {
  auto si = std::make_unique<bsac::SideInfo>();
  si->channels = 1;
  si->window_sequence = bsac::kEightShort;
  si->max_sfb = 1;
  si->num_groups = bsac::GroupsFromGrouping(0b1000000, si->group_length);  // {2, 1, 1, 1, 1, 1, 1}
  si->sf[0][0][0] = 100;
  si->sf[0][1][0] = 104;
  si->quant[0][128 + 1] = 1;  // window 1: group 0
  si->quant[0][256 + 2] = 1;  // window 2: group 1
  float out[1024];
  ASSERT_EQ(bsac::bsac_dequantise(*si, Rate44(), 0, out), 0);
  EXPECT_FLOAT_EQ(out[129], 1.0f);
  EXPECT_FLOAT_EQ(out[258], 2.0f);
}

TEST(Stereo, MsAndIntensity) {
  auto si = LongFrame(2, 2);
  float l[1024] = {}, r[1024] = {};
  for (int i = 0; i < 8; ++i) {
    l[i] = float(i + 1);
    r[i] = 0.5f;
  }
  si->ms_used[0][0] = 1;
  bsac::bsac_ms_stereo(*si, Rate44(), l, r);
  EXPECT_FLOAT_EQ(l[0], 1.5f);
  EXPECT_FLOAT_EQ(r[0], 0.5f);
  EXPECT_FLOAT_EQ(l[4], 5.0f);  // band 1 untouched
  EXPECT_FLOAT_EQ(r[4], 0.5f);

  si->is_flag[0][1] = 2;  // out of phase, position 0: the negated left channel
  si->sf[1][0][1] = 0;
  si->is_flag[0][0] = 1;  // in phase, position 4: half the left channel
  si->sf[1][0][0] = 4;
  bsac::bsac_intensity_stereo(*si, Rate44(), l, r);
  for (int i = 4; i < 8; ++i) EXPECT_FLOAT_EQ(r[i], -l[i]);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(r[i], 0.5f * l[i]);

  // The second channel's intensity bands are not dequantised.
  si->quant[1][4] = 7;
  si->sf[1][0][1] = 120;
  float out[1024];
  ASSERT_EQ(bsac::bsac_dequantise(*si, Rate44(), 1, out), 0);
  EXPECT_EQ(out[4], 0.0f);
}

TEST(NoiseSubstitution, BandEnergyFollowsItsValueAndChannelsCanShareNoise) {
  auto si = LongFrame(2, 3);
  si->noise_flag[0][0][1] = 1;  // band [4, 8)
  si->noise_flag[1][0][1] = 1;
  si->sf[0][0][1] = 6;
  si->sf[1][0][1] = 6;
  si->ms_used[0][1] = 1;  // with noise in both channels: the same noise
  bsac::NoiseState ns;
  float l[1024] = {}, r[1024] = {};
  bsac::bsac_noise_substitution(*si, Rate44(), 0, l, ns);
  bsac::bsac_noise_substitution(*si, Rate44(), 1, r, ns);
  double energy = 0.0;
  for (int i = 4; i < 8; ++i) energy += double(l[i]) * l[i];
  EXPECT_NEAR(energy, std::pow(2.0, 0.5 * 6), 1e-3);
  for (int i = 4; i < 8; ++i) EXPECT_FLOAT_EQ(r[i], l[i]);
  EXPECT_EQ(l[0], 0.0f);
  EXPECT_EQ(l[8], 0.0f);

  // Uncorrelated: the second channel draws further values; the seed runs on.
  si->ms_used[0][1] = 0;
  const uint32_t before = ns.seed;
  bsac::bsac_noise_substitution(*si, Rate44(), 1, r, ns);
  EXPECT_NE(ns.seed, before);
  EXPECT_NE(r[4], l[4]);
}

TEST(Tns, CoefficientsFromTheirCodes) {
  EXPECT_NEAR(bsac::TnsCoefficient(7, 4), 0.99452, 1e-5);
  EXPECT_NEAR(bsac::TnsCoefficient(-8, 4), -0.99573, 1e-5);
  EXPECT_FLOAT_EQ(bsac::TnsCoefficient(0, 3), 0.0f);
}

TEST(Tns, FiltersItsRangeUpOrDownAndNothingWhenTheRangeIsEmpty) {
  auto si = LongFrame(1, 49);
  auto& f = si->tns[0].window[0].filt[0];
  si->tns[0].present = true;
  si->tns[0].window[0].n_filt = 1;
  f.length = 7;  // bands 42..48 at 44100 Hz: above the TNS limit of 42 bands, so empty
  f.order = 1;
  f.coef_bits = 4;
  f.coef[0] = 7;
  float spec[1024];
  for (int i = 0; i < 1024; ++i) spec[i] = 1.0f;
  bsac::bsac_tns(*si, Rate44(), 0, spec);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(spec[i], 1.0f);

  // Bands 40, 41 (lines 672..735): y[n] = x[n] - k y[n - 1], upwards.
  f.length = 9;
  const float k = bsac::TnsCoefficient(7, 4);
  bsac::bsac_tns(*si, Rate44(), 0, spec);
  EXPECT_EQ(spec[671], 1.0f);
  EXPECT_FLOAT_EQ(spec[672], 1.0f);
  EXPECT_FLOAT_EQ(spec[673], 1.0f - k);
  EXPECT_FLOAT_EQ(spec[674], 1.0f - k * (1.0f - k));
  EXPECT_EQ(spec[736], 1.0f);

  // Downwards from the last line of the range.
  for (int i = 0; i < 1024; ++i) spec[i] = 1.0f;
  f.direction = 1;
  bsac::bsac_tns(*si, Rate44(), 0, spec);
  EXPECT_FLOAT_EQ(spec[735], 1.0f);
  EXPECT_FLOAT_EQ(spec[734], 1.0f - k);
  EXPECT_EQ(spec[671], 1.0f);
}

}  // namespace
