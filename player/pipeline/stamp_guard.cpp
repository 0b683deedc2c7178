#include "player/pipeline/stamp_guard.h"

#include <cmath>
#include <cstdlib>

namespace tevalo::pipeline {

bool CStampGuard::OnGrid(int64_t from, int64_t stamp, double period, bool forwardOnly) {
  const int64_t d = stamp - from;
  if (d > kWindowTicks || d < -kWindowTicks) return false;
  const double k = std::nearbyint(double(d) / period);
  if (forwardOnly ? k < 1 : k == 0) return false;
  return std::fabs(double(d) - k * period) <= double(kToleranceTicks);
}

int64_t CStampGuard::Take(int64_t stamp, double period, int64_t expected, bool forwardOnly) {
  if (stamp < 0) return stamp;
  const bool fits = m_anchor >= 0 && period > 0 && OnGrid(m_anchor, stamp, period, forwardOnly);
  const bool confirmed = m_candidate >= 0 && period > 0 && OnGrid(m_candidate, stamp, period, forwardOnly);
  if (fits || confirmed || m_regular < kRegularRun || period <= 0) {
    // A confirmed candidate means the stream itself moved: its grid starts again here.
    m_regular = fits ? m_regular + 1 : 1;
    m_anchor = stamp;
    m_candidate = -1;
    return stamp;
  }
  // One flipped bit is the likeliest damage: a stamp one bit away from this one that fits the grid
  // is taken for the true one (it also holds where frames were lost in between).
  const int64_t near = expected >= 0 ? expected : m_anchor;
  int64_t repaired = -1;
  for (int bit = 0; bit < 33; ++bit) {
    const int64_t c = ((stamp / kTicksPerPts) ^ (int64_t{1} << bit)) * kTicksPerPts + stamp % kTicksPerPts;
    if (!OnGrid(m_anchor, c, period, forwardOnly)) continue;
    if (forwardOnly && expected >= 0 && c < expected - kToleranceTicks)
      continue;  // the frames before end later
    if (repaired < 0 || std::llabs(c - near) < std::llabs(repaired - near)) repaired = c;
  }
  if (repaired < 0 && expected >= 0 && std::llabs(stamp - expected) <= int64_t(kNearFrames * period)) {
    // Off the grid but about where the frames before end: the stream's own timing moved a little.
    m_regular = 1;
    m_anchor = stamp;
    m_candidate = -1;
    return stamp;
  }
  ++m_refused;
  m_candidate = stamp;
  const int64_t placed = repaired >= 0 ? repaired : expected;
  if (placed >= 0) m_anchor = placed;
  return placed;
}

}  // namespace tevalo::pipeline
