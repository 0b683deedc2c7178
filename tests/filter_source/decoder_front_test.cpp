#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "es_util.h"
#include "filter/source/aac_front.h"
#include "filter/source/video_decoder_front.h"
#include "filter/source/yuv_to_bgrx.h"
#include "tone.h"

using halvik::AacFront;
using halvik::VideoDecoderFront;

namespace {

std::vector<testes::Bytes> AdtsFrames(const char* file) {
  return testes::SplitAdts(testes::ReadFile(testes::DataPath(file)));
}

// FAAD2 with implicit-SBR upsampling: a 24 kHz AAC frame gives 2048 samples per channel at 48 kHz.
// Its first frame after opening gives nothing (the decoder's delay).
TEST(AacFront, EachCoreRateFrameFillsOneStereoSampleAt48kHz) {
  for (bool crc : {false, true}) {
    auto frames = AdtsFrames("tone1k_lc24_stereo.aac");
    ASSERT_GT(frames.size(), 10u);
    if (crc)
      for (auto& f : frames) f = testes::WithCrc(f);
    AacFront aac;
    const auto open = aac.aac_open(0, frames[0].data(), 7);
    ASSERT_GE(open.rc, 0);
    EXPECT_EQ(open.sample_rate, 48000u);
    EXPECT_EQ(open.channels, 2);
    std::vector<uint8_t> out(8192);
    std::vector<int16_t> all;
    for (size_t i = 0; i < frames.size(); ++i) {
      const auto& f = frames[i];
      const auto d = aac.aac_decode(out.data(), out.size(), f.data(), f.size());
      ASSERT_EQ(d.consumed, int32_t(f.size()));
      ASSERT_EQ(d.out_bytes, i == 0 ? 0u : 8192u) << "crc " << crc << " frame " << i;
      if (i == 0) continue;
      EXPECT_EQ(d.channels, 2);
      EXPECT_EQ(d.sample_rate, 48000u);
      const auto* s = reinterpret_cast<const int16_t*>(out.data());
      all.insert(all.end(), s, s + 4096);
    }
    // Past the encoder's priming, both channels carry the 1 kHz tone.
    const size_t skip = 3 * 2048;
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_GT(testes::ToneShare(all.data() + 2 * skip, all.size() / 2 - skip, ch, 1000), 0.9);
      EXPECT_GT(testes::Rms(all.data() + 2 * skip, all.size() / 2 - skip, ch), 1000);
    }
  }
}

// With upsampling FAAD2 (built with parametric stereo) gives mono as two equal channels; the pin
// therefore doubles only what FAAD2 reports as one channel.
TEST(AacFront, MonoAtTheCoreRateComesOutAsTwoEqualChannels) {
  const auto frames = AdtsFrames("tone1k_lc24_mono.aac");
  AacFront aac;
  ASSERT_GE(aac.aac_open(0, frames[0].data(), 7).rc, 0);
  std::vector<uint8_t> out(8192);
  for (size_t i = 0; i < 4; ++i) {
    const auto d = aac.aac_decode(out.data(), out.size(), frames[i].data(), frames[i].size());
    EXPECT_EQ(d.out_bytes, i == 0 ? 0u : 8192u);
    if (i == 0) continue;
    EXPECT_EQ(d.channels, 2);
    const auto* s = reinterpret_cast<const int16_t*>(out.data());
    for (size_t k = 0; k < 2048; ++k) ASSERT_EQ(s[2 * k], s[2 * k + 1]);
  }
}

TEST(AacFront, RefusesWhatDoesNotFitAndWhatIsNotAac) {
  const auto frames = AdtsFrames("tone1k_lc24_stereo.aac");
  AacFront aac;
  std::vector<uint8_t> out(8192);
  EXPECT_LT(aac.aac_decode(out.data(), out.size(), frames[1].data(), frames[1].size()).consumed,
            0);  // not opened
  ASSERT_GE(aac.aac_open(0, frames[0].data(), 7).rc, 0);
  aac.aac_decode(out.data(), out.size(), frames[0].data(), frames[0].size());
  std::vector<uint8_t> small(4096, 0xAB);
  const auto d = aac.aac_decode(small.data(), small.size(), frames[1].data(), frames[1].size());
  EXPECT_LT(d.consumed, 0);
  EXPECT_EQ(d.out_bytes, 0u);
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(aac.aac_decode(out.data(), out.size(), junk, sizeof junk).out_bytes, 0u);
  // FAAD2 opens on anything that is not ADTS (as a raw stream); such input never decodes.
  AacFront bad;
  bad.aac_open(0, junk, 7);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(bad.aac_decode(out.data(), out.size(), frames[1].data(), frames[1].size()).out_bytes, 0u);
  EXPECT_LT(bad.aac_open(0, nullptr, 0).rc, 0);
  EXPECT_FALSE(bad.is_open());
}

TEST(AacFront, AudioSpecificConfigAndRawFramesWithTheLeadingZero) {
  const auto frames = AdtsFrames("tone1k_lc24_stereo.aac");
  AacFront aac;
  const uint8_t asc[] = {0x13, 0x10};  // AAC LC, 24 kHz, stereo
  const auto open = aac.aac_open(1, asc, sizeof asc);
  ASSERT_GE(open.rc, 0);
  EXPECT_EQ(open.sample_rate, 48000u);
  std::vector<uint8_t> out(8192);
  for (size_t i = 1; i < 6; ++i) {
    // The raw block after the 7-byte header, behind a zero byte when it begins 0x21.
    testes::Bytes raw(frames[i].begin() + 7, frames[i].end());
    const bool prefixed = raw[0] == 0x21;
    if (prefixed) raw.insert(raw.begin(), 0x00);
    const auto d = aac.aac_decode(out.data(), out.size(), raw.data(), raw.size());
    EXPECT_EQ(d.consumed, int32_t(raw.size())) << i << " prefixed " << prefixed;
    EXPECT_EQ(d.out_bytes, i == 1 ? 0u : 8192u) << i;
  }
}

// Float BT.601 of a decoded picture, compared with the front's conversion.
double MeanDifference(const halvik::YuvPlanes& p, const std::vector<uint8_t>& bgrx) {
  double sum = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double Y = 1.164 * (p.y[y * p.y_stride + x] - 16);
      const double U = p.u[(y / 2) * p.u_stride + x / 2] - 128.0;
      const double V = p.v[(y / 2) * p.v_stride + x / 2] - 128.0;
      const double ref[3] = {std::clamp(Y + 2.018 * U, 0.0, 255.0),
                             std::clamp(Y - 0.391 * U - 0.813 * V, 0.0, 255.0),
                             std::clamp(Y + 1.596 * V, 0.0, 255.0)};
      for (int c = 0; c < 3; ++c) sum += std::abs(bgrx[size_t(y * p.width + x) * 4 + c] - ref[c]);
    }
  return sum / (3.0 * p.width * p.height);
}

TEST(VideoDecoderFront, EveryAccessUnitGivesItsPicture) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")));
  ASSERT_EQ(aus.size(), 30u);
  const auto cfg = testes::ParameterSets(aus[0]);
  VideoDecoderFront front;
  ASSERT_TRUE(front.Open(cfg.data(), cfg.size()));
  EXPECT_EQ(front.configured_size(), (halvik::PictureSize{320, 180}));
  std::vector<uint8_t> bgrx(320 * 180 * 4);
  for (size_t i = 0; i < aus.size(); ++i) {
    ASSERT_EQ(front.Decode(aus[i].data(), aus[i].size()), VideoDecoderFront::Result::kPicture) << i;
    EXPECT_EQ(front.picture_size(), (halvik::PictureSize{320, 180}));
    halvik::ConvertYuv420ToBgrx(front.picture(), bgrx.data(), 320 * 4);
    EXPECT_LT(MeanDifference(front.picture(), bgrx), 2.0) << i;
  }
}

// A refused unit leaves the references alone: the next picture decodes without waiting for a key frame.
TEST(VideoDecoderFront, ARefusedUnitKeepsTheDecoderAndItsReferences) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")));
  const auto cfg = testes::ParameterSets(aus[0]);
  VideoDecoderFront front;
  EXPECT_EQ(front.Decode(aus[0].data(), aus[0].size()), VideoDecoderFront::Result::kFailed);
  ASSERT_TRUE(front.Open(cfg.data(), cfg.size()));
  ASSERT_EQ(front.Decode(aus[0].data(), aus[0].size()), VideoDecoderFront::Result::kPicture);
  testes::Bytes junk(600, 0xFF);
  junk[0] = 0, junk[1] = 0, junk[2] = 1, junk[3] = 0x65;  // an IDR slice of garbage
  const auto r = front.Decode(junk.data(), junk.size());
  EXPECT_NE(r, VideoDecoderFront::Result::kPicture);
  EXPECT_TRUE(front.is_open());
  for (size_t i = 1; i < 17; ++i)
    EXPECT_EQ(front.Decode(aus[i].data(), aus[i].size()), VideoDecoderFront::Result::kPicture) << i;
}

TEST(VideoDecoderFront, AnotherPictureSizeIsReportedAsDecoded) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_176x144.h264")));
  // Opened with the broadcast's parameter sets, fed a stream of another size.
  const auto cfg320 = testes::ParameterSets(
      testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")))[0]);
  VideoDecoderFront front;
  ASSERT_TRUE(front.Open(cfg320.data(), cfg320.size()));
  ASSERT_EQ(front.Decode(aus[0].data(), aus[0].size()), VideoDecoderFront::Result::kPicture);
  EXPECT_EQ(front.picture_size(), (halvik::PictureSize{176, 144}));
}

}  // namespace
