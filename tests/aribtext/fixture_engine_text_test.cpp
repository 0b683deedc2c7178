// Station names, programmes and captions of every test broadcast through the stream engine's
// threads, from the tuner's 1128-byte blocks.
#include "fixture_check.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/flush_tail.h"

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
  const tevalo::test::Bytes bytes(ts.begin(), ts.end());
  const auto flushed = tevalo::test::WithFlushTail(bytes);
  tuner.Queue(flushed ? flushed->ts : bytes);
  engine.SetLiveSource(true);  // live: the programme-map search runs
  engine.StartStreamThreads();
  engine.StartUsbRead();
  if (flushed) {
    // The tail's unit is written once every block before it has been parsed.
    EXPECT_TRUE(WaitUntil([&] { return flushed->Reached(host.Messages()); }));
  } else {
    EXPECT_TRUE(WaitUntil([&] { return tuner.PolledSinceLastBlock(); }));
    EXPECT_TRUE(WaitUntil([&] { return engine.QueuedChunks() <= 2; }));
  }
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
