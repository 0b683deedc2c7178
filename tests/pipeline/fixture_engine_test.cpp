// Every test broadcast through the whole engine, fed as the tuner's 1128-byte blocks: the access
// units and ADTS frames written to the channel are the manifest's, by content, in order, each with
// PTS x 300 of its own PES.
//
// Differences the engine makes on purpose, and allowed here:
//  - units before the stream headers are not written: video until the first IDR after the
//    programme map was found, audio until then;
//  - start-code bytes at a cut: a unit carried over a PES boundary begins at its delimiter's
//    header byte (no start code) and ends with the zero byte of the next unit's 4-byte start code;
//    units are compared by their NAL units;
//  - none at the end: a tail after the broadcast pushes out the records that stay queued (a consumer
//    takes only while more than two wait) and the last access unit (it waits for the next delimiter).
// In the damaged broadcast, units the manifest marks as not intact may be missing or differ.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "fixture_units.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/fixture_align.h"
#include "tests/pipeline/flush_tail.h"
#include "tests/pipeline/nal_units.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

struct EngineRun {
  std::vector<SentMessage> messages;
  int feedTarget;
  int pmtState;
  uint16_t video, audio;
};

// Feeds the broadcast and, when it has a programme map, a tail that pushes all of it through.
EngineRun RunEngine(const std::string& fixture, const std::vector<Expected>& audio) {
  FakeTuner tuner;
  RecordingSink host;
  CStreamEngine engine(host, tuner);
  engine.InitStreamEngine();
  EXPECT_EQ(engine.CreateStreamEvents(), 1);
  const Bytes ts = ReadFixtureFile(FixturePath(fixture, "stream.ts"));
  Bytes frame;  // for the tail: an intact frame of the broadcast's kind
  for (const auto& a : audio)
    if (a.intact) frame = a.bytes;
  const auto flushed = WithFlushTail(ts, frame);
  tuner.Queue(flushed ? flushed->ts : ts);
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  if (flushed) {
    EXPECT_TRUE(WaitUntil([&] { return flushed->Reached(host.Messages()); }));
  } else {
    // Every block went through the search.
    EXPECT_TRUE(WaitUntil([&] { return tuner.PolledSinceLastBlock(); }));
    EXPECT_TRUE(WaitUntil([&] { return engine.QueuedChunks() <= 2; }));
  }
  engine.StopStreamThreads();
  EngineRun r{flushed ? flushed->WithoutTail(host.Messages()) : host.Messages(), int(engine.GetFeedTarget()),
              int(engine.GetPmtState()), engine.Pids().video, engine.Pids().audio};
  engine.CloseStreamEvents();
  engine.FlushChunkQueue();
  engine.FlushPacketQueue();
  engine.DeleteStreamEngine();
  return r;
}

class FixtureThroughEngine : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(FixtureThroughEngine, UnitsAreTheManifestsInOrderWithTheirOwnStamps) {
  const std::string name = GetParam();
  std::ifstream in(FixturePath(name, "manifest.json"));
  ASSERT_TRUE(in) << name;
  const nlohmann::json manifest = nlohmann::json::parse(in);
  const bool damaged = manifest.contains("damage");
  const auto video = Load(name, manifest["video"]);
  const auto audio = Load(name, manifest["audio"]);
  const EngineRun run = RunEngine(name, audio);

  if (manifest["pids"]["pmt"].is_null()) {
    EXPECT_TRUE(run.messages.empty()) << name;
    EXPECT_EQ(run.feedTarget, 0);
    EXPECT_EQ(run.pmtState, 2);
    return;
  }
  EXPECT_EQ(run.feedTarget, 1);
  EXPECT_EQ(run.pmtState, 4);

  // The two stream headers first, once.
  ASSERT_GE(run.messages.size(), 2u);
  EXPECT_EQ(run.messages[0].type, IPC_VIDEO_CONFIG);
  EXPECT_EQ(run.messages[1].type, IPC_AUDIO_CONFIG);
  EXPECT_EQ(OfType(run.messages, IPC_VIDEO_CONFIG).size(), 1u);
  EXPECT_EQ(OfType(run.messages, IPC_AUDIO_CONFIG).size(), 1u);
  const Bytes& vh = run.messages[0].body;
  ASSERT_GE(vh.size(), 4u);
  EXPECT_EQ(Bytes(vh.begin(), vh.begin() + 4), Bytes({0, 0, 1, 0x67}));
  const auto headerNals = NalUnits(vh);
  ASSERT_EQ(headerNals.size(), 2u);
  EXPECT_EQ(headerNals[1][0] & 0x1F, 8);
  ASSERT_EQ(run.messages[1].body.size(), 7u);
  EXPECT_EQ(run.messages[1].body[0], 0xFF);
  EXPECT_EQ(run.messages[1].body[1], 0xF8);

  const auto writtenVideo = OfType(run.messages, IPC_VIDEO_FRAME);
  const auto writtenAudio = OfType(run.messages, IPC_AUDIO_FRAME);
  const Matched v = Align(name + " video", writtenVideo, video, true);
  const Matched a = Align(name + " audio", writtenAudio, audio, false);

  // Video starts at an IDR, at the latest the second one.
  ASSERT_LT(v.first, video.size());
  EXPECT_EQ(NalUnits(video[v.first].bytes)[1][0] & 0x1F, 7) << name;
  EXPECT_LE(v.first, 15u) << name;
  // Audio goes out from the moment the headers went: frames from before it are not sent.
  ASSERT_LT(a.first, audio.size());
  EXPECT_LE(audio[a.first].pts, video[v.first].pts + 45000) << name;
  // Nothing is missing at the end.
  for (size_t k = v.next; k < video.size(); ++k) EXPECT_FALSE(video[k].intact) << name << " video " << k;
  for (size_t k = a.next; k < audio.size(); ++k) EXPECT_FALSE(audio[k].intact) << name << " audio " << k;
  if (!damaged) {
    EXPECT_EQ(v.extras, 0u);
    EXPECT_EQ(a.extras, 0u);
  }
  if (name == "pmtchange") {
    EXPECT_EQ(run.video, 0x0191);
    EXPECT_EQ(run.audio, 0x0193);
    EXPECT_NE(std::find(v.pids.begin(), v.pids.end(), 0x0181), v.pids.end());
    EXPECT_NE(std::find(v.pids.begin(), v.pids.end(), 0x0191), v.pids.end());
    EXPECT_NE(std::find(a.pids.begin(), a.pids.end(), 0x0193), a.pids.end());
  }
}

INSTANTIATE_TEST_SUITE_P(Broadcasts, FixtureThroughEngine,
                         ::testing::Values("basic", "avsync", "dualmono", "damaged", "pmtchange", "nopmt",
                                           "channel2", "channel3"));

// Two engines in one process, each with its own sink and tuner on a different broadcast: nothing
// of one reaches the other (their events and semaphores are their own).
TEST(TwoEngines, EachDeliversExactlyItsOwnUnits) {
  struct Run {
    std::string name;
    std::vector<Expected> video, audio;
    FakeTuner tuner;
    RecordingSink sink;
    std::unique_ptr<CStreamEngine> engine;
  };
  Run runs[2];
  runs[0].name = "basic";
  runs[1].name = "channel2";
  for (Run& r : runs) {
    std::ifstream in(FixturePath(r.name, "manifest.json"));
    ASSERT_TRUE(in) << r.name;
    const nlohmann::json manifest = nlohmann::json::parse(in);
    r.video = Load(r.name, manifest["video"]);
    r.audio = Load(r.name, manifest["audio"]);
    ASSERT_GT(r.video.size(), 10u);
  }
  // The two broadcasts share no unit, so a unit that crossed over would be seen.
  for (const auto& v : runs[1].video)
    for (const auto& w : runs[0].video) ASSERT_FALSE(v.pts == w.pts && v.bytes == w.bytes);
  for (Run& r : runs) {
    r.engine = std::make_unique<CStreamEngine>(r.sink, r.tuner);
    r.engine->InitStreamEngine();
    ASSERT_EQ(r.engine->CreateStreamEvents(), 1);
    r.tuner.Queue(ReadFixtureFile(FixturePath(r.name, "stream.ts")));
    r.engine->SetLiveSource(true);
    ASSERT_EQ(r.engine->StartStreamThreads(), 1);
  }
  for (Run& r : runs) r.engine->StartUsbRead();
  // Each writes its broadcast up to the units the queues and the framer hold back at the end.
  auto written = [](const std::vector<SentMessage>& m, int32_t type, int64_t stamp) {
    return std::any_of(m.begin(), m.end(),
                       [&](const SentMessage& s) { return s.type == type && s.stamp == stamp; });
  };
  for (Run& r : runs) {
    const int64_t lastVideo = r.video[r.video.size() - 4].pts * 300;
    const int64_t lastAudio = r.audio[r.audio.size() - 10].pts * 300;
    EXPECT_TRUE(WaitUntil(
        [&] {
          const auto m = r.sink.Messages();
          return written(m, IPC_VIDEO_FRAME, lastVideo) && written(m, IPC_AUDIO_FRAME, lastAudio);
        },
        60))
        << r.name;
  }
  for (Run& r : runs) r.engine->StopStreamThreads();
  for (Run& r : runs) {
    const auto messages = r.sink.Messages();
    ASSERT_GE(messages.size(), 2u) << r.name;
    EXPECT_EQ(messages[0].type, IPC_VIDEO_CONFIG);
    EXPECT_EQ(messages[1].type, IPC_AUDIO_CONFIG);
    EXPECT_EQ(OfType(messages, IPC_VIDEO_CONFIG).size(), 1u) << r.name;
    const Matched v = Align(r.name + " video", OfType(messages, IPC_VIDEO_FRAME), r.video, true);
    const Matched a = Align(r.name + " audio", OfType(messages, IPC_AUDIO_FRAME), r.audio, false);
    EXPECT_EQ(v.extras + a.extras, 0u) << r.name;
    EXPECT_GE(v.next + 3, r.video.size()) << r.name;
    EXPECT_GE(a.next + 9, r.audio.size()) << r.name;
  }
}
