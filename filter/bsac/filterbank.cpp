#include "filter/bsac/filterbank.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "filter/bsac/frame.h"

namespace bsac {
namespace {

using Complex = std::complex<float>;

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-12) break;
  }
  return sum;
}

std::vector<float> SineRise(int n) {
  std::vector<float> w(size_t(n) / 2);
  for (int i = 0; i < n / 2; ++i) w[size_t(i)] = float(std::sin(std::numbers::pi / n * (i + 0.5)));
  return w;
}

std::vector<float> KbdRise(int n, double alpha) {
  const int half = n / 2;
  std::vector<double> kernel(size_t(half) + 1);
  double total = 0.0;
  for (int i = 0; i <= half; ++i) {
    const double r = (i - n / 4.0) / (n / 4.0);
    kernel[size_t(i)] = BesselI0(std::numbers::pi * alpha * std::sqrt(std::max(0.0, 1.0 - r * r)));
    total += kernel[size_t(i)];
  }
  std::vector<float> w(static_cast<size_t>(half));
  double acc = 0.0;
  for (int i = 0; i < half; ++i) {
    acc += kernel[size_t(i)];
    w[size_t(i)] = float(std::sqrt(acc / total));
  }
  return w;
}

struct Windows {
  std::vector<float> long_sine = SineRise(2048), long_kbd = KbdRise(2048, 4.0);
  std::vector<float> short_sine = SineRise(256), short_kbd = KbdRise(256, 6.0);
};

const Windows& AllWindows() {
  static const Windows w;
  return w;
}

// Twiddles of one transform length: the pre/post rotation exp(-i pi (k + 1/8) / (N/2)) for k below
// N/4, the FFT's exp(-2 pi i k / (N/4)) and its bit reversal.
struct Twiddles {
  int n = 0;
  std::vector<Complex> rotation;
  std::vector<Complex> fft;
  std::vector<int> reversed;
  explicit Twiddles(int len) : n(len) {
    const int half = n / 2, q = n / 4;
    rotation.resize(size_t(q));
    fft.resize(size_t(q / 2));
    reversed.resize(size_t(q));
    for (int k = 0; k < q; ++k) rotation[size_t(k)] = std::polar(1.0, -std::numbers::pi * (k + 0.125) / half);
    for (int k = 0; k < q / 2; ++k) fft[size_t(k)] = std::polar(1.0, -2.0 * std::numbers::pi * k / q);
    int bits = 0;
    while ((1 << bits) < q) ++bits;
    for (int k = 0; k < q; ++k) {
      int r = 0;
      for (int b = 0; b < bits; ++b) r |= ((k >> b) & 1) << (bits - 1 - b);
      reversed[size_t(k)] = r;
    }
  }
};

const Twiddles* TwiddlesFor(int n) {
  static const Twiddles t2048(2048), t256(256);
  if (n == 2048) return &t2048;
  if (n == 256) return &t256;
  return nullptr;
}

}  // namespace

std::span<const float> WindowRise(int shape, int n) {
  const Windows& w = AllWindows();
  if (n == 2048) return shape ? w.long_kbd : w.long_sine;
  return shape ? w.short_kbd : w.short_sine;
}

void Transform::bsac_fft(Complex* z, int q) {
  const Twiddles& t = *TwiddlesFor(q * 4);
  for (int k = 0; k < q; ++k)
    if (t.reversed[size_t(k)] > k) std::swap(z[k], z[t.reversed[size_t(k)]]);
  for (int len = 2; len <= q; len <<= 1) {
    const int step = q / len;
    for (int start = 0; start < q; start += len)
      for (int k = 0; k < len / 2; ++k) {
        const Complex w = t.fft[size_t(k * step)];
        const Complex a = z[start + k];
        const Complex b = z[start + k + len / 2] * w;
        z[start + k] = a + b;
        z[start + k + len / 2] = a - b;
      }
  }
}

bool Transform::bsac_imdct(const float* x, int n, float* out) {
  const Twiddles* t = TwiddlesFor(n);
  if (!t) return false;
  const int half = n / 2, q = n / 4;
  if (scratch_.size() < size_t(q)) scratch_.resize(size_t(q));
  Complex* z = scratch_.data();
  // A DCT-IV of N/2 points as an N/4-point complex FFT between two rotations.
  for (int k = 0; k < q; ++k) z[k] = Complex(x[2 * k], x[half - 1 - 2 * k]) * t->rotation[size_t(k)];
  bsac_fft(z, q);
  const float scale = 2.0f / float(n);
  for (int k = 0; k < q; ++k) z[k] *= t->rotation[size_t(k)];
  // The DCT-IV output u[2k] = Re z[k], u[N/2 - 1 - 2k] = -Im z[k], unfolded by its symmetries.
  auto value = [z, half](int m) { return m % 2 == 0 ? z[m / 2].real() : -z[(half - 1 - m) / 2].imag(); };
  for (int i = 0; i < half / 2; ++i) out[i] = scale * value(i + half / 2);
  for (int i = half / 2; i < 3 * half / 2; ++i) out[i] = -scale * value(3 * half / 2 - 1 - i);
  for (int i = 3 * half / 2; i < n; ++i) out[i] = -scale * value(i - 3 * half / 2);
  return true;
}

int bsac_inverse_filterbank(Transform& t, ChannelState& ch, int seq, int shape, int frame_length,
                            int half_length, int short_length) {
  if (frame_length <= 0 || half_length <= 0 || short_length <= 0 || frame_length > 4096 ||
      frame_length % short_length != 0 || frame_length % half_length != 0 ||
      (frame_length / half_length) % 2 != 0)
    return -1;
  if (seq == kEightShort && frame_length / short_length != 8) return -1;
  if (frame_length != kFrameLength || short_length != kShortLength) return -1;
  const int n = 2 * frame_length;  // 2048
  float time[2 * kFrameLength];
  const std::span<const float> long_prev = WindowRise(ch.previous_shape, n);
  const std::span<const float> long_cur = WindowRise(shape, n);
  const std::span<const float> short_prev = WindowRise(ch.previous_shape, 2 * short_length);
  const std::span<const float> short_cur = WindowRise(shape, 2 * short_length);
  const int flat = (frame_length - short_length) / 2;  // 448

  if (seq == kEightShort) {
    std::fill_n(time, n, 0.0f);
    float piece[2 * kShortLength];
    for (int w = 0; w < 8; ++w) {
      t.bsac_imdct(ch.spectrum + w * short_length, 2 * short_length, piece);
      const std::span<const float> rise = w == 0 ? short_prev : short_cur;
      float* dst = time + flat + w * short_length;
      for (int i = 0; i < short_length; ++i) {
        dst[i] += piece[i] * rise[size_t(i)];
        dst[short_length + i] += piece[short_length + i] * short_cur[size_t(short_length - 1 - i)];
      }
    }
  } else {
    t.bsac_imdct(ch.spectrum, n, time);
    if (seq == kLongStop) {
      std::fill_n(time, flat, 0.0f);
      for (int i = 0; i < short_length; ++i) time[flat + i] *= short_prev[size_t(i)];
    } else {
      for (int i = 0; i < frame_length; ++i) time[i] *= long_prev[size_t(i)];
    }
    float* second = time + frame_length;
    if (seq == kLongStart) {
      for (int i = 0; i < short_length; ++i) second[flat + i] *= short_cur[size_t(short_length - 1 - i)];
      std::fill_n(second + flat + short_length, flat, 0.0f);
    } else {
      for (int i = 0; i < frame_length; ++i) second[i] *= long_cur[size_t(frame_length - 1 - i)];
    }
  }
  for (int i = 0; i < frame_length; ++i) {
    ch.output[i] = time[i] + ch.overlap[i];
    ch.overlap[i] = time[frame_length + i];
  }
  return 0;
}

}  // namespace bsac
