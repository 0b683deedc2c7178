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
  RecordingHost host;
  CStreamEngine engine(host, tuner);
  engine.InitStreamEngine();
  EXPECT_EQ(engine.CreateStreamEvents(), 1);
  const Bytes ts = ReadFixtureFile(FixturePath(fixture, "stream.ts"));
  Bytes frame;  // for the tail: an intact frame of the broadcast's kind
  for (const auto& a : audio)
    if (a.intact) frame = a.bytes;
  const auto flushed = WithFlushTail(ts, frame);
  tuner.Queue(flushed ? flushed->ts : ts);
  host.m_nSourceMode = 1;
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
  EngineRun r{flushed ? flushed->WithoutTail(host.Messages()) : host.Messages(), host.m_nFeedTarget,
              host.m_nPmtState, engine.Pids().video, engine.Pids().audio};
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
  EXPECT_EQ(run.messages[0].type, kMsgVideoConfig);
  EXPECT_EQ(run.messages[1].type, kMsgAudioConfig);
  EXPECT_EQ(OfType(run.messages, kMsgVideoConfig).size(), 1u);
  EXPECT_EQ(OfType(run.messages, kMsgAudioConfig).size(), 1u);
  const Bytes& vh = run.messages[0].body;
  ASSERT_GE(vh.size(), 4u);
  EXPECT_EQ(Bytes(vh.begin(), vh.begin() + 4), Bytes({0, 0, 1, 0x67}));
  const auto headerNals = NalUnits(vh);
  ASSERT_EQ(headerNals.size(), 2u);
  EXPECT_EQ(headerNals[1][0] & 0x1F, 8);
  ASSERT_EQ(run.messages[1].body.size(), 7u);
  EXPECT_EQ(run.messages[1].body[0], 0xFF);
  EXPECT_EQ(run.messages[1].body[1], 0xF8);

  const auto writtenVideo = OfType(run.messages, kMsgVideoFrame);
  const auto writtenAudio = OfType(run.messages, kMsgAudioFrame);
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
