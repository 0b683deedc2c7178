// Flash pictures and beep onsets of the A/V sync broadcast (tests/fixtures/avsync), by the buffer
// times they carry at the sinks, and the distance from each flash to its beep.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "tests/support/frame_code.h"

namespace tevalo::test {

class FlashBeepProbe {
 public:
  // A rendered picture (BGRx) with its time in ns; a flash counts where it begins.
  void OnPicture(const std::uint8_t* pixels, int width, int height, int stride, std::int64_t ptsNs) {
    const bool flash = IsFlashFrameBgrx(pixels, width, height, stride);
    std::lock_guard lock(m_lock);
    if (flash && !m_lastFlash && ptsNs >= 0) m_flashes.push_back(ptsNs);
    m_lastFlash = flash;
  }
  // Interleaved S16 sound with the time of its first frame in ns; a beep begins where the first
  // channel is loud after more than 120 ms of quiet.
  void OnSound(const std::int16_t* samples, std::size_t frames, int channels, int rate, std::int64_t ptsNs) {
    if (ptsNs < 0 || rate <= 0) return;
    std::lock_guard lock(m_lock);
    for (std::size_t i = 0; i < frames; ++i) {
      if (std::abs(samples[i * channels]) < 4000) continue;
      const std::int64_t t = ptsNs + static_cast<std::int64_t>(i) * 1000000000LL / rate;
      if (m_lastLoud < 0 || t - m_lastLoud > 120000000LL) m_onsets.push_back(t);
      m_lastLoud = t;
    }
  }
  // Beep onset minus flash in ms, for each flash after the first second that has a beep within
  // 500 ms.
  std::vector<double> Offsets() {
    std::vector<double> out;
    for (const auto& [flash, offset] : Marks()) out.push_back(offset);
    return out;
  }
  // The same, each with its flash's time in ns.
  std::vector<std::pair<std::int64_t, double>> Marks() {
    std::lock_guard lock(m_lock);
    std::vector<std::pair<std::int64_t, double>> out;
    for (std::int64_t f : m_flashes) {
      if (f < m_flashes.front() + 1000000000LL) continue;
      std::int64_t best = INT64_MAX;
      for (std::int64_t a : m_onsets)
        if (std::llabs(a - f) < std::llabs(best)) best = a - f;
      if (std::llabs(best) < 500000000LL) out.emplace_back(f, best / 1e6);
    }
    return out;
  }
  // Each flash's and each beep onset's time in ns.
  std::pair<std::vector<std::int64_t>, std::vector<std::int64_t>> Times() {
    std::lock_guard lock(m_lock);
    return {m_flashes, m_onsets};
  }
  std::size_t Flashes() {
    std::lock_guard lock(m_lock);
    return m_flashes.size();
  }
  std::size_t Onsets() {
    std::lock_guard lock(m_lock);
    return m_onsets.size();
  }

 private:
  std::mutex m_lock;
  std::vector<std::int64_t> m_flashes, m_onsets;
  bool m_lastFlash = false;
  std::int64_t m_lastLoud = -1;
};

}  // namespace tevalo::test
