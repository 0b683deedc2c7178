#include "filter/source/audio_post.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <vector>

namespace halvik {

void DoubleMono(int16_t* pcm, size_t frames) {
  for (size_t i = frames; i-- > 0;) {
    const int16_t s = pcm[i];
    pcm[2 * i] = s;
    pcm[2 * i + 1] = s;
  }
}

void ApplyDualMonoSelection(int16_t* s, size_t frames, int32_t selection) {
  if (selection == 1) {
    for (size_t i = 0; i < frames; ++i) s[2 * i + 1] = s[2 * i];
  } else if (selection == 2) {
    for (size_t i = 0; i < frames; ++i) s[2 * i] = s[2 * i + 1];
  }
}

namespace {

constexpr size_t kN = 1024;

struct FftTables {
  uint16_t reverse[kN];
  std::complex<double> twiddle[kN / 2];  // e^(-2 pi i k / N)
};

const FftTables& Tables() {
  static const FftTables* t = [] {
    auto* f = new FftTables;
    for (size_t i = 0; i < kN; ++i) {
      size_t r = 0;
      for (size_t b = 1, v = i; b < kN; b <<= 1, v >>= 1) r = (r << 1) | (v & 1);
      f->reverse[i] = static_cast<uint16_t>(r);
    }
    for (size_t k = 0; k < kN / 2; ++k)
      f->twiddle[k] = std::polar(1.0, -2 * std::numbers::pi * double(k) / double(kN));
    return f;
  }();
  return *t;
}

// In-place radix-2 transform without normalisation.
void Fft(std::complex<double>* x) {
  const FftTables& t = Tables();
  for (size_t i = 0; i < kN; ++i)
    if (i < t.reverse[i]) std::swap(x[i], x[t.reverse[i]]);
  for (size_t len = 2, step = kN / 2; len <= kN; len <<= 1, step >>= 1) {
    for (size_t i = 0; i < kN; i += len) {
      for (size_t k = 0; k < len / 2; ++k) {
        const auto u = x[i + k];
        const auto v = x[i + k + len / 2] * t.twiddle[k * step];
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
      }
    }
  }
}

// A Hann window keeps loud low-frequency sound from leaking into the bins near half the sampling
// rate: without it a clean tone at -4 dBFS already reads as a burst.
const double* HannWindow() {
  static const auto* w = [] {
    auto* t = new double[kN];
    for (size_t k = 0; k < kN; ++k)
      t[k] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(k) / double(kN));
    return t;
  }();
  return w;
}

}  // namespace

bool HasNoiseBurst(const int16_t* s, int threshold) {
  const double* w = HannWindow();
  std::complex<double> x[kN];
  for (size_t k = 0; k < kN; ++k) {
    const double v = w[k] * double(s[2 * k]);
    x[k] = {(k & 1) ? -v : v, 0.0};
  }
  Fft(x);
  for (size_t bin = 0; bin < 30; ++bin) {
    const auto r = static_cast<int64_t>(x[bin].real());
    const int64_t thousands = r / 1000;
    if (thousands > threshold || thousands < -threshold) return true;
  }
  return false;
}

bool MuteNoiseBurst(int16_t* s, int threshold) {
  if (HasNoiseBurst(s, threshold) || HasNoiseBurst(s + 2 * kN, threshold)) {
    std::memset(s, 0, 2 * kN * 2 * sizeof(int16_t));
    return true;
  }
  return false;
}

}  // namespace halvik
