// The test broadcasts through the stick stand-in, the tuner libraries and the whole engine: the
// same comparison with the manifest as fixture_engine_test.cpp, over the simulator's first pass of
// the file (later passes carry the stamps on by one loop length). The stream goes on after the
// first pass, so nothing of it stays queued at the end: every unit of the file comes out.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "player/pipeline/stream_engine.h"
#include "player/pipeline/tuner_block_source.h"
#include "sim_client.h"
#include "tests/pipeline/fixture_align.h"
#include "ts_loop.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;
namespace fs = std::filesystem;

namespace {

class FixtureThroughTuner : public ::testing::TestWithParam<const char*> {};

// The units of the simulator's first pass: the second begins with the first unit stamped one loop
// after a unit of the file (at either pace, every later pass carries the stamps on by the loop's
// length by the file's PCRs). Stamps mark the seam, not contents: the damaged broadcast's units may
// differ, and a damaged stamp lands anywhere but on that grid.
std::vector<SentMessage> FirstPass(const std::vector<SentMessage>& all, const std::vector<Expected>& file,
                                   int64_t loopPts) {
  auto nextPass = [&](const SentMessage& w) {
    for (const auto& e : file)
      if (w.stamp == (e.pts + loopPts) * 300) return true;
    return false;
  };
  std::vector<SentMessage> out;
  for (const auto& w : all) {
    if (nextPass(w)) break;
    out.push_back(w);
  }
  return out;
}

}  // namespace

TEST_P(FixtureThroughTuner, FirstPassGivesTheManifestsUnits) {
  const std::string name = GetParam();
  std::ifstream in(FixturePath(name, "manifest.json"));
  ASSERT_TRUE(in);
  const nlohmann::json manifest = nlohmann::json::parse(in);
  const auto video = Load(name, manifest["video"]);
  const auto audio = Load(name, manifest["audio"]);
  const int uhf = manifest["station"]["uhf"].get<int>();

  const char* run = std::getenv("XDG_RUNTIME_DIR");
  const fs::path dir = fs::path(run && *run ? run : "/tmp") / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  ::setenv("TEVALO_DEVICE_ROOT", (dir / "devices").c_str(), 1);
  tunersim::SimProcess::Options o;
  o.root = dir / "devices";
  // Four times the broadcast's pace keeps the quick test short; the slow one runs at the pace of the
  // stream's PCRs.
  const char* pace = std::getenv("TEVALO_ENGINE_SIM_PACE");
  const bool broadcastPace = pace && std::string(pace) == "broadcast";
  const double rate = broadcastPace ? 0 : 1128000;
  o.args = {"--channel", std::to_string(uhf) + "=" + FixturePath(name, "stream.ts") +
                             (broadcastPace ? "" : ",rate=1128000")};
  // What the simulator adds to the stamps of each later pass: the loop's length by the file's PCRs
  // (not quite the manifest's for the damaged file: its lost packets lengthen the average packet, by
  // which the stretch after its last PCR is timed).
  const int64_t loopPts =
      tunersim::TsLoop::load(FixturePath(name, "stream.ts"), rate).stamp_period_ticks() / 300;
  tunersim::SimProcess sim(o);

  CTDMBDll tuner;
  ASSERT_EQ(tuner.Open(nullptr), 1);
  CTunerBlockSource tunerSource(tuner);
  // Counts the blocks the engine takes.
  struct Counting : ITsBlockSource {
    ITsBlockSource& inner;
    std::atomic<uint64_t> blocks{0};
    explicit Counting(ITsBlockSource& s) : inner(s) {}
    int GetTSStream(uint8_t* buffer, int* count) override {
      const int r = inner.GetTSStream(buffer, count);
      blocks += r == 1;
      return r;
    }
  } source(tunerSource);
  RecordingSink host;
  CStreamEngine engine(host, source);
  engine.InitStreamEngine();
  ASSERT_EQ(engine.CreateStreamEvents(), 1);
  engine.SetLiveSource(true);
  ASSERT_EQ(engine.StartStreamThreads(), 1);
  ASSERT_EQ(tuner.SetChannel(uhf - 13, 0, 0, 0.f), 1);
  engine.StartUsbRead();

  const bool pmt = !manifest["pids"]["pmt"].is_null();
  if (pmt) {
    // Wait until well into the second pass.
    EXPECT_TRUE(WaitUntil(
        [&] {
          const auto m = host.Messages();
          size_t nv = 0, na = 0;
          for (const auto& x : m) {
            nv += x.type == IPC_VIDEO_FRAME;
            na += x.type == IPC_AUDIO_FRAME;
          }
          return nv > video.size() + 20 && na > audio.size() + 30;
        },
        40));
  } else {
    // Two passes of the file have gone through the search.
    const uint64_t fileBlocks = ReadFixtureFile(FixturePath(name, "stream.ts")).size() / 1128;
    EXPECT_TRUE(WaitUntil([&] { return source.blocks >= 2 * fileBlocks + 3; }));
  }
  engine.StopStreamThreads();
  tuner.Close();
  const auto messages = host.Messages();

  if (!pmt) {
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(engine.GetFeedTarget(), FeedTarget::kProgrammeMapSearch);
    return;
  }
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0].type, IPC_VIDEO_CONFIG);
  EXPECT_EQ(messages[1].type, IPC_AUDIO_CONFIG);
  EXPECT_EQ(OfType(messages, IPC_VIDEO_CONFIG).size(), 1u);
  const Matched v =
      Align(name + " video", FirstPass(OfType(messages, IPC_VIDEO_FRAME), video, loopPts), video, true);
  const Matched a =
      Align(name + " audio", FirstPass(OfType(messages, IPC_AUDIO_FRAME), audio, loopPts), audio, false);
  EXPECT_LE(v.first, 15u);
  ASSERT_LT(a.first, audio.size());
  ASSERT_LT(v.first, video.size());
  EXPECT_LE(audio[a.first].pts, video[v.first].pts + 45000);
  EXPECT_EQ(v.next, video.size());
  EXPECT_EQ(a.next, audio.size());
  if (!manifest.contains("damage")) {
    EXPECT_EQ(v.extras, 0u);
    EXPECT_EQ(a.extras, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Broadcasts, FixtureThroughTuner,
                         ::testing::Values("basic", "avsync", "dualmono", "damaged", "pmtchange", "nopmt",
                                           "channel2", "channel3"));
