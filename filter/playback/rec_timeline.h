#pragma once
// Playback times of a recording: the first audio frame read after a start or a seek is time 0, and
// video keeps its recorded relationship to the audio.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace rec {

class RecTimeline {
 public:
  // The time to present an audio frame at, or nullopt to drop it (no time and no base yet).
  std::optional<int64_t> OnAudio(int64_t stored);
  // Video before the first timed audio frame is dropped.
  std::optional<int64_t> OnVideo(int64_t stored) const;
  void Reset() { m_hasBase = false; }
  // Starts the times at `stored` (a seek that knows the time of its target).
  void SetBase(int64_t stored) {
    m_base = stored;
    m_hasBase = true;
  }
  bool HasBase() const { return m_hasBase; }

 private:
  std::optional<int64_t> Since(int64_t stored) const;

  bool m_hasBase = false;
  int64_t m_base = 0;
};

// Records to read this turn: the queues stay roughly between 60 and 400 video frames.
int RecBatchSize(size_t videoQueued, size_t audioQueued);

}  // namespace rec
