#include "filter/source/pins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "es_util.h"
#include "filter/bsac/tests/bsac_test_util.h"
#include "tone.h"

using halvik::CHalvikAudioStream;
using halvik::CHalvikVideoStream;
using halvik::FrameQueue;
using halvik::FrameRecord;

namespace {

halvik::FrameRecordPtr Record(int32_t type, const testes::Bytes& payload, int64_t time) {
  auto r = std::make_unique<FrameRecord>();
  r->type = type;
  r->length = uint32_t(payload.size());
  r->payload = payload;
  r->time = time;
  return r;
}

std::vector<uint8_t> Config1016(const testes::Bytes& body) {
  std::vector<uint8_t> b(1016, 0);
  std::memcpy(b.data(), body.data(), std::min<size_t>(body.size(), b.size()));
  return b;
}

TEST(VideoPin, DeliversStampedPicturesOnlyOnceDecodable) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")));
  const auto cfg = testes::ParameterSets(aus[0]);
  FrameQueue q(halvik::kVideoQueueLimit);
  std::atomic<bool> recording{false};
  FrameQueue rec(10);
  CHalvikVideoStream pin(q, {&recording, &rec, 10});
  std::vector<uint8_t> buf(320 * 180 * 4);
  const halvik::PictureSize size{320, 180};

  EXPECT_EQ(pin.FillBuffer(buf.data(), size, 1280).kind, CHalvikVideoStream::Fill::kNothing);
  EXPECT_TRUE(pin.empty());
  q.Push(Record(259, aus[0], 1000));  // before any configuration: dropped
  EXPECT_EQ(pin.FillBuffer(buf.data(), size, 1280).kind, CHalvikVideoStream::Fill::kNothing);
  EXPECT_EQ(q.Size(), 0u);

  pin.OpenVideoDecoder(cfg.data(), cfg.size());
  for (int i = 0; i < 3; ++i) q.Push(Record(259, aus[size_t(i)], 666666 * i));
  recording = true;
  for (int i = 0; i < 3; ++i) {
    const auto f = pin.FillBuffer(buf.data(), size, 1280);
    ASSERT_EQ(f.kind, CHalvikVideoStream::Fill::kDeliver);
    EXPECT_EQ(f.time, 666666 * i);
    EXPECT_EQ(f.discontinuity, i == 0);
  }
  // The recorder got a copy of each delivered frame, with the presentation time as its stamp.
  ASSERT_EQ(rec.Size(), 3u);
  EXPECT_EQ(rec.Pop()->values[1], 0);
}

TEST(VideoPin, APictureOfAnotherSizeIsHeldForTheRenegotiatedBuffer) {
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_176x144.h264")));
  const auto cfg = testes::ParameterSets(aus[0]);
  FrameQueue q(10);
  CHalvikVideoStream pin(q);
  pin.OpenVideoDecoder(cfg.data(), cfg.size());
  q.Push(Record(259, aus[0], 5));
  std::vector<uint8_t> buf(320 * 180 * 4, 0x11);
  const auto f = pin.FillBuffer(buf.data(), {320, 180}, 1280);
  ASSERT_EQ(f.kind, CHalvikVideoStream::Fill::kResized);
  EXPECT_EQ(f.size, (halvik::PictureSize{176, 144}));
  EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0x11));  // nothing written into the old buffer
  std::vector<uint8_t> small(176 * 144 * 4, 0x11);
  pin.TakeHeldPicture(small.data(), 176 * 4);
  EXPECT_NE(small, std::vector<uint8_t>(small.size(), 0x11));
}

struct AudioPinTest : ::testing::Test {
  FrameQueue q{halvik::kAudioQueueLimit};
  std::atomic<int32_t> selection{1};
  std::vector<int32_t> notified;
  CHalvikAudioStream pin{q, selection,
                         halvik::AudioPinOptions{10, true, [this](int32_t v) { notified.push_back(v); }}};
  std::vector<uint8_t> buf = std::vector<uint8_t>(halvik::kAudioBufferSize, 0xAA);

  const int16_t* pcm() const { return reinterpret_cast<const int16_t*>(buf.data()); }
  bool silent() const { return buf == std::vector<uint8_t>(buf.size(), 0); }
};

TEST_F(AudioPinTest, StereoAndMonoFramesBothFillTheStereoSample) {
  for (const char* file : {"tone1k_lc24_stereo.aac", "tone1k_lc24_mono.aac"}) {
    auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath(file)));
    for (auto& f : frames) f = testes::WithCrc(f);
    pin.OpenAudioDecoder(Config1016(frames[0]).data(), 7);
    for (size_t i = 0; i < 8; ++i) q.Push(Record(260, frames[i], int64_t(i) * 426666));
    for (size_t i = 0; i < 8; ++i) {
      const auto f = pin.FillBuffer(buf.data());
      ASSERT_TRUE(f.deliver);
      EXPECT_EQ(f.time, int64_t(i) * 426666);
      EXPECT_FALSE(f.muted);
    }
    // The last frame is past the encoder's priming: the tone in both channels, equal for mono.
    EXPECT_GT(testes::ToneShare(pcm(), 2048, 0, 1000), 0.8) << file;
    EXPECT_GT(testes::ToneShare(pcm(), 2048, 1, 1000), 0.8) << file;
    if (std::string(file).find("mono") != std::string::npos) {
      for (size_t k = 0; k < 2048; ++k) ASSERT_EQ(pcm()[2 * k], pcm()[2 * k + 1]) << k;
    }
  }
  EXPECT_TRUE(notified.empty());
}

// Frames lost in reception leave the decoder holding the overlap of the frame before them. It plays
// at the first lost frame's time; the frame after the gap comes at its own time.
TEST_F(AudioPinTest, AGapPlaysTheOverlapBeforeItWhereItBelongs) {
  constexpr int64_t kFrame = 426666;  // 1024 samples at 24 kHz, in 100 ns
  for (const char* file : {"tone1k_lc24_stereo.aac", "tone1k_lc24_mono.aac"}) {
    SCOPED_TRACE(file);
    auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath(file)));
    for (auto& f : frames) f = testes::WithCrc(f);
    ASSERT_GE(frames.size(), 12u);
    pin.OpenAudioDecoder(Config1016(frames[0]).data(), 7);
    for (size_t i : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11}) q.Push(Record(260, frames[i], int64_t(i) * kFrame));
    std::vector<int64_t> times;
    double gapTone = 0, gapRms = 0, beforeRms = 0;
    for (int k = 0; k < 11; ++k) {
      const auto f = pin.FillBuffer(buf.data());
      if (!f.deliver) break;
      times.push_back(f.time);
      if (f.time == 5 * kFrame) beforeRms = testes::Rms(pcm(), 2048, 0);
      if (f.time == 6 * kFrame) {
        gapTone = testes::ToneShare(pcm(), 2048, 0, 1000);
        gapRms = testes::Rms(pcm(), 2048, 0);
      }
    }
    EXPECT_EQ(times, (std::vector<int64_t>{0, kFrame, 2 * kFrame, 3 * kFrame, 4 * kFrame, 5 * kFrame,
                                           6 * kFrame, 8 * kFrame, 9 * kFrame, 10 * kFrame, 11 * kFrame}));
    EXPECT_GT(gapTone, 0.5);
    EXPECT_GT(gapRms, beforeRms / 8);
  }
}

TEST_F(AudioPinTest, WithoutADecoderFramesGiveSilenceAtTheirTimes) {
  const auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  q.Push(Record(260, testes::WithCrc(frames[1]), 77));  // before any configuration
  auto f = pin.FillBuffer(buf.data());
  EXPECT_TRUE(f.deliver);
  EXPECT_EQ(f.time, 77);
  EXPECT_TRUE(silent());

  // An ER-BSAC configuration the decoder refuses (88200 Hz, three channels) opens its built-in one;
  // a unit that is not whole is one unit of silence at 44100 Hz.
  const testes::Bytes bsac = {0xB0, 0x98, 0x00, 0x00};
  EXPECT_EQ(pin.OpenAudioDecoder(Config1016(bsac).data(), bsac.size()), 0);
  EXPECT_EQ(pin.bsac_rate(), 44100);
  q.Push(Record(260, {0x12, 0x34, 0x56}, 99));
  buf.assign(buf.size(), 0xAA);
  f = pin.FillBuffer(buf.data());
  EXPECT_TRUE(f.deliver);
  EXPECT_EQ(f.bytes, halvik::kBsacUnitBytes);
  EXPECT_TRUE(std::all_of(buf.begin(), buf.begin() + 4096, [](uint8_t b) { return b == 0; }));

  // A frame the decoder refuses: silence, and the next frame decodes.
  auto good = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  pin.OpenAudioDecoder(Config1016(testes::WithCrc(good[0])).data(), 7);
  testes::Bytes broken = testes::WithCrc(good[1]);
  std::fill(broken.begin() + 9, broken.end(), 0xFF);
  q.Push(Record(260, broken, 1));
  buf.assign(buf.size(), 0xAA);
  EXPECT_TRUE(pin.FillBuffer(buf.data()).deliver);
  EXPECT_TRUE(silent());
  EXPECT_FALSE(pin.accepts_non_adts_frames());
  EXPECT_EQ(pin.bsac_rate(), 0);
  for (int i = 0; i < 6; ++i) {
    q.Push(Record(260, testes::WithCrc(good[size_t(2 + i)]), 2 + i));
    pin.FillBuffer(buf.data());
  }
  EXPECT_FALSE(silent());
}

// ER-BSAC units: no ADTS header, one unit of 1024 stereo frames at the stream's own rate, silence of
// that length where a unit does not decode (the carried models lack what frames with content need).
TEST_F(AudioPinTest, ErBsacUnitsFillOneUnitAtTheStreamsRate) {
  const struct {
    testes::Bytes asc;
    int channels;
    int rate;
  } cases[] = {{{0xB1, 0x91}, 2, 48000}, {{0xB2, 0x09}, 1, 44100}};
  int64_t time = 1000;
  for (const auto& c : cases) {
    ASSERT_EQ(pin.OpenAudioDecoder(Config1016(c.asc).data(), c.asc.size()), 0);
    EXPECT_TRUE(pin.accepts_non_adts_frames());
    EXPECT_EQ(pin.bsac_rate(), c.rate);
    EXPECT_EQ(pin.decoder_delay(), 0);
    bsac::StreamTables t;
    bsac::bsac_init_tables(t, uint32_t(c.rate), 1024, c.channels);
    bsac::SideInfo silent_frame;
    silent_frame.channels = c.channels;
    bsac::SideInfo content = silent_frame;
    content.max_sfb = 12;
    for (const auto& unit :
         {bsactest::WriteFrame(silent_frame, t, nullptr), bsactest::WriteFrame(content, t, nullptr),
          testes::Bytes{0xFF, 0xF8, 0x50, 0x80}}) {
      q.Push(Record(260, unit, time));
      buf.assign(buf.size(), 0xAA);
      const auto f = pin.FillBuffer(buf.data());
      ASSERT_TRUE(f.deliver);
      EXPECT_EQ(f.time, time);
      EXPECT_EQ(f.bytes, halvik::kBsacUnitBytes);
      EXPECT_EQ(f.rate, c.rate);
      EXPECT_FALSE(f.muted);
      EXPECT_TRUE(std::all_of(buf.begin(), buf.begin() + 4096, [](uint8_t b) { return b == 0; })) << time;
      time += 10;
    }
  }
  EXPECT_TRUE(notified.empty());  // no channel analysis of ER-BSAC units

  // Back to AAC: whole samples at the filter's rate.
  const auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  pin.OpenAudioDecoder(Config1016(testes::WithCrc(frames[0])).data(), 7);
  EXPECT_EQ(pin.bsac_rate(), 0);
  q.Push(Record(260, testes::WithCrc(frames[1]), 5));
  const auto f = pin.FillBuffer(buf.data());
  EXPECT_EQ(f.bytes, halvik::kAudioBufferSize);
  EXPECT_EQ(f.rate, 0);
}

}  // namespace
