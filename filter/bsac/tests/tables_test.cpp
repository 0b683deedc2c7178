#include "filter/bsac/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "filter/bsac/bsac.h"
#include "filter/bsac/frame.h"

namespace {

struct AscCase {
  std::vector<uint8_t> bytes;
  bool accepted;
  uint32_t rate;  // when accepted
  int channels;
};

TEST(AudioSpecificConfig, AcceptsOnlyStreamsThisDecoderTakes) {
  const AscCase cases[] = {
      {{0xB2, 0x11}, true, 44100, 2}, {{0xB2, 0x09}, true, 44100, 1},
      {{0xB1, 0x91}, true, 48000, 2}, {{0x12, 0x10}, false, 0, 0},  // AAC LC
      {{0xB2, 0x15}, false, 0, 0},                                  // frameLengthFlag
      {{0xB2, 0x13}, false, 0, 0},                                  // dependsOnCoreCoder
      {{0xB7, 0x91}, false, 0, 0},                                  // sampling frequency index 15
      {{0xB6, 0x11}, false, 0, 0},                                  // sampling frequency index 12 (reserved)
      {{0xB2, 0x01}, false, 0, 0},                                  // channelConfiguration 0
      {{0xB2, 0x19}, false, 0, 0},                                  // channelConfiguration 3
      {{0xB2}, false, 0, 0},                                        // one byte
  };
  for (const AscCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[0]) << " "
                                    << (c.bytes.size() > 1 ? int(c.bytes[1]) : -1));
    const auto parsed = bsac::ParseAudioSpecificConfig(c.bytes.data(), c.bytes.size());
    ASSERT_EQ(parsed.has_value(), c.accepted);
    bsac::BsacContext ctx;
    ASSERT_EQ(bsac::bsac_open(ctx, c.bytes.data(), c.bytes.size()), 1024);
    EXPECT_EQ(ctx.used_fallback(), !c.accepted);
    // Refused configurations decode as the built-in one: 44100 Hz stereo.
    EXPECT_EQ(ctx.config().sample_rate, c.accepted ? c.rate : 44100u);
    EXPECT_EQ(ctx.config().channels, c.accepted ? c.channels : 2);
  }
  const auto fallback = bsac::ParseAudioSpecificConfig(bsac::kFallbackConfig, 5);
  ASSERT_TRUE(fallback);
  EXPECT_EQ(fallback->object_type, 22);
  EXPECT_EQ(fallback->sampling_index, 4);
  EXPECT_EQ(fallback->extension_flag, 1);
}

TEST(Pcm, ClampsThenRoundsHalfUp) {
  const struct {
    float in;
    int16_t out;
  } cases[] = {{32767.6f, 32767},
               {-32768.6f, -32768},
               {0.5f, 1},
               {-0.5f, 0},
               {1.49f, 1},
               {-1.5f, -1},
               {1e9f, 32767},
               {-1e9f, -32768},
               {std::numeric_limits<float>::quiet_NaN(), 0},
               {std::numeric_limits<float>::infinity(), 32767}};
  for (const auto& c : cases) EXPECT_EQ(bsac::PcmSample(c.in), c.out) << c.in;
}

TEST(LayerTable, BitsPerLayerFollowTheRate) {
  bsac::StreamTables t;
  bsac::bsac_init_tables(t, 44100, 1024, 2);
  EXPECT_EQ(t.layer_bits[0], 736u);
  EXPECT_EQ(t.layer_bits[1], 784u);
  EXPECT_EQ(t.layer_bits[99], 5328u);
  bsac::bsac_init_tables(t, 48000, 1024, 1);
  EXPECT_EQ(t.layer_bits[0], 336u);
  EXPECT_EQ(t.layer_bits[1], 360u);
  EXPECT_EQ(t.layer_bits[99], 2448u);
}

TEST(Grouping, SevenBitsMakeTheWindowGroups) {
  std::array<int, 8> len{};
  ASSERT_EQ(bsac::GroupsFromGrouping(0b1011011, len), 3);
  EXPECT_EQ(len[0], 2);
  EXPECT_EQ(len[1], 3);
  EXPECT_EQ(len[2], 3);
  EXPECT_EQ(bsac::GroupsFromGrouping(0, len), 8);
  EXPECT_EQ(bsac::GroupsFromGrouping(0x7F, len), 1);
  EXPECT_EQ(len[0], 8);
}

TEST(RateTable, BandOffsetsAndTnsLimitsAreConsistent) {
  for (const bsac::RateEntry& e : bsac::RateEntries()) {
    SCOPED_TRACE(e.rate);
    for (const auto offsets : {e.long_offsets, e.short_offsets}) {
      EXPECT_EQ(offsets.front(), 0);
      for (size_t i = 1; i < offsets.size(); ++i) EXPECT_LT(offsets[i - 1], offsets[i]);
    }
    EXPECT_EQ(e.long_offsets.back(), 1024);
    EXPECT_EQ(e.short_offsets.back(), 128);
    EXPECT_LE(e.tns_max_bands_long, e.long_bands());
    EXPECT_LE(e.tns_max_bands_short, e.short_bands());
  }
  for (uint32_t rate : {44100u, 48000u}) {
    EXPECT_EQ(bsac::RateEntryOf(rate).long_bands(), 49);
    EXPECT_EQ(bsac::RateEntryOf(rate).short_bands(), 14);
  }
  EXPECT_EQ(bsac::RateEntryOf(8000).long_bands(), 40);
  EXPECT_EQ(bsac::RateEntryOf(8000).short_bands(), 15);
  EXPECT_EQ(bsac::RateEntryOf(8000).long_offsets[3], 36);
  EXPECT_EQ(bsac::RateEntryOf(44100).long_offsets[48], 928);
  EXPECT_EQ(bsac::RateEntryOf(7350).rate, 48000u);  // not tabled: the 48000 Hz entry
  EXPECT_EQ(bsac::RateOfIndex(11), 8000u);
  EXPECT_EQ(bsac::RateOfIndex(12), 0u);
}

TEST(Powers, TablesAndDirectValuesAgree) {
  EXPECT_FLOAT_EQ(bsac::Pow2Quarter(4), 2.0f);
  EXPECT_FLOAT_EQ(bsac::Pow2Quarter(127), float(std::pow(2.0, 127 / 4.0)));
  EXPECT_NEAR(bsac::Pow4Thirds(127), std::pow(127.0, 4.0 / 3.0), 1e-3);
  EXPECT_NEAR(bsac::Pow4Thirds(128), 645.0796, 1e-3);
}

}  // namespace
