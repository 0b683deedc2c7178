// Maps the channel's 27 MHz stamps to 100-ns presentation times.
//
// Times are taken straight from the stamps: the first audio stamp is time 0 and video keeps the
// stream's own PTS relationship to audio. A stamp that goes backwards, or forwards by more than a
// second, is a discontinuity: the stream's base moves so that the frame follows the previous one by
// the last regular step. After any such move the video base rejoins the audio base when the two are
// within 300 ms of each other, so repeated discontinuities cannot pull the streams apart.
#pragma once

#include <cstdint>
#include <optional>

namespace halvik {

class ClockRecovery {
 public:
  static constexpr int64_t kJumpTicks = 27'000'000;      // one second
  static constexpr int64_t kRejoinTicks = 300 * 27'000;  // 300 ms

  // Stamps come from a 33-bit 90 kHz PTS (x 300); anything beyond that range counts as no stamp.
  static constexpr int64_t kMaxStamp = int64_t{1} << 43;

  static int64_t TicksToTime(int64_t ticks) {
    return static_cast<int64_t>(static_cast<__int128>(ticks) * 10 / 27);
  }

  void Reset() { *this = ClockRecovery(); }
  bool has_base() const { return audio_base_ != -1; }

  // Presentation time of an audio frame; nullopt drops it. A frame without a stamp once the base
  // is set is kept and untimed (kUntimed).
  std::optional<int64_t> AudioTime(int64_t stamp);
  // Presentation time of a video frame; nullopt drops it (no audio base yet, no stamp, or a time
  // before the first audio frame).
  std::optional<int64_t> VideoTime(int64_t stamp);

  int64_t audio_base() const { return audio_base_; }
  int64_t video_base() const { return video_base_; }

 private:
  struct Stream {
    int64_t last = -1;  // previous stamp
    int64_t step = 0;   // last regular stamp difference
  };
  // Moves `base` when `stamp` jumps from the stream's previous stamp; true when it moved.
  static bool Absorb(Stream& s, int64_t stamp, int64_t& base);
  void Rejoin();

  int64_t audio_base_ = -1;
  int64_t video_base_ = -1;
  Stream audio_;
  Stream video_;
};

}  // namespace halvik
