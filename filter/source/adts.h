// Decoder selection from the audio configuration, and the per-frame channel analysis that detects
// dual-mono broadcasts (two front single-channel programmes). The ADTS header itself is read with
// ipc/stream_headers.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

enum class AudioMode { kBsac = 0, kAdts = 1, kAudioSpecificConfig = 2 };

struct AudioSelection {
  AudioMode mode;
  uint8_t channel_config;  // 0 read as 2
};

// `config` is the zero-filled configuration body (at least 7 bytes are read).
AudioSelection SelectAudioDecoder(const uint8_t config[7]);

// Channel analysis of each queued frame; the two flags persist from frame to frame.
class ChannelAnalyzer {
 public:
  struct Result {
    uint8_t config;  // channel configuration of the header
    uint8_t count;   // channels of the frame
  };
  // `pin_count` is the pin's current channel count, used where the frame does not say.
  Result Analyze(const uint8_t* frame, size_t length, uint8_t pin_count);

  bool dual_mono() const { return dual_mono_; }
  void Reset() { two_front_ = dual_mono_ = false; }

 private:
  bool two_front_ = false;
  bool dual_mono_ = false;
};

}  // namespace halvik
