// The engine writing a test broadcast through the channel sink onto the shared-memory channel, read
// back by a filter-side channel object on its own thread: the stream headers first, then the
// manifest's units.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "ipc/filter_protocol.h"
#include "player/pipeline/channel_sink.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/fixture_align.h"
#include "tests/pipeline/flush_tail.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

TEST(EngineOnChannel, FilterSideReadsHeadersThenTheUnits) {
  const std::string name = "basic";
  std::ifstream in(FixturePath(name, "manifest.json"));
  ASSERT_TRUE(in);
  const nlohmann::json manifest = nlohmann::json::parse(in);
  const auto video = Load(name, manifest["video"]);
  const auto audio = Load(name, manifest["audio"]);

  CSharedMemoryIpc filter(IpcRole::Filter, kIpcChannelName);
  ASSERT_TRUE(filter.Usable());
  CChannelSink sink;
  ASSERT_TRUE(sink.Connect());
  ASSERT_EQ(filter.Connect(), 1);

  std::mutex receivedLock;
  std::vector<SentMessage> received;
  auto Received = [&] {
    std::lock_guard g(receivedLock);
    return received;
  };
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    IpcIncoming msg;
    while (!stop) {
      if (ReadIpcMessage(filter, msg, 20) != IpcReadResult::Message) continue;
      const int32_t type = msg.header.type;
      std::lock_guard g(receivedLock);
      if (type == IPC_VIDEO_CONFIG || type == IPC_AUDIO_CONFIG)
        received.push_back({type, -1, Bytes(msg.format.body, msg.format.body + msg.format.length)});
      else if (type == IPC_VIDEO_FRAME || type == IPC_AUDIO_FRAME)
        received.push_back({type, msg.values[1], msg.payload});
    }
  });

  FakeTuner tuner;
  CStreamEngine engine(sink, tuner);
  engine.InitStreamEngine();
  ASSERT_EQ(engine.CreateStreamEvents(), 1);
  const auto flushed = WithFlushTail(ReadFixtureFile(FixturePath(name, "stream.ts")), audio.back().bytes);
  ASSERT_TRUE(flushed);
  tuner.Queue(flushed->ts);
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  EXPECT_TRUE(WaitUntil([&] { return flushed->Reached(Received()); }));
  engine.StopStreamThreads();
  // The reader stops before the player's channel object goes: its disconnect signals the reader,
  // which would take the last message a second time.
  stop = true;
  reader.join();
  sink.Delete();

  const auto counts = sink.GetCounts();
  EXPECT_EQ(counts.videoLost + counts.audioLost, 0u);
  EXPECT_EQ(counts.formatHandOvers, 1u);
  received = flushed->WithoutTail(received);
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0].type, IPC_VIDEO_CONFIG);
  EXPECT_EQ(received[1].type, IPC_AUDIO_CONFIG);
  EXPECT_EQ(received[1].body.size(), 7u);
  const Matched v = Align("video", OfType(received, IPC_VIDEO_FRAME), video, true);
  const Matched a = Align("audio", OfType(received, IPC_AUDIO_FRAME), audio, false);
  EXPECT_GT(v.next - v.first, 40u);
  EXPECT_GT(a.next - a.first, 60u);
  EXPECT_EQ(v.extras + a.extras, 0u);
}
