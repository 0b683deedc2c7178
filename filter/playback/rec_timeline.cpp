#include "filter/playback/rec_timeline.h"

namespace rec {

std::optional<int64_t> RecTimeline::OnAudio(int64_t stored) {
  if (!m_hasBase) {
    if (stored == -1) return std::nullopt;
    m_base = stored;
    m_hasBase = true;
  }
  return Since(stored);
}

std::optional<int64_t> RecTimeline::OnVideo(int64_t stored) const {
  if (!m_hasBase) return std::nullopt;
  return Since(stored);
}

// A damaged record's time can lie so far from the base that the difference does not fit: such a
// frame has no place on the timeline and is dropped.
std::optional<int64_t> RecTimeline::Since(int64_t stored) const {
  int64_t t = 0;
  if (__builtin_sub_overflow(stored, m_base, &t)) return std::nullopt;
  return t;
}

int RecBatchSize(size_t videoQueued, size_t audioQueued) {
  if (audioQueued <= 60 || videoQueued <= 60) return 40;
  if (videoQueued > 400) return 0;
  return 30;
}

}  // namespace rec
