#include <gtest/gtest.h>

#include "platform/kernel/sync.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/nal_units.h"
#include "tests/pipeline/stream_builder.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

struct Engine {
  FakeTuner tuner;
  RecordingHost host;
  CStreamEngine engine{host, tuner};

  Engine() {
    engine.InitStreamEngine();
    EXPECT_EQ(engine.CreateStreamEvents(), 1);
  }
  void Start() {
    host.m_nSourceMode = 1;
    EXPECT_EQ(engine.StartStreamThreads(), 1);
    engine.StartUsbRead();
  }
  void Shutdown() {
    engine.StopStreamThreads();
    engine.CloseStreamEvents();
    engine.FlushChunkQueue();
    engine.FlushPacketQueue();
    engine.DeleteStreamEngine();
  }
  std::vector<SentMessage> Of(int32_t type) {
    std::vector<SentMessage> out;
    for (auto& m : host.Messages())
      if (m.type == type) out.push_back(m);
    return out;
  }
};

}  // namespace

TEST(StreamEngine, DeliversHeadersFirstThenEveryUnitWithItsOwnStamp) {
  Engine e;
  const BuiltStream s = BuildStream(60);
  e.tuner.Queue(s.ts);
  TsWriter pad;
  Bytes tail;
  for (int k = 0; k < 60; ++k) Append(tail, pad.Null());
  e.tuner.Queue(tail);
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0 && e.engine.QueuedChunks() <= 2; }));
  ASSERT_TRUE(WaitUntil([&] { return e.engine.QueuedPackets() <= 2; }));
  EXPECT_EQ(e.host.m_nFeedTarget, 1);
  EXPECT_EQ(e.host.m_nPmtState, 4);
  EXPECT_EQ(e.engine.Pids().video, 0x0100);
  EXPECT_EQ(e.engine.Pids().audio, 0x0110);
  e.Shutdown();

  const auto msgs = e.host.Messages();
  ASSERT_GE(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].type, kMsgVideoConfig);
  EXPECT_EQ(msgs[1].type, kMsgAudioConfig);
  EXPECT_EQ(e.Of(kMsgVideoConfig).size(), 1u);
  // The header of the first frame seen: sync, profile, rate and channels as in every frame.
  ASSERT_EQ(msgs[1].body.size(), 7u);
  EXPECT_EQ(Bytes(msgs[1].body.begin(), msgs[1].body.begin() + 3),
            Bytes(s.audio[0].bytes.begin(), s.audio[0].bytes.begin() + 3));

  // Video: the units written are a run of the stream's units, in order, each with PTS x 300.
  const auto v = e.Of(kMsgVideoFrame);
  ASSERT_GT(v.size(), 40u);
  size_t first = 0;
  while (first < s.video.size() && s.video[first].pts * 300 != v[0].stamp) ++first;
  // From the stream's first unit: the blocks the programme-map search took are demultiplexed too.
  EXPECT_EQ(first, 0u);
  for (size_t k = 0; k < v.size(); ++k) {
    ASSERT_LT(first + k, s.video.size());
    EXPECT_EQ(v[k].stamp, s.video[first + k].pts * 300) << k;
    EXPECT_EQ(NalUnits(v[k].body), NalUnits(s.video[first + k].bytes)) << k;
  }
  const auto a = e.Of(kMsgAudioFrame);
  ASSERT_GT(a.size(), 60u);
  first = 0;
  while (first < s.audio.size() && s.audio[first].pts * 300 != a[0].stamp) ++first;
  ASSERT_LT(first, s.audio.size());
  for (size_t k = 0; k < a.size(); ++k) {
    ASSERT_LT(first + k, s.audio.size());
    EXPECT_EQ(a[k].stamp, s.audio[first + k].pts * 300) << k;
    EXPECT_EQ(a[k].body, s.audio[first + k].bytes) << k;
  }
}

TEST(StreamEngine, PicturesBeforeTheFirstProgrammeMapAreNotLost) {
  // A tune that lands just after a programme map: the next one comes a key-picture interval later.
  Engine e;
  BuiltStream s = BuildStream(40);
  ASSERT_EQ(s.ts.size() % 188, 0u);
  ASSERT_EQ((s.ts[1] << 8 | s.ts[2]) & 0x1FFF, 0x1FC8);
  s.ts.erase(s.ts.begin(), s.ts.begin() + 188);
  e.tuner.Queue(s.ts);
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0 && e.engine.QueuedPackets() <= 2; }));
  ASSERT_TRUE(WaitUntil([&] { return e.host.m_nPmtState == 4 && e.Of(kMsgVideoFrame).size() > 20; }));
  e.Shutdown();
  const auto v = e.Of(kMsgVideoFrame);
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v[0].stamp, s.video[0].pts * 300) << "the first key picture was lost";
  EXPECT_EQ(NalUnits(v[0].body), NalUnits(s.video[0].bytes));
}

TEST(StreamEngine, ResetSendsTheFeedBackToTheSearchAndHeadersGoOutAgain) {
  Engine e;
  e.Start();
  e.tuner.Queue(BuildStream(45).ts);
  ASSERT_TRUE(WaitUntil([&] { return e.Of(kMsgVideoFrame).size() > 5; }));
  EXPECT_EQ(e.host.m_nFeedTarget, 1);

  e.engine.ResetStreamEngine();
  ASSERT_TRUE(WaitUntil([&] { return e.host.m_nFeedTarget == 0 && e.host.m_nPmtState == 2; }));
  // A new channel with other PIDs.
  e.tuner.Queue(BuildStream(45, 0x0200, 0x0210).ts);
  ASSERT_TRUE(WaitUntil([&] { return e.engine.Pids().video == 0x0200 && e.host.m_nFeedTarget == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return e.Of(kMsgVideoConfig).size() == 2; }));
  e.Shutdown();
  EXPECT_EQ(e.engine.Pids().audio, 0x0210);
}

TEST(StreamEngine, ThreadsStopInOrderAndStopWithoutStartDoesNothing) {
  Engine e;
  e.engine.StopStreamThreads();  // never started
  EXPECT_FALSE(e.engine.ThreadsRunning());
  std::mutex lock;
  std::vector<std::pair<CStreamEngine::ThreadId, bool>> seen;
  e.engine.SetThreadObserver([&](CStreamEngine::ThreadId id, bool started) {
    std::lock_guard g(lock);
    seen.emplace_back(id, started);
  });
  e.Start();
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard g(lock);
    return seen.size() == 4;
  }));
  e.engine.StopStreamThreads();
  EXPECT_FALSE(e.engine.ThreadsRunning());
  e.engine.StopStreamThreads();  // again: nothing
  std::vector<CStreamEngine::ThreadId> stops;
  for (auto& [id, started] : seen)
    if (!started) stops.push_back(id);
  EXPECT_EQ(stops, (std::vector<CStreamEngine::ThreadId>{CStreamEngine::kUsbRead, CStreamEngine::kParse,
                                                         CStreamEngine::kDemux, CStreamEngine::kDataPump}));
  // Restart after a stop works.
  EXPECT_EQ(e.engine.StartStreamThreads(), 1);
  e.Shutdown();
}

TEST(StreamEngine, SemaphoresAreNamedWithAMaximumOfOne) {
  Engine e;
  for (const char* name : {"Ostrel_USB", "Ostrel_DEMUX", "Ostrel_PARSE", "Ostrel_DATAPUMP"}) {
    tvk::Handle s = tvk::OpenSemaphore(name);
    ASSERT_TRUE(s) << name;
    EXPECT_TRUE(tvk::ReleaseSemaphore(s, 1)) << name;
    EXPECT_FALSE(tvk::ReleaseSemaphore(s, 1)) << name;  // at the maximum
    EXPECT_EQ(tvk::WaitForSingleObject(s, 0), tvk::WAIT_OBJECT_0);
  }
  e.Shutdown();
  EXPECT_FALSE(tvk::OpenSemaphore("Ostrel_USB"));
}

TEST(StreamEngine, TwoRecordsStayQueuedUntilAThirdArrives) {
  Engine e;
  const BuiltStream s = BuildStream(30);
  e.tuner.Queue(s.ts);
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0 && e.engine.QueuedChunks() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return e.engine.QueuedPackets() == 2; }));
  // Nothing more moves while no block arrives.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(e.engine.QueuedChunks(), 2u);
  const size_t written = e.host.Messages().size();
  TsWriter w;
  Bytes block;
  for (int k = 0; k < 6; ++k) Append(block, w.Null());
  e.tuner.Queue(block);
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(e.engine.QueuedChunks(), 2u);
  EXPECT_GE(e.host.Messages().size(), written);
  e.Shutdown();
}

TEST(StreamEngine, SearchRunsOnlyForALiveSource) {
  Engine e;
  e.tuner.Queue(BuildStream(20).ts);
  EXPECT_EQ(e.engine.StartStreamThreads(), 1);
  e.host.m_nSourceMode = 3;  // a recording plays
  e.engine.StartUsbRead();
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(e.host.m_nFeedTarget, 0);
  EXPECT_EQ(e.engine.Pids().video, kNoPid);
  e.Shutdown();
}
