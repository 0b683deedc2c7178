// The engine writing a test broadcast onto the shared-memory channel, read back by a filter-side
// channel object on its own thread: the stream headers first, then the manifest's units.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "ipc/ipc_reader.h"
#include "player/pipeline/channel_writer.h"
#include "player/pipeline/stream_engine.h"
#include "tests/pipeline/fixture_align.h"
#include "tests/pipeline/flush_tail.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

constexpr char kChannel[] = "{F585BEB6-3BDD-4899-9CAC-079C0AD01B4C}";

class ChannelHost : public IStreamHost {
 public:
  CSharedMemoryIpc* ipc = nullptr;  // guarded by the engine's send lock
  tvk::Handle wake = tvk::CreateEvent(false, false);
  std::atomic<int> lost{0};

  bool WriteStreamFrame(const uint8_t* m, size_t size) override {
    const bool ok = WriteFrameToChannel(ipc, wake, m, size);
    if (!ok) ++lost;
    return ok;
  }
  void SendStreamFormats(int, const StreamFormatMessage& v, const StreamFormatMessage& a) override {
    EXPECT_TRUE(WriteStreamFormatsToChannel(ipc, wake, v, a));
  }
};

}  // namespace

TEST(EngineOnChannel, FilterSideReadsHeadersThenTheUnits) {
  const std::string name = "basic";
  std::ifstream in(FixturePath(name, "manifest.json"));
  ASSERT_TRUE(in);
  const nlohmann::json manifest = nlohmann::json::parse(in);
  const auto video = Load(name, manifest["video"]);
  const auto audio = Load(name, manifest["audio"]);

  CSharedMemoryIpc filter(IpcRole::Filter, kChannel);
  ASSERT_TRUE(filter.Usable());
  auto player = std::make_unique<CSharedMemoryIpc>(IpcRole::Player, kChannel);
  ASSERT_EQ(player->Connect(), 1);
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
      if (type == kMsgVideoConfig || type == kMsgAudioConfig)
        received.push_back({type, -1, Bytes(msg.format.body, msg.format.body + msg.format.length)});
      else if (type == kMsgVideoFrame || type == kMsgAudioFrame)
        received.push_back({type, msg.values[1], msg.payload});
    }
  });

  FakeTuner tuner;
  ChannelHost host;
  CStreamEngine engine(host, tuner);
  {
    std::lock_guard lock(engine.SendLock());
    host.ipc = player.get();
  }
  engine.InitStreamEngine();
  ASSERT_EQ(engine.CreateStreamEvents(), 1);
  const auto flushed = WithFlushTail(ReadFixtureFile(FixturePath(name, "stream.ts")), audio.back().bytes);
  ASSERT_TRUE(flushed);
  tuner.Queue(flushed->ts);
  host.m_nSourceMode = 1;
  engine.StartStreamThreads();
  engine.StartUsbRead();
  EXPECT_TRUE(WaitUntil([&] { return flushed->Reached(Received()); }));
  engine.StopStreamThreads();
  // The reader stops before the player's channel object goes: its disconnect signals the reader,
  // which would take the last message a second time.
  stop = true;
  reader.join();
  {
    // The channel object goes under the send lock, as the main window deletes it.
    std::lock_guard lock(engine.SendLock());
    host.ipc = nullptr;
    player.reset();
  }

  EXPECT_EQ(host.lost, 0);
  received = flushed->WithoutTail(received);
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0].type, kMsgVideoConfig);
  EXPECT_EQ(received[1].type, kMsgAudioConfig);
  EXPECT_EQ(received[1].body.size(), 7u);
  const Matched v = Align("video", OfType(received, kMsgVideoFrame), video, true);
  const Matched a = Align("audio", OfType(received, kMsgAudioFrame), audio, false);
  EXPECT_GT(v.next - v.first, 40u);
  EXPECT_GT(a.next - a.first, 60u);
  EXPECT_EQ(v.extras + a.extras, 0u);
}
