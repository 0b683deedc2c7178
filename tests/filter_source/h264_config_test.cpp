#include <gtest/gtest.h>

#include "ipc/stream_headers.h"

#include "es_util.h"

using streamhdr::PictureSize;
using streamhdr::WalkVideoConfiguration;

namespace {

class BitWriter {
 public:
  void u(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) bit((v >> i) & 1);
  }
  void ue(uint32_t v) {
    const uint64_t x = uint64_t{v} + 1;
    int len = 0;
    while ((x >> len) > 1) ++len;
    u(0, len);
    u(static_cast<uint32_t>(x), len + 1);
  }
  std::vector<uint8_t> Finish() {
    bit(1);  // stop bit
    while (n_ % 8) bit(0);
    return bytes_;
  }

 private:
  void bit(uint32_t b) {
    if (n_ % 8 == 0) bytes_.push_back(0);
    if (b) bytes_.back() |= uint8_t(0x80 >> (n_ % 8));
    ++n_;
  }
  std::vector<uint8_t> bytes_;
  size_t n_ = 0;
};

std::vector<uint8_t> BaselineSps(uint32_t width_mbs, uint32_t height_units, uint32_t crop_bottom,
                                 uint32_t id = 0) {
  BitWriter w;
  w.u(66, 8);
  w.u(0xC0, 8);
  w.u(12, 8);
  w.ue(id);
  w.ue(0);  // log2_max_frame_num - 4
  w.ue(0);  // poc type 0
  w.ue(2);
  w.ue(1);  // num_ref_frames
  w.u(0, 1);
  w.ue(width_mbs - 1);
  w.ue(height_units - 1);
  w.u(1, 1);  // frame_mbs_only
  w.u(1, 1);  // direct_8x8
  w.u(crop_bottom ? 1 : 0, 1);
  if (crop_bottom) {
    w.ue(0);
    w.ue(0);
    w.ue(0);
    w.ue(crop_bottom);
  }
  w.u(0, 1);  // no VUI
  std::vector<uint8_t> nal = {0, 0, 0, 1, 0x67};
  // Emulation prevention, as an encoder writes it.
  int zeros = 0;
  for (uint8_t b : w.Finish()) {
    if (zeros >= 2 && b <= 3) {
      nal.push_back(3);
      zeros = 0;
    }
    zeros = b == 0 ? zeros + 1 : 0;
    nal.push_back(b);
  }
  return nal;
}

std::vector<uint8_t> Pps(uint32_t pps_id, uint32_t sps_id) {
  BitWriter w;
  w.ue(pps_id);
  w.ue(sps_id);
  w.u(0, 2);
  std::vector<uint8_t> nal = {0, 0, 1, 0x68};
  for (uint8_t b : w.Finish()) nal.push_back(b);
  return nal;
}

TEST(H264Config, CroppedSequenceParameterSetGivesTheBroadcastSize) {
  const auto sps = BaselineSps(20, 12, 6);
  EXPECT_EQ(WalkVideoConfiguration(sps.data(), sps.size()), (PictureSize{320, 180}));
  const auto plain = BaselineSps(11, 9, 0);
  EXPECT_EQ(WalkVideoConfiguration(plain.data(), plain.size()), (PictureSize{176, 144}));
}

TEST(H264Config, OneWalkGivesTheSizeAndTheTimingItFinds) {
  const auto sps = BaselineSps(20, 12, 6, 3);
  const auto units = streamhdr::SplitNalUnits(sps.data(), sps.size());
  ASSERT_EQ(units.size(), 1u);
  const auto info = streamhdr::ReadSps(units[0].first, units[0].second);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->id, 3u);
  EXPECT_EQ(info->size, (PictureSize{320, 180}));
  EXPECT_EQ(info->frame_period, 0);  // no timing information
  const uint8_t pps[] = {0x68, 0xCE, 0x38, 0x80};
  EXPECT_FALSE(streamhdr::ReadSps(pps, sizeof pps));
}

TEST(H264Config, TheLastPictureParameterSetChoosesTheSequenceParameterSet) {
  auto cfg = BaselineSps(20, 12, 6, 0);
  const auto second = BaselineSps(11, 9, 0, 1);
  cfg.insert(cfg.end(), second.begin(), second.end());
  auto with_pps0 = cfg;
  const auto pps0 = Pps(0, 0);
  with_pps0.insert(with_pps0.end(), pps0.begin(), pps0.end());
  EXPECT_EQ(WalkVideoConfiguration(with_pps0.data(), with_pps0.size()), (PictureSize{320, 180}));
  // Without a picture parameter set the last sequence parameter set counts.
  EXPECT_EQ(WalkVideoConfiguration(cfg.data(), cfg.size()), (PictureSize{176, 144}));
}

TEST(H264Config, EncoderOutputWithEmulationPreventionBytes) {
  for (auto [file, size] : {std::pair{"testsrc_320x180.h264", PictureSize{320, 180}},
                            std::pair{"testsrc_176x144.h264", PictureSize{176, 144}}}) {
    const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath(file)));
    ASSERT_FALSE(aus.empty());
    const auto cfg = testes::ParameterSets(aus[0]);
    EXPECT_EQ(WalkVideoConfiguration(cfg.data(), cfg.size()), size) << file;
  }
  const uint8_t unit[] = {0x67, 0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x03};
  EXPECT_EQ(streamhdr::UnitToRbsp(unit, sizeof unit), (std::vector<uint8_t>{0, 0, 1, 0, 0}));
}

TEST(H264Config, DamagedConfigurationsAreRefusedWithoutReadingPastTheEnd) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")));
  const auto cfg = testes::ParameterSets(aus[0]);
  // Every truncation: either a size (the crop fields survived) or nothing; never a crash.
  for (size_t n = 0; n < cfg.size(); ++n) {
    const std::vector<uint8_t> cut(cfg.begin(), cfg.begin() + long(n));
    const auto r = WalkVideoConfiguration(cut.data(), cut.size());
    if (r) {
      EXPECT_EQ(*r, (PictureSize{320, 180})) << n;
    }
  }
  const uint8_t garbage[] = {0, 0, 1, 0x67, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  EXPECT_FALSE(WalkVideoConfiguration(garbage, sizeof garbage));
  const uint8_t no_start_code[] = {0x67, 0x42, 0xC0, 0x0C};
  EXPECT_FALSE(WalkVideoConfiguration(no_start_code, sizeof no_start_code));
  EXPECT_FALSE(WalkVideoConfiguration(nullptr, 0));
}

}  // namespace
