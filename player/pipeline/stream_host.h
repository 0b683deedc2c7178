// What the stream engine needs from its owner and from the tuner.
//
// The engine's four threads call these from their own threads:
//  - the read thread reads the tuner through ITsBlockSource;
//  - the delivery thread writes frames and the format hand-over through IFrameSink (the channel
//    sink serialises its writes under its send lock) and then tells the owner through
//    IStreamEvents.
// The demultiplexing thread hands the text PIDs to the text decoders (text_decoders.h); their results
// for the screen reach the owner through the decoders' own sink as copies. Nothing here may block on
// the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/pipeline/stream_messages.h"

namespace tevalo::pipeline {

// The tuner's stream: 1128-byte blocks (six packets).
class ITsBlockSource {
 public:
  virtual ~ITsBlockSource() = default;
  // Moves the oldest queued block (1128 bytes) into buffer and returns 1; returns 0 when none is
  // queued. count, when not null, receives the number of blocks queued before the call.
  virtual int GetTSStream(uint8_t* buffer, int* count) = 0;
};

// Where the delivery thread puts the stream: the channel to the filter (CChannelSink), or memory.
class IFrameSink {
 public:
  virtual ~IFrameSink() = default;
  // One whole frame message (type 259: 40000 bytes, 260: 10280 bytes): sets the filter's wake
  // event, then writes when the channel object exists, waiting for the peer's acknowledgement of the
  // previous message. False when the unit was lost (no channel, time-out); the engine goes on with
  // the next unit.
  virtual bool WriteStreamFrame(const uint8_t* message, size_t size) = 0;
  // Both stream headers, before any frame of the stream: the video format message (257, no wait),
  // and only when that went, the audio format message (258, waiting for the peer). True when both
  // were written.
  virtual bool WriteStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) = 0;
};

// What the engine tells its owner, on the engine's threads. Implementations post and return.
class IStreamEvents {
 public:
  virtual ~IStreamEvents() = default;
  // The format hand-over was written (the first time after each programme-map search).
  virtual void OnStreamFormats(const StreamFormatMessage& video, const StreamFormatMessage& audio) = 0;
};

}  // namespace tevalo::pipeline
