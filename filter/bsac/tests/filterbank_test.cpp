#include "filter/bsac/filterbank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "filter/bsac/frame.h"

namespace {

std::vector<double> DirectImdct(const float* x, int n) {
  std::vector<double> out(static_cast<size_t>(n));
  const double n0 = (n / 2.0 + 1.0) / 2.0;
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int k = 0; k < n / 2; ++k) s += x[k] * std::cos(2.0 * std::numbers::pi / n * (i + n0) * (k + 0.5));
    out[size_t(i)] = 2.0 / n * s;
  }
  return out;
}

// The forward transform that the inverse one undoes: X[k] = 2 sum_n z[n] cos(...).
std::vector<float> DirectMdct(const std::vector<double>& z) {
  const int n = int(z.size());
  const double n0 = (n / 2.0 + 1.0) / 2.0;
  std::vector<float> out(static_cast<size_t>(n / 2));
  for (int k = 0; k < n / 2; ++k) {
    double s = 0.0;
    for (int i = 0; i < n; ++i)
      s += z[size_t(i)] * std::cos(2.0 * std::numbers::pi / n * (i + n0) * (k + 0.5));
    out[size_t(k)] = float(2.0 * s);
  }
  return out;
}

TEST(Imdct, MatchesTheDirectSum) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
  bsac::Transform t;
  for (int n : {2048, 256}) {
    std::vector<float> x(static_cast<size_t>(n / 2)), out(static_cast<size_t>(n));
    for (float& v : x) v = u(rng);
    ASSERT_TRUE(t.bsac_imdct(x.data(), n, out.data()));
    const auto ref = DirectImdct(x.data(), n);
    double peak = 0.0, err = 0.0;
    for (int i = 0; i < n; ++i) {
      peak = std::max(peak, std::abs(ref[size_t(i)]));
      err = std::max(err, std::abs(ref[size_t(i)] - out[size_t(i)]));
    }
    EXPECT_LT(err, peak * 1e-5) << n;
  }
  std::vector<float> x(512), out(1024);
  EXPECT_FALSE(t.bsac_imdct(x.data(), 1024, out.data()));
}

TEST(Windows, HalvesArePowerComplementary) {
  for (int shape : {0, 1})
    for (int n : {2048, 256}) {
      const auto w = bsac::WindowRise(shape, n);
      ASSERT_EQ(int(w.size()), n / 2);
      for (int i = 0; i < n / 2; ++i)
        EXPECT_NEAR(w[size_t(i)] * w[size_t(i)] + w[size_t(n / 2 - 1 - i)] * w[size_t(n / 2 - 1 - i)], 1.0,
                    1e-5)
            << "shape " << shape << " n " << n << " i " << i;
    }
}

// The synthesis window of a frame's 2048 samples, as the analysis side uses it.
std::vector<double> LongWindow(int seq, int prev_shape, int shape) {
  std::vector<double> w(2048, 0.0);
  const auto lp = bsac::WindowRise(prev_shape, 2048), lc = bsac::WindowRise(shape, 2048);
  const auto sp = bsac::WindowRise(prev_shape, 256), sc = bsac::WindowRise(shape, 256);
  for (int i = 0; i < 1024; ++i) {
    if (seq == bsac::kLongStop)
      w[size_t(i)] = i < 448 ? 0.0 : i < 576 ? sp[size_t(i - 448)] : 1.0;
    else
      w[size_t(i)] = lp[size_t(i)];
    if (seq == bsac::kLongStart)
      w[size_t(1024 + i)] = i < 448 ? 1.0 : i < 576 ? sc[size_t(127 - (i - 448))] : 0.0;
    else
      w[size_t(1024 + i)] = lc[size_t(1023 - i)];
  }
  return w;
}

struct FrameKind {
  int seq;
  int shape;
};

// Analysis by direct MDCTs, synthesis by the filterbank: every sample after the first frame comes
// back within 1e-3.
void ExpectReconstruction(const std::vector<FrameKind>& frames) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const size_t total = (frames.size() + 1) * 1024;
  std::vector<double> signal(total);
  for (double& v : signal) v = u(rng);
  bsac::Transform t;
  bsac::ChannelState ch;
  std::vector<double> out;
  int prev_shape = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    const FrameKind k = frames[f];
    const double* block = signal.data() + f * 1024;  // 2048 samples
    if (k.seq == bsac::kEightShort) {
      const auto sp = bsac::WindowRise(prev_shape, 256), sc = bsac::WindowRise(k.shape, 256);
      for (int w = 0; w < 8; ++w) {
        std::vector<double> z(256);
        for (int i = 0; i < 256; ++i) {
          const double win = i < 128 ? (w == 0 ? sp : sc)[size_t(i)] : sc[size_t(255 - i)];
          z[size_t(i)] = block[448 + 128 * w + i] * win;
        }
        const auto spec = DirectMdct(z);
        std::copy(spec.begin(), spec.end(), ch.spectrum + 128 * w);
      }
    } else {
      const auto win = LongWindow(k.seq, prev_shape, k.shape);
      std::vector<double> z(2048);
      for (int i = 0; i < 2048; ++i) z[size_t(i)] = block[i] * win[size_t(i)];
      const auto spec = DirectMdct(z);
      std::copy(spec.begin(), spec.end(), ch.spectrum);
    }
    ASSERT_EQ(bsac::bsac_inverse_filterbank(t, ch, k.seq, k.shape, 1024, 512, 128), 0);
    ch.previous_shape = k.shape;
    prev_shape = k.shape;
    out.insert(out.end(), ch.output, ch.output + 1024);
  }
  // Output frame f holds samples [f x 1024, (f + 1) x 1024) once the previous frame overlapped it.
  double err = 0.0;
  for (size_t i = 1024; i < out.size(); ++i) err = std::max(err, std::abs(out[i] - signal[i]));
  EXPECT_LT(err, 1e-3);
}

TEST(Filterbank, OnlyLongFramesReconstructWithBothShapes) {
  ExpectReconstruction({{bsac::kOnlyLong, 0}, {bsac::kOnlyLong, 0}, {bsac::kOnlyLong, 0}});
  ExpectReconstruction({{bsac::kOnlyLong, 1}, {bsac::kOnlyLong, 1}, {bsac::kOnlyLong, 1}});
  ExpectReconstruction({{bsac::kOnlyLong, 0}, {bsac::kOnlyLong, 1}, {bsac::kOnlyLong, 0}});
}

TEST(Filterbank, StartShortStopFramesReconstruct) {
  ExpectReconstruction({{bsac::kOnlyLong, 0},
                        {bsac::kLongStart, 0},
                        {bsac::kEightShort, 0},
                        {bsac::kEightShort, 1},
                        {bsac::kLongStop, 1},
                        {bsac::kOnlyLong, 1}});
}

TEST(Filterbank, RefusesSizesItCannotTake) {
  bsac::Transform t;
  bsac::ChannelState ch;
  EXPECT_EQ(bsac::bsac_inverse_filterbank(t, ch, bsac::kOnlyLong, 0, 960, 480, 120), -1);
  EXPECT_EQ(bsac::bsac_inverse_filterbank(t, ch, bsac::kOnlyLong, 0, 8192, 4096, 1024), -1);
  EXPECT_EQ(bsac::bsac_inverse_filterbank(t, ch, bsac::kEightShort, 0, 1024, 512, 256), -1);
}

}  // namespace
