// The channel sink when the filter stops reading while the delivery thread is mid-stream: once the
// filter's events close, the frame in flight is released, every later frame is dropped at once and
// the teardown does not wait for acknowledgements that cannot come.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "ipc/filter_protocol.h"
#include "player/pipeline/channel_sink.h"

using namespace tevalo::pipeline;

namespace {

// A one-shot flag a thread can wait on with a bound.
class Flag {
 public:
  void Set() {
    std::lock_guard g(m_lock);
    m_set = true;
    m_changed.notify_all();
  }
  bool Wait(int seconds) {
    std::unique_lock g(m_lock);
    return m_changed.wait_for(g, std::chrono::seconds(seconds), [&] { return m_set; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_set = false;
};

std::vector<uint8_t> VideoFrame(int32_t sequence) {
  std::vector<uint8_t> frame(kFrameHeadBytes + 16, 0);
  EncodeMessageHeader({IPC_VIDEO_FRAME, 0}, frame.data());
  std::memcpy(frame.data() + 8, &sequence, sizeof sequence);
  return frame;
}

int32_t SequenceOf(const uint8_t* head) {
  int32_t sequence = 0;
  std::memcpy(&sequence, head + 8, sizeof sequence);
  return sequence;
}

}  // namespace

struct CloseCase {
  const char* name;
  bool keepStreams;  // a channel change keeps the stream threads and does not pulse quit
};

class FilterEventsClosed : public ::testing::TestWithParam<CloseCase> {};

TEST_P(FilterEventsClosed, InFlightFrameReleasedLaterFramesDroppedTeardownDoesNotWait) {
  constexpr int kRead = 5;           // frames the filter takes before it stops reading
  constexpr int kAfterClose = 200;   // each would hold the delivery thread a second if it waited
  constexpr int kBoundSeconds = 60;  // far below kAfterClose seconds, far above a sound run

  const std::string channel = "sink-close";
  tvk::Handle wake = tvk::CreateEvent(false, false, kFilterWakeEventName);
  tvk::Handle quit = tvk::CreateEvent(false, false, kFilterQuitEventName);
  ASSERT_TRUE(wake && quit);
  CSharedMemoryIpc filter(IpcRole::Filter, channel);
  ASSERT_TRUE(filter.Usable());
  CChannelSink sink(channel);
  ASSERT_TRUE(sink.Connect());
  ASSERT_EQ(filter.Connect(), 1);
  sink.OpenFilterEvents();
  sink.FilterRunning();

  std::vector<int32_t> delivered;
  std::thread reader([&] {
    uint8_t head[kFrameHeadBytes];
    while (static_cast<int>(delivered.size()) < kRead) {
      if (!filter.Read(head, sizeof head, 0, CSharedMemoryIpc::kReadWait, 20)) continue;
      delivered.push_back(SequenceOf(head));
      filter.Read(nullptr, 0, 0, CSharedMemoryIpc::kReadRelease, 0);
    }
  });

  Flag inFlight, closed, done;
  std::atomic<int> writtenAfterClose{0};
  std::thread delivery([&] {
    int32_t sequence = 0;
    // The last of these is unacknowledged when the reader stops; the next write waits for it.
    while (sequence <= kRead) {
      const auto f = VideoFrame(sequence++);
      sink.WriteStreamFrame(f.data(), f.size());
    }
    inFlight.Set();
    const auto held = VideoFrame(sequence++);
    sink.WriteStreamFrame(held.data(), held.size());
    closed.Wait(kBoundSeconds);
    for (int i = 0; i < kAfterClose; ++i) {
      const auto f = VideoFrame(sequence++);
      if (sink.WriteStreamFrame(f.data(), f.size())) ++writtenAfterClose;
    }
    sink.DisconnectAndDelete();
    done.Set();
  });

  reader.join();
  EXPECT_TRUE(inFlight.Wait(kBoundSeconds));
  sink.CloseFilterEvents(GetParam().keepStreams);
  closed.Set();
  const bool finished = done.Wait(kBoundSeconds);
  delivery.join();
  ASSERT_TRUE(finished) << "the delivery thread waited for acknowledgements after the close";

  EXPECT_EQ(delivered, (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(writtenAfterClose, 0);
  const auto counts = sink.GetCounts();
  // Frame kRead went onto the channel unread; the held one is written or dropped depending on
  // whether the close came before it took the send lock.
  EXPECT_GE(counts.videoWritten, static_cast<uint64_t>(kRead + 1));
  EXPECT_LE(counts.videoWritten, static_cast<uint64_t>(kRead + 2));
  EXPECT_EQ(counts.videoWritten + counts.videoLost, static_cast<uint64_t>(kRead + 2 + kAfterClose));
  EXPECT_FALSE(sink.HasChannel());
}

INSTANTIATE_TEST_SUITE_P(Close, FilterEventsClosed,
                         ::testing::Values(CloseCase{"ChannelChange", true}, CloseCase{"Stop", false}),
                         [](const auto& info) { return std::string(info.param.name); });
