#include "filter/playback/rec_timeline.h"

namespace rec {

std::optional<int64_t> RecTimeline::OnAudio(int64_t stored) {
  if (!m_hasBase) {
    if (stored == -1) return std::nullopt;
    m_base = stored;
    m_hasBase = true;
  }
  return stored - m_base;
}

std::optional<int64_t> RecTimeline::OnVideo(int64_t stored) const {
  if (!m_hasBase) return std::nullopt;
  return stored - m_base;
}

int RecBatchSize(size_t videoQueued, size_t audioQueued) {
  if (audioQueued <= 60 || videoQueued <= 60) return 40;
  if (videoQueued > 400) return 0;
  return 30;
}

}  // namespace rec
