// The sample broadcast as received at the edge of reception (tests/fixtures/weak, made from
// sample/ch25 by tools/fixturegen/weak_signal.py) through the whole engine and the filter's picture
// decoder: most pictures still come out, and the first soon after the clean stream's first.
#include <gtest/gtest.h>

#include <set>

extern "C" {
#include <libavutil/log.h>
}

#include "filter/source/video_decoder_front.h"
#include "fixture_units.h"
#include "frame_code.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/flush_tail.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

struct Pictures {
  std::set<int> frames;  // frame numbers read from the pictures (a concealed one may not show it)
  int first = -1;        // frame number of the first picture
  size_t unitsSent = 0;
  size_t delivered = 0;  // pictures out of the decoder
};

Pictures Decode(const std::string& fixture) {
  FakeTuner tuner;
  RecordingSink host;
  CStreamEngine engine(host, tuner);
  engine.InitStreamEngine();
  EXPECT_EQ(engine.CreateStreamEvents(), 1);
  const auto flushed = WithFlushTail(ReadFixtureFile(FixturePath(fixture, "stream.ts")));
  EXPECT_TRUE(flushed);
  if (!flushed) return {};
  tuner.Queue(flushed->ts);
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  EXPECT_TRUE(WaitUntil([&] { return flushed->Reached(host.Messages()); }, 120));
  engine.StopStreamThreads();
  const auto messages = flushed->WithoutTail(host.Messages());
  engine.CloseStreamEvents();
  engine.FlushChunkQueue();
  engine.FlushPacketQueue();
  engine.DeleteStreamEngine();

  Pictures p;
  av_log_set_level(AV_LOG_QUIET);  // thousands of concealment reports
  halvik::VideoDecoderFront front;
  for (const auto& m : messages) {
    if (m.type == IPC_VIDEO_CONFIG) {
      EXPECT_TRUE(front.Open(m.body.data(), m.body.size()));
      continue;
    }
    if (m.type != IPC_VIDEO_FRAME) continue;
    ++p.unitsSent;
    const auto r = front.Decode(m.body.data(), m.body.size());
    if (r != halvik::VideoDecoderFront::Result::kPicture) continue;
    ++p.delivered;
    const auto pic = front.picture();
    const int n = ReadFrameCodeY(pic.y, pic.width, pic.height, pic.y_stride);
    if (n < 0) continue;  // too damaged to read: not counted
    if (p.first < 0) p.first = n;
    p.frames.insert(n);
  }
  return p;
}

}  // namespace

TEST(WeakReception, MostPicturesComeThroughAndTheFirstSoon) {
  const Pictures clean = Decode("sample/ch25");
  const Pictures weak = Decode("weak");
  ASSERT_GE(clean.first, 0);
  EXPECT_GE(clean.frames.size(), 880u);
  // ffmpeg makes 630 pictures of this file; a PES cut by loss still gives its picture here.
  EXPECT_GE(weak.delivered, 750u) << "of " << weak.unitsSent << " units sent";
  EXPECT_GE(weak.frames.size(), 450u);  // real pictures, not grey concealment
  ASSERT_GE(weak.first, 0);
  EXPECT_LE(weak.first - clean.first, 30) << "two seconds at 15 pictures a second";
}
