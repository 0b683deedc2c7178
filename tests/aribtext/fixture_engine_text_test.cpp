// Station names, programmes and captions of every test broadcast through the stream engine's
// threads, from the tuner's 1128-byte blocks.
#include <chrono>
#include <thread>

#include "fixture_check.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"

namespace {

using namespace tevalo::pipeline;
using tevalo::test::FakeTuner;
using tevalo::test::RecordingSink;
using tevalo::test::WaitUntil;

void RunEngine(const std::vector<uint8_t>& ts, const std::set<int>&, CAribTextDecoders& dec) {
  FakeTuner tuner;
  RecordingSink host;
  CStreamEngine engine(host, tuner, &dec);
  engine.InitStreamEngine();
  ASSERT_EQ(engine.CreateStreamEvents(), 1);
  tuner.Queue(tevalo::test::Bytes(ts.begin(), ts.end()));
  engine.SetLiveSource(true);  // live: the programme-map search runs
  engine.StartStreamThreads();
  engine.StartUsbRead();
  // the engine leaves the last two blocks queued until more arrive
  EXPECT_TRUE(WaitUntil([&] { return tuner.Left() == 0 && engine.QueuedChunks() <= 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the block being parsed
  engine.StopStreamThreads();  // joins: the decoders' results are complete and visible here
  engine.CloseStreamEvents();
  engine.FlushChunkQueue();
  engine.FlushPacketQueue();
  engine.DeleteStreamEngine();
}

TEST(FixturesThroughEngine, TextsAsTheManifestSays) {
  const bool any = fixture_check::ForEachFixture(
      [](const auto& dir) { fixture_check::CheckFixture(dir, RunEngine, false); });
  if (!any) GTEST_SKIP() << "no fixtures";
}

}  // namespace
