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
//  - the last records stay queued (a consumer takes only while more than two wait) and the last
//    access unit waits in the framer for the next delimiter.
// In the damaged broadcast, units the manifest marks as not intact may be missing or differ.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "fixture_units.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/fixture_align.h"
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

EngineRun RunEngine(const std::string& fixture) {
  FakeTuner tuner;
  RecordingHost host;
  CStreamEngine engine(host, tuner);
  engine.InitStreamEngine();
  EXPECT_EQ(engine.CreateStreamEvents(), 1);
  const Bytes ts = ReadFixtureFile(FixturePath(fixture, "stream.ts"));
  tuner.Queue(ts);
  host.m_nSourceMode = 1;
  engine.StartStreamThreads();
  engine.StartUsbRead();
  EXPECT_TRUE(WaitUntil([&] { return tuner.Left() == 0 && engine.QueuedChunks() <= 2; }));
  EXPECT_TRUE(WaitUntil([&] { return engine.QueuedPackets() <= 2; }));
  // Let the delivery thread finish the record it took.
  size_t before;
  do {
    before = host.Messages().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (host.Messages().size() != before);
  engine.StopStreamThreads();
  EngineRun r{host.Messages(), host.m_nFeedTarget, host.m_nPmtState, engine.Pids().video,
              engine.Pids().audio};
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
  const EngineRun run = RunEngine(name);

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

  // Video starts at the stream's first key picture: the blocks searched for the programme map are
  // demultiplexed too. In a damaged broadcast the units written first may stand for damaged ones.
  ASSERT_LT(v.first, video.size());
  const auto isIdr = [](const Expected& u) { return (NalUnits(u.bytes)[1][0] & 0x1F) == 7; };
  const size_t firstIdr = size_t(std::find_if(video.begin(), video.end(), isIdr) - video.begin());
  if (damaged) {
    EXPECT_LE(v.first, firstIdr + 15) << name;
  } else {
    EXPECT_EQ(v.first, firstIdr) << name;
  }
  // Audio goes out from the moment the headers went: frames from before it are not sent.
  ASSERT_LT(a.first, audio.size());
  EXPECT_LE(audio[a.first].pts, video[v.first].pts + 45000) << name;
  // Only the last queued records are missing at the end.
  EXPECT_GE(v.next + 3, video.size()) << name;
  EXPECT_GE(a.next + 9, audio.size()) << name;
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
