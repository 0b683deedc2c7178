// Output side of one src pad: the stream-start, caps and segment events before the first buffer, and
// a buffer pool of fixed count and size for the current caps. The playback element reuses it.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <mutex>

#include "filter/source/pins.h"

namespace halvik {

class PadOutput {
 public:
  explicit PadOutput(GstPad* pad) : pad_(pad) {}
  ~PadOutput();
  PadOutput(const PadOutput&) = delete;
  PadOutput& operator=(const PadOutput&) = delete;

  // Sends the events (once, or again for new caps) and makes a pool of `count` buffers of `size`.
  // False when downstream refuses the caps or the pool cannot start.
  bool Negotiate(GstCaps* caps, size_t size, int count);
  bool same_caps(GstCaps* caps) const { return caps_ && gst_caps_is_equal(caps_, caps); }

  // Blocks while every buffer of the pool is downstream; null when flushing.
  GstBuffer* Acquire();
  // Unblocks Acquire (on deactivation) or lets it work again.
  void SetFlushing(bool flushing);
  // Forgets caps and pool, so the next start sends the events again.
  void Reset();

 private:
  GstPad* pad_;
  GstCaps* caps_ = nullptr;
  std::mutex mutex_;  // guards pool_ and flushing_ against the deactivating thread
  GstBufferPool* pool_ = nullptr;
  bool flushing_ = false;
  bool started_ = false;
};

// Interleaved 16-bit stereo sound at `rate`.
GstCaps* StereoAudioCaps(int rate);

// The rate the audio pin's next sound will have: the ER-BSAC stream's, else the filter's AAC rate.
inline int NextAudioRate(const CHalvikAudioStream& pin, int aac_rate) {
  return pin.bsac_rate() ? pin.bsac_rate() : aac_rate;
}

// Keeps the pad at stereo sound of `rate` with a pool of the audio pin's buffers; false when refused.
bool NegotiateAudio(PadOutput& out, int rate);

// Readies a filled audio buffer: caps renegotiated when the sound's rate changed since the buffer was
// taken (a new configuration came between), the buffer cut to the bytes it holds. Returns the sound's
// duration, or GST_CLOCK_TIME_NONE when the caps are refused.
GstClockTime FinishAudioBuffer(PadOutput& out, GstBuffer* buf, const CHalvikAudioStream::Fill& fill,
                               int aac_rate);

}  // namespace halvik
