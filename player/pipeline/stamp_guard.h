// Decides whether a PES's time stamp can be believed. At the edge of reception a flipped bit in a
// PTS moves its frames by anything from microseconds to hours, with nothing in the packet to show
// it. A regular stream's stamps lie on the grid of its frame duration: a stamp off that grid, more
// than two frames from where the frames before it end, with no second stamp to confirm it, is taken
// for damage. The PES goes where the stamp one flipped bit
// away lies on the grid, else where the frames before it end, else nowhere.
#pragma once

#include <cstdint>

namespace tevalo::pipeline {

class CStampGuard {
 public:
  // Rounding of a 90 kHz PTS at rates whose frame duration is no whole tick count, and then some.
  static constexpr int64_t kToleranceTicks = 600;
  // A stamp further than this from the last one taken does not confirm the grid.
  static constexpr int64_t kWindowTicks = 3 * 27'000'000;
  // Stamps that fitted in a row before the grid is relied on (a stream of irregular timing never
  // gets there and keeps its own stamps).
  static constexpr int kRegularRun = 4;
  static constexpr int64_t kTicksPerPts = 300;
  // An off-grid stamp this close to where the frames before end is believed.
  static constexpr double kNearFrames = 2;

  // stamp: a PES's stamp (>= 0, 27 MHz ticks); period: its frames' duration in ticks (<= 0:
  // unknown); expected: where the frames before it place it, or -1. forwardOnly: a stamp may not
  // lie at or before the last one (sound), else only not on it (pictures may come reordered).
  // Returns the stamp to use, or -1 when the PES cannot be placed.
  int64_t Take(int64_t stamp, double period, int64_t expected, bool forwardOnly);

  void Reset() {
    const int64_t refused = m_refused;
    *this = CStampGuard();
    m_refused = refused;
  }
  int64_t Refused() const { return m_refused; }

 private:
  static bool OnGrid(int64_t from, int64_t stamp, double period, bool forwardOnly);

  int64_t m_anchor = -1;     // last stamp taken, given or placed
  int64_t m_candidate = -1;  // last stamp refused: the next one on its grid confirms it
  int m_regular = 0;
  int64_t m_refused = 0;
};

}  // namespace tevalo::pipeline
