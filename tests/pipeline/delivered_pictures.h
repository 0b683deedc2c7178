// A broadcast through the whole stream engine and the filter's picture decoder: what a viewer
// would be shown, counted before any syncing sink. Shared by the weak-reception test and bench.
#pragma once

#include <set>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "filter/source/video_decoder_front.h"
#include "frame_code.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/flush_tail.h"

namespace tevalo::test {

struct DeliveredPictures {
  bool complete = false;             // the whole broadcast went through
  size_t unitsSent = 0;              // access units written to the channel
  size_t delivered = 0;              // pictures out of the decoder
  std::set<int> frames;              // frame numbers read from them (a concealed picture may not show one)
  int first = -1;                    // frame number of the first readable picture
  std::vector<int64_t> soundStamps;  // of the sound frames written, in order
};

// What the whole stream engine writes for a broadcast; complete: all of it went through.
inline std::vector<SentMessage> ThroughEngine(const Bytes& ts, bool* complete) {
  *complete = false;
  const auto flushed = WithFlushTail(ts);
  if (!flushed) return {};
  FakeTuner tuner;
  RecordingSink host;
  pipeline::CStreamEngine engine(host, tuner);
  engine.InitStreamEngine();
  engine.CreateStreamEvents();
  tuner.Queue(flushed->ts);
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  *complete = WaitUntil([&] { return flushed->Reached(host.Messages()); }, 120);
  engine.StopStreamThreads();
  auto messages = flushed->WithoutTail(host.Messages());
  engine.CloseStreamEvents();
  engine.FlushChunkQueue();
  engine.FlushPacketQueue();
  engine.DeleteStreamEngine();
  return messages;
}

inline DeliveredPictures DeliverPictures(const Bytes& ts) {
  DeliveredPictures p;
  const auto messages = ThroughEngine(ts, &p.complete);
  if (!p.complete && messages.empty()) return p;

  av_log_set_level(AV_LOG_QUIET);  // a damaged broadcast makes thousands of concealment reports
  halvik::VideoDecoderFront front;
  for (const auto& m : messages) {
    if (m.type == IPC_VIDEO_CONFIG) {
      front.Open(m.body.data(), m.body.size());
      continue;
    }
    if (m.type == IPC_AUDIO_FRAME) p.soundStamps.push_back(m.stamp);
    if (m.type != IPC_VIDEO_FRAME) continue;
    ++p.unitsSent;
    if (front.Decode(m.body.data(), m.body.size()) != halvik::VideoDecoderFront::Result::kPicture) continue;
    ++p.delivered;
    const auto pic = front.picture();
    const int n = ReadFrameCodeY(pic.y, pic.width, pic.height, pic.y_stride);
    if (n < 0) continue;
    if (p.first < 0) p.first = n;
    p.frames.insert(n);
  }
  return p;
}

}  // namespace tevalo::test
