#include "filter/source/adts.h"

#include "ipc/stream_headers.h"

namespace halvik {

using streamhdr::AdtsChannelConfig;

AudioSelection SelectAudioDecoder(const uint8_t b[7]) {
  uint8_t c = AdtsChannelConfig(b);
  if (c == 0) c = 2;
  if ((b[0] >> 3) == 22) return {AudioMode::kBsac, c};
  if ((b[2] >> 6) == 1) return {AudioMode::kAdts, c};
  return {AudioMode::kAudioSpecificConfig, c};
}

ChannelAnalyzer::Result ChannelAnalyzer::Analyze(const uint8_t* h, size_t length, uint8_t pin_count) {
  if (length < 7) return {0, pin_count};
  const uint8_t c = AdtsChannelConfig(h);
  if (c != 0) {
    dual_mono_ = false;
    return {c, c};
  }
  unsigned count = pin_count;
  // The element identifier follows the 9-byte header (7 bytes and the CRC).
  if ((h[6] & 3) == 0 && length >= 10) {
    const int element = h[9] >> 5;
    if (element == 5 && length >= 13) {
      const unsigned front = ((h[10] & 7u) << 1) | (h[11] >> 7);
      if (front == 2) {
        two_front_ = true;
      } else {
        two_front_ = false;
        dual_mono_ = false;
      }
      const unsigned side = (h[11] >> 3) & 0x0F;
      const unsigned back = ((h[11] & 7u) << 1) | (h[12] >> 7);
      const unsigned lfe = (h[12] >> 5) & 3;
      count = front + side + back + lfe;
    } else if (element == 0 && two_front_) {
      dual_mono_ = true;
    }
  }
  if (count == 0 || count > 2) count = pin_count;
  return {0, static_cast<uint8_t>(count)};
}

}  // namespace halvik
