#include "filter/source/clock_recovery.h"

#include <algorithm>

namespace halvik {

bool ClockRecovery::Absorb(Stream& s, int64_t stamp, int64_t& base) {
  bool moved = false;
  if (s.last != -1) {
    const int64_t diff = stamp - s.last;
    if (diff < 0 || diff > kJumpTicks) {
      base += diff - s.step;
      moved = true;
    } else {
      s.step = diff;
    }
  }
  s.last = stamp;
  return moved;
}

void ClockRecovery::Rejoin() {
  const int64_t gap = video_base_ - audio_base_;
  if (gap >= -kRejoinTicks && gap <= kRejoinTicks) video_base_ = audio_base_;
}

std::optional<int64_t> ClockRecovery::AudioTime(int64_t stamp) {
  if (stamp > kMaxStamp) stamp = -1;
  if (audio_base_ == -1) {
    if (stamp < 0) return std::nullopt;
    audio_base_ = video_base_ = stamp;
    audio_.last = stamp;
    return 0;
  }
  if (stamp < 0) return kUntimed;
  if (Absorb(audio_, stamp, audio_base_) && video_.last != -1) Rejoin();
  return TicksToTime(stamp - audio_base_);
}

std::optional<int64_t> ClockRecovery::VideoTime(int64_t stamp) {
  if (audio_base_ == -1 || stamp < 0 || stamp > kMaxStamp) return std::nullopt;
  if (Absorb(video_, stamp, video_base_)) Rejoin();
  const int64_t t = TicksToTime(stamp - video_base_);
  if (t < 0) return std::nullopt;
  return t;
}

std::vector<FrameRecordPtr> StartGate::Take(FrameRecordPtr r, bool audio, ClockRecovery& clock,
                                            int64_t nowMs) {
  const int64_t stamp = r->stamp();
  int64_t& first = audio ? first_audio_ : first_video_;
  if (first == -1) first = stamp;
  lowest_ = held_.empty() ? stamp : std::min(lowest_, stamp);
  highest_ = held_.empty() ? stamp : std::max(highest_, stamp);
  last_arrival_ms_ = nowMs;
  held_.push_back(std::move(r));
  if ((first_audio_ != -1 && first_video_ != -1) || highest_ - lowest_ > kSpanTicks ||
      held_.size() >= kMaxHeld)
    return Open(clock);
  return {};
}

std::vector<FrameRecordPtr> StartGate::Idle(ClockRecovery& clock, int64_t nowMs) {
  if (held_.empty() || nowMs - last_arrival_ms_ < kIdleMs) return {};
  return Open(clock);
}

std::vector<FrameRecordPtr> StartGate::Open(ClockRecovery& clock) {
  if (first_audio_ != -1 && first_video_ != -1)
    clock.Start(std::min(first_audio_, first_video_));
  else
    clock.Start(first_audio_ != -1 ? first_audio_ : first_video_);
  std::vector<FrameRecordPtr> out = std::move(held_);
  Reset();
  return out;
}

}  // namespace halvik
