// Output side of one src pad: the stream-start, caps and segment events before the first buffer, and
// a buffer pool of fixed count and size for the current caps.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <mutex>

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

}  // namespace halvik
