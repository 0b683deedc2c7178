#include "filter/source/halvik.h"

#include <gtest/gtest.h>

#include <thread>

#include "es_util.h"
#include "test_host.h"

using halvik::CHalvik;
using testhost::ChannelWriter;

namespace {

constexpr int64_t kStamp0 = 900'000'000;  // 27 MHz

struct HalvikTest : ::testing::Test {
  std::shared_ptr<testhost::Host> host = std::make_shared<testhost::Host>();
  std::unique_ptr<CHalvik> filter = std::make_unique<CHalvik>(host);
  ChannelWriter writer{host->box, &host->wake};

  std::vector<uint32_t> codes() {
    std::vector<uint32_t> c;
    for (const auto& d : host->copydata()) c.push_back(d.code);
    return c;
  }
  // Polls a pin until it delivers or the time runs out.
  template <typename F>
  bool Eventually(F f, int ms = 60000) {
    for (int i = 0; i < ms; ++i) {
      if (f()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
};

TEST_F(HalvikTest, LoadTakesOnlyXDmbUrls) {
  for (const char* url :
       {static_cast<const char*>(nullptr), "X-DMB://14141", "x-dm", "/rec/a.rec", "file:///x-dmb"}) {
    EXPECT_FALSE(filter->Load(url)) << (url ? url : "null");
  }
  EXPECT_TRUE(codes().empty());
  EXPECT_EQ(host->channels_created, 0);
  EXPECT_EQ(filter->recording_folder(), u"/rec");

  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  EXPECT_EQ(filter->GetCurFile(), "x-dmb://14141");
  const auto sent = host->copydata();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, 2u);
  EXPECT_EQ(sent[0].cb_data, 524u);
  EXPECT_TRUE(sent[0].block);
  EXPECT_EQ(sent[0].timeout_ms, 5000u);
  std::vector<uint8_t> expect(524, 0);
  ipcle::PutU32(expect.data(), 4242);
  const std::string url = "x-dmb://14141";
  for (size_t i = 0; i < url.size(); ++i) expect[4 + 2 * i] = uint8_t(url[i]);
  EXPECT_EQ(sent[0].payload, expect);
}

TEST_F(HalvikTest, AChannelThatCannotBeMadeRefusesTheLoadWithoutMessages) {
  host->channel_fails = true;
  EXPECT_FALSE(filter->Load("x-dmb://14141"));
  EXPECT_TRUE(codes().empty());
  filter->Pause();  // nothing to start
  EXPECT_EQ(filter->GetState(), halvik::FilterState::kPaused);
  EXPECT_TRUE(codes().empty());
}

TEST_F(HalvikTest, StateChangesTellThePlayerWhenToOpenAndCloseItsEnd) {
  filter->Stop();  // stopped already: only the stopping flag
  EXPECT_TRUE(filter->stopping());
  filter->Pause();  // before a load: nothing starts
  filter->Stop();
  EXPECT_TRUE(codes().empty());

  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  filter->Pause();
  EXPECT_FALSE(filter->stopping());  // the receive thread cleared it
  EXPECT_EQ(filter->connection_state(), 1);
  filter->Run();
  EXPECT_FALSE(filter->Load("x-dmb://14141"));  // not under a running receive thread
  filter->Pause();
  filter->Run();
  filter->Pause();
  filter->Stop();
  EXPECT_EQ(filter->connection_state(), 3);
  EXPECT_EQ(codes(), (std::vector<uint32_t>{2, 3, 4}));
  const auto sent = host->copydata();
  EXPECT_EQ(sent[1].cb_data, 4242u);
  EXPECT_TRUE(sent[1].payload.empty());
  EXPECT_TRUE(sent[1].block);
  EXPECT_EQ(sent[1].timeout_ms, 1000u);
  EXPECT_FALSE(sent[2].block);
  EXPECT_EQ(sent[2].timeout_ms, 1000u);
  // A stopped instance streams again only after a new load.
  filter->Pause();
  filter->Stop();
  EXPECT_EQ(codes().size(), 3u);
  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  filter->Pause();
  filter->Stop();
  EXPECT_EQ(codes(), (std::vector<uint32_t>{2, 3, 4, 2, 3, 4}));
}

TEST_F(HalvikTest, MalformedMessagesAreAcknowledgedAndRefused) {
  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  filter->Pause();
  filter->Run();
  auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  for (auto& f : frames) f = testes::WithCrc(f);
  writer.Write(ChannelWriter::Format(258, {frames[0].begin(), frames[0].begin() + 7}));
  const std::vector<uint8_t> big(2000, 0xEE);
  std::vector<std::vector<uint8_t>> bad = {
      [&] {
        auto m = ChannelWriter::Format(257, {});
        ipcle::PutU32(m.data() + 4, 2000);
        return m;
      }(),
      [&] {
        auto m = ChannelWriter::Format(258, {});
        ipcle::PutU32(m.data() + 4, 0xFFFFFFFF);
        return m;
      }(),
      ChannelWriter::Frame(259, {1, 2, 3}, kStamp0, 50000),
      ChannelWriter::Frame(259, {1, 2, 3}, kStamp0, -5),
      ChannelWriter::Frame(260, frames[1], kStamp0, 10241),
      ChannelWriter::Frame(260, frames[1], kStamp0, int32_t(0x80000000)),
      ChannelWriter::Frame(260, {0xFF, 0xF1, 0, 0}, kStamp0),  // not the broadcast's sync
      ChannelWriter::Frame(259, {}, kStamp0),                  // empty access unit
      ChannelWriter::Control(263, 0, 0),
      ChannelWriter::Control(264, 12, 7),
      ChannelWriter::Control(-1, -1, -1),
      ChannelWriter::Control(12345, 999999, 0),
  };
  for (const auto& m : bad) EXPECT_LT(writer.Write(m).count(), 500);
  EXPECT_LT(writer.Write(ChannelWriter::Control(265, 0, 2)).count(), 500);
  // Still working: the next good frames are queued and decoded.
  for (int i = 1; i < 4; ++i)
    writer.Write(ChannelWriter::Frame(260, frames[size_t(i)], kStamp0 + i * 1'152'000));
  EXPECT_LT(writer.Write(ChannelWriter::Control(263, 0, 0)).count(), 500);
  std::vector<uint8_t> pcm(halvik::kAudioBufferSize);
  std::vector<int64_t> times;
  ASSERT_TRUE(Eventually([&] {
    const auto f = filter->audio_pin().FillBuffer(pcm.data());
    if (f.deliver) times.push_back(f.time);
    return times.size() == 3;
  }));
  EXPECT_EQ(times, (std::vector<int64_t>{0, 426666, 853333}));
  EXPECT_EQ(filter->dual_mono_selection(), 2);
  EXPECT_EQ(host->box->reads_refused, 0);
  filter->Pause();
  filter->Stop();
}

TEST_F(HalvikTest, AWriterThatStopsMidStreamAndDestructionWhileRunningNeitherHang) {
  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  filter->Pause();
  filter->Run();
  const auto aus = testes::SplitAccessUnits(testes::ReadFile(testes::DataPath("testsrc_320x180.h264")));
  writer.Write(ChannelWriter::Format(257, testes::ParameterSets(aus[0])));
  auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  writer.Write(ChannelWriter::Frame(260, testes::WithCrc(frames[1]), kStamp0));
  for (size_t i = 0; i < 5; ++i)
    writer.Write(ChannelWriter::Frame(259, aus[i], kStamp0 + int64_t(i) * 1'800'000));
  // The writer goes away with a message unread half-way (its lock never released).
  host->box->Lock();
  host->box->player_event.Set();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  host->box->Unlock();
  std::vector<uint8_t> pic(320 * 180 * 4);
  int delivered = 0;
  ASSERT_TRUE(Eventually([&] {
    delivered += filter->video_pin().FillBuffer(pic.data(), {320, 180}, 1280).kind ==
                 halvik::CHalvikVideoStream::Fill::kDeliver;
    return delivered == 5;
  }));
  filter.reset();  // destruction joins the receive thread
  EXPECT_FALSE(host->box->reader_exists);
}

TEST(HalvikRecorderHook, RecordingRequestsReachTheRecorderAndDeliveredFramesAreCopied) {
  struct FakeRecorder : halvik::RecorderControl {
    CHalvik& f;
    std::atomic<int>* starts;
    std::atomic<int>* stops;
    FakeRecorder(CHalvik& filter, std::atomic<int>* a, std::atomic<int>* b)
        : f(filter), starts(a), stops(b) {}
    void StartRecording() override { ++*starts, f.recording_flag() = true; }
    void StopRecording() override { ++*stops, f.recording_flag() = false; }
  };
  std::atomic<int> starts{0}, stops{0};
  halvik::SetRecorderFactory([&](CHalvik& f) { return std::make_unique<FakeRecorder>(f, &starts, &stops); });
  auto host = std::make_shared<testhost::Host>();
  auto filter = std::make_unique<CHalvik>(host);
  halvik::SetRecorderFactory(nullptr);
  ChannelWriter writer(host->box, &host->wake);
  ASSERT_TRUE(filter->Load("x-dmb://14141"));
  filter->Pause();
  auto frames = testes::SplitAdts(testes::ReadFile(testes::DataPath("tone1k_lc24_stereo.aac")));
  writer.Write(ChannelWriter::Format(258, {frames[0].begin(), frames[0].begin() + 7}));
  writer.Write(ChannelWriter::Control(264, 12, 1));
  for (int i = 1; i < 4; ++i)
    writer.Write(ChannelWriter::Frame(260, testes::WithCrc(frames[size_t(i)]), kStamp0 + i * 1'152'000));
  writer.Write(ChannelWriter::Control(263, 0, 0));
  std::vector<uint8_t> pcm(halvik::kAudioBufferSize);
  int delivered = 0;
  for (int i = 0; i < 60000 && delivered < 3; ++i) {
    delivered += filter->audio_pin().FillBuffer(pcm.data()).deliver;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(delivered, 3);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(filter->record_queue().Size(), 3u);
  writer.Write(ChannelWriter::Control(264, 12, 2));
  writer.Write(ChannelWriter::Control(263, 0, 0));
  writer.Write(ChannelWriter::Control(263, 0, 0));  // its acknowledgement: the stop was handled
  EXPECT_EQ(stops, 1);
  filter->Pause();
  filter->Stop();
}

}  // namespace
