#include "filter/source/adts.h"

#include <gtest/gtest.h>

#include "ipc/stream_headers.h"

#include <algorithm>
#include <vector>

using halvik::AudioMode;
using halvik::ChannelAnalyzer;

namespace {

TEST(Adts, ReadHeader) {
  const uint8_t h[] = {0xFF, 0xF8, 0x58, 0x80, 0x1D, 0x9F, 0xFC};  // 24 kHz, 236 bytes, stereo
  const auto a = streamhdr::ReadAdtsHeader(h, sizeof h);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->sample_rate, 24000u);
  EXPECT_EQ(a->frame_length, 236u);
  EXPECT_EQ(a->channel_config, 2);
  EXPECT_FALSE(streamhdr::ReadAdtsHeader(h, 6));
  const uint8_t not_adts[] = {0xFF, 0xE1, 0x58, 0x80, 0x1D, 0x9F, 0xFC};
  EXPECT_FALSE(streamhdr::ReadAdtsHeader(not_adts, sizeof not_adts));
  const uint8_t reserved_rate[] = {0xFF, 0xF8, 0x74, 0x80, 0x1D, 0x9F, 0xFC};  // index 13
  EXPECT_EQ(streamhdr::ReadAdtsHeader(reserved_rate, 7)->sample_rate, 0u);
}

TEST(Adts, DecoderSelectionFromTheConfiguration) {
  struct Case {
    std::vector<uint8_t> b;
    AudioMode mode;
    int channels;
  } cases[] = {
      {{0xFF, 0xF9, 0x50, 0x80, 0, 0, 0}, AudioMode::kAdts, 2},
      {{0xFF, 0xF8, 0x58, 0x40, 0, 0, 0}, AudioMode::kAdts, 1},
      {{0x13, 0x10, 0, 0, 0, 0, 0}, AudioMode::kAudioSpecificConfig, 2},
      {{0xB0, 0, 0, 0, 0, 0, 0}, AudioMode::kBsac, 2},
      {{0xB7, 0x10, 0x51, 0x00, 0, 0, 0}, AudioMode::kBsac, 4},
  };
  for (const auto& c : cases) {
    const auto s = halvik::SelectAudioDecoder(c.b.data());
    EXPECT_EQ(s.mode, c.mode) << int(c.b[0]);
    EXPECT_EQ(s.channel_config, c.channels) << int(c.b[0]);
  }
}

// A 9-byte header with channel configuration `config` and one raw data block, then `body`.
std::vector<uint8_t> Frame(int config, std::vector<uint8_t> body) {
  const uint8_t head[9] = {
      0xFF, 0xF8, uint8_t(0x58 | (config >> 2)), uint8_t((config & 3) << 6), 0x00, 0x1F, 0xFC, 0x00, 0x00};
  std::vector<uint8_t> f(9 + body.size());
  std::copy(head, head + 9, f.begin());
  std::copy(body.begin(), body.end(), f.begin() + 9);
  return f;
}

// A program configuration element naming `front` front, `side` side, `back` back, `lfe` lfe.
std::vector<uint8_t> Pce(int front, int side, int back, int lfe) {
  return {uint8_t(5 << 5), uint8_t((front >> 1) & 7), uint8_t(((front & 1) << 7) | (side << 3) | (back >> 1)),
          uint8_t(((back & 1) << 7) | (lfe << 5))};
}

TEST(Adts, ChannelAnalysisFollowsTheDualMonoStateAcrossFrames) {
  const auto sce = Frame(0, {0x00, 0x12, 0x34});
  struct Step {
    const char* what;
    std::vector<uint8_t> frame;
    int pin_count;
    int count;
    bool dual;
  } steps[] = {
      {"single channel before any PCE", sce, 2, 2, false},
      {"PCE with two fronts", Frame(0, Pce(2, 0, 0, 0)), 2, 2, false},
      {"then a single channel element", sce, 2, 2, true},
      {"stays dual mono", sce, 2, 2, true},
      {"PCE with one front ends it", Frame(0, Pce(1, 0, 0, 0)), 2, 1, false},
      {"a single channel element alone is not dual mono", sce, 1, 1, false},
      {"PCE with two fronts again", Frame(0, Pce(2, 0, 0, 0)), 1, 2, false},
      {"dual mono again", sce, 2, 2, true},
      {"a stereo header ends it", Frame(2, {0x20}), 2, 2, false},
      {"5.1 in a PCE keeps the pin's count", Frame(0, Pce(3, 0, 2, 1)), 2, 2, false},
      {"a channel configuration 1 header", Frame(1, {0x00}), 2, 1, false},
      {"truncated: the pin's count", {0xFF, 0xF8, 0x58}, 2, 2, false},
  };
  ChannelAnalyzer a;
  for (const auto& s : steps) {
    const auto r = a.Analyze(s.frame.data(), s.frame.size(), uint8_t(s.pin_count));
    EXPECT_EQ(r.count, s.count) << s.what;
    EXPECT_EQ(a.dual_mono(), s.dual) << s.what;
  }
  // A PCE cut off inside the element: the analysis reads nothing beyond the frame.
  const auto cut = Frame(0, {uint8_t(5 << 5), 0x01});
  EXPECT_EQ(a.Analyze(cut.data(), cut.size(), 2).count, 2);
}

}  // namespace
