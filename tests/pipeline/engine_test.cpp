#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/kernel/sync.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/flush_tail.h"
#include "tests/pipeline/nal_units.h"
#include "tests/pipeline/stream_builder.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

struct Engine {
  FakeTuner tuner;
  RecordingSink host;
  CStreamEngine engine{host, tuner};

  Engine() {
    engine.InitStreamEngine();
    EXPECT_EQ(engine.CreateStreamEvents(), 1);
  }
  void Start() {
    engine.SetLiveSource(true);
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
  std::vector<SentMessage> Of(int32_t type) { return OfType(host.Messages(), type); }
};

}  // namespace

TEST(StreamEngine, DeliversHeadersFirstThenEveryUnitWithItsOwnStamp) {
  Engine e;
  const BuiltStream s = BuildStream(60);
  const auto f = WithFlushTail(s.ts, s.audio[0].bytes);
  ASSERT_TRUE(f);
  e.tuner.Queue(f->ts);
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return f->Reached(e.host.Messages()); }));
  EXPECT_EQ(e.engine.GetFeedTarget(), FeedTarget::kDemux);
  EXPECT_EQ(e.engine.GetPmtState(), PmtState::kFound);
  EXPECT_EQ(e.engine.Pids().video, 0x0100);
  EXPECT_EQ(e.engine.Pids().audio, 0x0110);
  e.Shutdown();

  const auto msgs = f->WithoutTail(e.host.Messages());
  ASSERT_GE(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].type, IPC_VIDEO_CONFIG);
  EXPECT_EQ(msgs[1].type, IPC_AUDIO_CONFIG);
  EXPECT_EQ(OfType(msgs, IPC_VIDEO_CONFIG).size(), 1u);
  // The header of the first frame seen: sync, profile, rate and channels as in every frame.
  ASSERT_EQ(msgs[1].body.size(), 7u);
  EXPECT_EQ(Bytes(msgs[1].body.begin(), msgs[1].body.begin() + 3),
            Bytes(s.audio[0].bytes.begin(), s.audio[0].bytes.begin() + 3));

  // Video: every unit, in order, each with PTS x 300.
  const auto v = OfType(msgs, IPC_VIDEO_FRAME);
  ASSERT_FALSE(v.empty());
  size_t first = 0;
  while (first < s.video.size() && s.video[first].pts * 300 != v[0].stamp) ++first;
  // From the stream's first unit: the blocks the programme-map search took are demultiplexed too.
  EXPECT_EQ(first, 0u);
  ASSERT_EQ(v.size(), s.video.size());
  for (size_t k = 0; k < v.size(); ++k) {
    EXPECT_EQ(v[k].stamp, s.video[first + k].pts * 300) << k;
    EXPECT_EQ(NalUnits(v[k].body), NalUnits(s.video[first + k].bytes)) << k;
  }
  // Audio: every frame from the moment the headers went, within half a second of that IDR.
  const auto a = OfType(msgs, IPC_AUDIO_FRAME);
  ASSERT_FALSE(a.empty());
  first = 0;
  while (first < s.audio.size() && s.audio[first].pts * 300 != a[0].stamp) ++first;
  ASSERT_LT(first, s.audio.size());
  EXPECT_LE(a[0].stamp, v[0].stamp + 45000 * 300);
  ASSERT_EQ(a.size(), s.audio.size() - first);
  for (size_t k = 0; k < a.size(); ++k) {
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
  ASSERT_TRUE(WaitUntil(
      [&] { return e.engine.GetPmtState() == PmtState::kFound && e.Of(IPC_VIDEO_FRAME).size() > 20; }));
  e.Shutdown();
  const auto v = e.Of(IPC_VIDEO_FRAME);
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v[0].stamp, s.video[0].pts * 300) << "the first key picture was lost";
  EXPECT_EQ(NalUnits(v[0].body), NalUnits(s.video[0].bytes));
}

TEST(StreamEngine, ResetSendsTheFeedBackToTheSearchAndHeadersGoOutAgain) {
  Engine e;
  e.Start();
  e.tuner.Queue(BuildStream(45).ts);
  ASSERT_TRUE(WaitUntil([&] { return e.Of(IPC_VIDEO_FRAME).size() > 5; }));
  EXPECT_EQ(e.engine.GetFeedTarget(), FeedTarget::kDemux);

  e.engine.ResetStreamEngine();
  ASSERT_TRUE(WaitUntil([&] {
    return e.engine.GetFeedTarget() == FeedTarget::kProgrammeMapSearch &&
           e.engine.GetPmtState() == PmtState::kSearching;
  }));
  // A new channel with other PIDs.
  e.tuner.Queue(BuildStream(45, 0x0200, 0x0210).ts);
  ASSERT_TRUE(WaitUntil(
      [&] { return e.engine.Pids().video == 0x0200 && e.engine.GetFeedTarget() == FeedTarget::kDemux; }));
  // Headers go out again for the new channel; a search pass that ran while the old channel's last
  // packets were still being framed may send them once more in between.
  ASSERT_TRUE(WaitUntil([&] { return e.Of(IPC_VIDEO_CONFIG).size() >= 2; }))
      << e.Of(IPC_VIDEO_CONFIG).size() << " headers, " << e.Of(IPC_VIDEO_FRAME).size() << " pictures";
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

// The wake semaphores are the engine's own: no name reaches them, so engines do not meet. Their
// names label the threads.
TEST(StreamEngine, SemaphoresAreTheEnginesOwnAndTheirNamesLabelTheThreads) {
  Engine e;
  std::atomic<int> started{0};
  e.engine.SetThreadObserver([&](CStreamEngine::ThreadId, bool starting) { started += starting ? 1 : 0; });
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return started == 4; }));
  std::vector<std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    names.push_back(name);
  }
  for (const char* name : {"Ostrel_USB", "Ostrel_DEMUX", "Ostrel_PARSE", "Ostrel_DATAPUMP"}) {
    EXPECT_FALSE(tvk::OpenSemaphore(name)) << name;
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
  }
  e.Shutdown();
}

TEST(StreamEngine, TwoRecordsStayQueuedUntilAThirdArrives) {
  Engine e;
  const BuiltStream s = BuildStream(30);
  // The rule holds once pictures flow (a tune's start waives it): the second half comes after.
  const size_t half = s.ts.size() / 2 / 1128 * 1128;
  e.tuner.Queue(Bytes(s.ts.begin(), s.ts.begin() + half));
  e.Start();
  ASSERT_TRUE(WaitUntil([&] { return !e.Of(IPC_VIDEO_FRAME).empty() && !e.Of(IPC_AUDIO_FRAME).empty(); }));
  e.tuner.Queue(Bytes(s.ts.begin() + half, s.ts.end()));
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.Left() == 0 && e.engine.QueuedChunks() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return e.engine.QueuedPackets() == 2; }));
  // Nothing more moves while no block arrives, however many turns the reader has.
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock(20); }));
  EXPECT_EQ(e.engine.QueuedChunks(), 2u);
  EXPECT_EQ(e.engine.QueuedPackets(), 2u);
  const size_t written = e.host.Messages().size();
  TsWriter w;
  Bytes block;
  for (int k = 0; k < 6; ++k) Append(block, w.Null());
  e.tuner.Queue(block);
  // Queued as a third: the oldest goes on, two stay.
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock(); }));
  ASSERT_TRUE(WaitUntil([&] { return e.engine.QueuedChunks() == 2; }));
  EXPECT_GE(e.host.Messages().size(), written);
  e.Shutdown();
}

TEST(StreamEngine, ATunesFirstPictureAndSoundGoOnWithoutWaitingForLaterBlocks) {
  // Three pictures, then silence: under the queue rule the last two blocks would wait for more,
  // and the search (which looks from four blocks gathered) would not even run.
  auto tune = [](uint16_t video, uint16_t audio, int64_t pts0) {
    BuiltStream s = BuildStream(3, video, audio, pts0);
    TsWriter w;
    while (s.ts.size() < 5 * 1128) Append(s.ts, w.Null());
    return s;
  };
  Engine e;
  e.Start();
  struct Channel {
    uint16_t video, audio;
    int64_t pts0;
  };
  for (const Channel& c : {Channel{0x0100, 0x0110, 90000}, Channel{0x0200, 0x0210, 900000}}) {
    SCOPED_TRACE(c.video);
    const BuiltStream s = tune(c.video, c.audio, c.pts0);
    e.tuner.Queue(s.ts);
    ASSERT_TRUE(WaitUntil([&] {
      auto has = [&](int32_t type, int64_t stamp) {
        for (const auto& m : e.Of(type))
          if (m.stamp == stamp) return true;
        return false;
      };
      return has(IPC_VIDEO_FRAME, s.video[0].pts * 300) && has(IPC_AUDIO_FRAME, s.audio.back().pts * 300);
    }));
    EXPECT_EQ(e.engine.Pids().video, c.video);
    // Whether the null blocks after the pictures went too depends on when the start ended: at most
    // the two the rule holds back stay.
    ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock() && e.engine.QueuedChunks() <= 2; }));
    // Once pictures flow the rule holds again: two blocks wait for a third.
    TsWriter w;
    Bytes blocks;
    for (int k = 0; k < 12; ++k) Append(blocks, w.Null());
    e.tuner.Queue(blocks);
    ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock(20); }));
    EXPECT_EQ(e.engine.QueuedChunks(), 2u);
    // A new tune starts again.
    e.engine.ResetStreamEngine();
    e.engine.StartUsbRead();
    ASSERT_TRUE(WaitUntil([&] {
      return e.engine.GetFeedTarget() == FeedTarget::kProgrammeMapSearch &&
             e.engine.GetPmtState() == PmtState::kSearching;
    }));
  }
  e.Shutdown();
}

TEST(StreamEngine, BlocksReadBeforeTheReadRestartsAreNotTheNewChannels) {
  // Threads kept across a change: the old channel goes on arriving between the new filter's reset
  // and the tune; the read's restart follows the tune. Stations often share their PIDs.
  for (const uint16_t video : {uint16_t{0x0200}, uint16_t{0x0100}}) {
    SCOPED_TRACE(video);
    Engine e;
    e.Start();
    const BuiltStream a = BuildStream(45);
    const size_t half = a.ts.size() / 2 / 1128 * 1128;
    e.tuner.Queue(Bytes(a.ts.begin(), a.ts.begin() + half));
    // Demultiplexed but for the blocks and packets the queue rule holds back.
    ASSERT_TRUE(WaitUntil([&] {
      return e.tuner.PolledSinceLastBlock() && e.engine.QueuedChunks() <= 2 && e.engine.QueuedPackets() <= 2;
    }));
    e.engine.ResetStreamEngine();
    ASSERT_TRUE(WaitUntil([&] { return e.engine.GetFeedTarget() == FeedTarget::kProgrammeMapSearch; }));
    // The rest of the old channel without its tables: the search gathers it and never hands it over.
    Bytes rest(a.ts.begin() + half, a.ts.end());
    TsWriter w;
    for (size_t k = 0; k + 188 <= rest.size(); k += 188) {
      const int pid = (rest[k + 1] << 8 | rest[k + 2]) & 0x1FFF;
      if (pid == 0x0000 || pid == 0x1FC8) {
        const Bytes null = w.Null();
        std::copy(null.begin(), null.end(), rest.begin() + ptrdiff_t(k));
      }
    }
    e.tuner.Queue(rest);
    ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock(); }));
    const size_t before = e.Of(IPC_VIDEO_FRAME).size();
    e.engine.StartUsbRead();
    const BuiltStream b = BuildStream(45, video, uint16_t(video + 0x10), 9000000);
    const int64_t b0 = b.video[0].pts * 300;
    e.tuner.Queue(b.ts);
    ASSERT_TRUE(WaitUntil([&] {
      const auto v = e.Of(IPC_VIDEO_FRAME);
      return std::any_of(v.begin(), v.end(), [&](const SentMessage& m) { return m.stamp >= b0; });
    }));
    EXPECT_EQ(e.engine.Pids().video, video);
    e.Shutdown();
    const auto v = e.Of(IPC_VIDEO_FRAME);
    size_t first = before;
    while (first < v.size() && v[first].stamp < b0) ++first;
    ASSERT_LT(first, v.size());
    EXPECT_EQ(v[first].stamp, b0);
    // Only a picture still being written as the search gathered may come; none after the new ones.
    EXPECT_LE(first - before, 1u);
    for (size_t k = first; k < v.size(); ++k) EXPECT_GE(v[k].stamp, b0) << k;
  }
}

TEST(StreamEngine, SearchRunsOnlyForALiveSource) {
  Engine e;
  const Bytes ts = BuildStream(20).ts;
  e.tuner.Queue(ts);
  EXPECT_EQ(e.engine.StartStreamThreads(), 1);
  e.engine.SetLiveSource(false);  // a recording plays
  e.engine.StartUsbRead();
  // Every block stays queued: nothing takes them for a search, however many turns the reader has.
  ASSERT_TRUE(WaitUntil([&] { return e.tuner.PolledSinceLastBlock(20); }));
  EXPECT_EQ(e.engine.QueuedChunks(), ts.size() / 1128);
  EXPECT_EQ(e.engine.GetFeedTarget(), FeedTarget::kProgrammeMapSearch);
  EXPECT_EQ(e.engine.Pids().video, kNoPid);
  e.Shutdown();
}
