// What the stream engine needs from its owner (the main window) and from the tuner.
//
// The engine's four threads call these from their own threads:
//  - the read thread reads the tuner through ITsBlockSource and reads/writes the words
//    m_nFeedTarget and m_nPmtState;
//  - the programme-map thread reads m_nSourceMode and writes m_nFeedTarget / m_nPmtState;
//  - the delivery thread calls SendStreamFormats and WriteStreamFrame, always with the engine's send
//    lock held (CStreamEngine::SendLock()); every other writer of the channel (control messages,
//    ping) and the deletion of the channel object take the same lock.
// The demultiplexing thread hands the text PIDs to the text decoders (text_decoders.h); their results
// for the screen reach the host through the decoders' own sink as copies, which the host queues to
// its GUI thread. Nothing here may block on the GUI thread.
#pragma once

#include <atomic>
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

// The channel as the delivery thread sees it.
class IFrameSink {
 public:
  virtual ~IFrameSink() = default;
  // One whole frame message (type 259: 40000 bytes, 260: 10280 bytes). Called with the send lock
  // held. Sets the filter's wake event, then writes when the channel object exists, waiting for the
  // peer's acknowledgement of the previous message. False when the unit was lost (no channel,
  // time-out); the engine goes on with the next unit.
  virtual bool WriteStreamFrame(const uint8_t* message, size_t size) = 0;
};

class IStreamHost : public IFrameSink {
 public:
  // Which thread the read thread wakes for a new block: 0 the programme-map search, 1 the
  // demultiplexer.
  std::atomic<int> m_nFeedTarget{0};
  // 2 searching for the programme map, 4 found.
  std::atomic<int> m_nPmtState{2};
  // 0 nothing open, 1 live broadcast, 3 recording file; the search runs only while it is 1.
  std::atomic<int> m_nSourceMode{0};

  // Both stream headers are known (first time after each programme-map search). Called on the
  // delivery thread with the send lock held, before any frame of the stream is written: the host
  // writes the video format message (257, no wait) and then the audio format message (258, waiting
  // for the peer), and keeps copies of both. direction is always 0.
  virtual void SendStreamFormats(int direction, const StreamFormatMessage& video,
                                 const StreamFormatMessage& audio) = 0;
};

}  // namespace tevalo::pipeline
