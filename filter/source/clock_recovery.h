// Maps the channel's 27 MHz stamps to 100-ns presentation times.
//
// Times are taken straight from the stamps: the base is time 0 (the first audio stamp, or the
// earlier of the first audio and video stamps when StartGate sets it) and video keeps the stream's
// own PTS relationship to audio. A stamp that goes backwards, or forwards by more than a
// second, is a discontinuity: the stream's base moves so that the frame follows the previous one by
// the last regular step. After any such move the video base rejoins the audio base when the two are
// within 300 ms of each other, so repeated discontinuities cannot pull the streams apart.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "filter/source/frame_record.h"

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

  static bool IsStamp(int64_t stamp) { return stamp >= 0 && stamp <= kMaxStamp; }

  void Reset() { *this = ClockRecovery(); }
  bool has_base() const { return audio_base_ != -1; }
  // Sets the base of both streams before the first frame is timed.
  void Start(int64_t stamp) { audio_base_ = video_base_ = stamp; }

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

// The first frames after a start wait here until both sound and picture have shown a stamp; the
// clock's base is then the earlier of the two first stamps, so that neither the first picture nor the
// first sound frame lies before it (with the first audio stamp as the base, a key picture stamped
// just before it was dropped and the decoder waited for the next). A stream that brings only one
// kind goes on once its held stamps span a second, kMaxHeld records wait, or nothing has come for
// kIdleMs (asked through Idle).
class StartGate {
 public:
  static constexpr int64_t kSpanTicks = ClockRecovery::kJumpTicks;
  static constexpr size_t kMaxHeld = 256;
  static constexpr int64_t kIdleMs = 500;

  bool holding() const { return !held_.empty(); }
  // A stamped frame that came while the clock has no base. Returns the frames to time now, in the
  // order they came (the clock's base then set); empty while they wait.
  std::vector<FrameRecordPtr> Take(FrameRecordPtr r, bool audio, ClockRecovery& clock, int64_t nowMs);
  // With frames held and nothing come for kIdleMs: as Take's release. Otherwise empty.
  std::vector<FrameRecordPtr> Idle(ClockRecovery& clock, int64_t nowMs);
  void Reset() { *this = StartGate(); }

 private:
  std::vector<FrameRecordPtr> Open(ClockRecovery& clock);

  std::vector<FrameRecordPtr> held_;
  int64_t first_audio_ = -1;
  int64_t first_video_ = -1;
  int64_t lowest_ = -1;
  int64_t highest_ = -1;
  int64_t last_arrival_ms_ = 0;
};

}  // namespace halvik
