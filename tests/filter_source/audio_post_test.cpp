#include "filter/source/audio_post.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr size_t kFrames = 2048;

// 2048 stereo frames; `left` and `right` give the sample of frame k.
std::vector<int16_t> Pcm(const std::function<double(size_t)>& left,
                         const std::function<double(size_t)>& right) {
  std::vector<int16_t> s(2 * kFrames);
  for (size_t k = 0; k < kFrames; ++k) {
    s[2 * k] = int16_t(std::lround(std::clamp(left(k), -32768.0, 32767.0)));
    s[2 * k + 1] = int16_t(std::lround(std::clamp(right(k), -32768.0, 32767.0)));
  }
  return s;
}

double Tone(size_t k, double hz, double amplitude) {
  return amplitude * std::sin(2 * std::numbers::pi * hz * double(k) / 48000.0);
}

TEST(NoiseBurstMute, Table) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> noise(-32767, 32767);
  std::vector<double> burst(kFrames);
  for (auto& b : burst) b = noise(rng);
  auto zero = [](size_t) { return 0.0; };
  struct Case {
    const char* what;
    std::function<double(size_t)> left;
    int threshold;
    bool muted;
  } cases[] = {
      {"silence", zero, 10, false},
      {"quiet 1 kHz tone", [](size_t k) { return Tone(k, 1000, 3000); }, 10, false},
      {"-12 dBFS 1 kHz tone", [](size_t k) { return Tone(k, 1000, 8000); }, 10, false},
      {"-12 dBFS 440 Hz tone", [](size_t k) { return Tone(k, 440, 8000); }, 10, false},
      {"full-scale tone at half the rate", [](size_t k) { return (k & 1) ? -32767.0 : 32767.0; }, 10, true},
      {"tone at half the rate in the second half only",
       [](size_t k) { return k < 1024 ? 0.0 : ((k & 1) ? -32767.0 : 32767.0); }, 10, true},
      {"full-scale noise burst", [&](size_t k) { return burst[k]; }, 10, true},
      {"short noise burst in the first half", [&](size_t k) { return k >= 300 && k < 500 ? burst[k] : 0.0; },
       10, true},
      // 25 x 512 (the window's sum) in bin 0: above the live threshold, below the playback one.
      {"weak tone at half the rate, live", [](size_t k) { return (k & 1) ? -25.0 : 25.0; }, 10, true},
      {"weak tone at half the rate, playback", [](size_t k) { return (k & 1) ? -25.0 : 25.0; }, 30, false},
      // Loud clean sound is no burst (their spectral leakage once read as one).
      {"-1 dBFS 440 Hz tone", [](size_t k) { return Tone(k, 440, 29000); }, 10, false},
      {"-1 dBFS 3 kHz tone", [](size_t k) { return Tone(k, 3000, 29000); }, 10, false},
      {"-4 dBFS 1 kHz beep starting mid-block",
       [](size_t k) { return k < 700 ? 0.0 : Tone(k - 700, 1000, 20000); }, 10, false},
      {"full-scale square wave at 1 kHz", [](size_t k) { return (k / 24) % 2 ? -32767.0 : 32767.0; }, 10,
       true},
  };
  for (const auto& c : cases) {
    auto pcm = Pcm(c.left, [](size_t k) { return Tone(k, 500, 1000); });
    const auto before = pcm;
    EXPECT_EQ(halvik::MuteNoiseBurst(pcm.data(), c.threshold), c.muted) << c.what;
    if (c.muted)
      EXPECT_EQ(pcm, std::vector<int16_t>(pcm.size(), 0)) << c.what;
    else
      EXPECT_EQ(pcm, before) << c.what;
  }
}

TEST(NoiseBurstMute, OnlyTheLeftChannelIsExamined) {
  auto pcm = Pcm([](size_t) { return 0.0; }, [](size_t k) { return (k & 1) ? -32767.0 : 32767.0; });
  EXPECT_FALSE(halvik::MuteNoiseBurst(pcm.data(), 10));
}

TEST(DualMono, SelectionAndMonoDoubling) {
  const std::vector<int16_t> src = {1, -1, 2, -2, 3, -3};
  struct Case {
    int32_t selection;
    std::vector<int16_t> out;
  } cases[] = {
      {1, {1, 1, 2, 2, 3, 3}},
      {2, {-1, -1, -2, -2, -3, -3}},
      {3, {1, -1, 2, -2, 3, -3}},
      {0, {1, -1, 2, -2, 3, -3}},
  };
  for (const auto& c : cases) {
    auto s = src;
    halvik::ApplyDualMonoSelection(s.data(), 3, c.selection);
    EXPECT_EQ(s, c.out) << c.selection;
  }
  std::vector<int16_t> mono = {5, 6, 7, 0, 0, 0};
  halvik::DoubleMono(mono.data(), 3);
  EXPECT_EQ(mono, (std::vector<int16_t>{5, 5, 6, 6, 7, 7}));
}

}  // namespace
