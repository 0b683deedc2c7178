// Frequency and level of a tone in interleaved 16-bit stereo PCM.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace testes {

// Power of `hz` in channel `ch` (Goertzel), relative to the channel's total power: near 1 for a
// clean tone at that frequency.
inline double ToneShare(const int16_t* s, size_t frames, int ch, double hz, double rate = 48000) {
  const double w = 2 * std::numbers::pi * hz / rate, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0, total = 0;
  for (size_t k = 0; k < frames; ++k) {
    const double x = s[2 * k + size_t(ch)];
    total += x * x;
    const double s0 = x + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  if (total <= 0) return 0;
  const double p = s1 * s1 + s2 * s2 - c * s1 * s2;
  return 2 * p / (double(frames) * total);
}

inline double Rms(const int16_t* s, size_t frames, int ch) {
  double t = 0;
  for (size_t k = 0; k < frames; ++k) t += double(s[2 * k + size_t(ch)]) * s[2 * k + size_t(ch)];
  return std::sqrt(t / double(frames));
}

}  // namespace testes
