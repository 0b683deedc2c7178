// The built plugin on the platform layer, as the player meets it: a "Tevalo" window that opens
// the player's end of the channel on the filter's open message, and frames written through the
// shared-memory channel after setting the wake event.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "es_util.h"
#include "filter/source/halvik_ids.h"
#include "fixture_units.h"
#include "frame_code.h"
#include "ipc/little_endian.h"
#include "ipc/shared_memory_ipc.h"
#include "platform/kernel/sync.h"
#include "platform/window/window.h"

namespace {

using namespace tevalo::win;

struct QtApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "halvik_live_test";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
    gst_init(nullptr, nullptr);
  }
  void TearDown() override { delete app; }
  QCoreApplication* app = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

struct Received {
  uint32_t code;
  uint32_t cb_data;
  std::vector<uint8_t> data;
};

// The player's side: its window on a thread of its own and its end of the channel.
class Player {
 public:
  Player() {
    thread_.start();
    context_ = new QObject;
    context_->moveToThread(&thread_);
    QMetaObject::invokeMethod(
        context_,
        [this] {
          window_ = std::make_unique<Window>(u"Tevalo", [this](UINT msg, WPARAM, LPARAM l) -> LRESULT {
            if (msg == dual_mono_message) {
              std::lock_guard lock(m);
              notified.push_back(int32_t(l));
            }
            if (msg != WM_COPYDATA) return 0;
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            std::lock_guard lock(m);
            Received r{uint32_t(cds->dwData), cds->cbData, {}};
            if (cds->lpData) {
              const auto* p = static_cast<const uint8_t*>(cds->lpData);
              r.data.assign(p, p + cds->cbData);
            }
            received.push_back(r);
            if (r.code == COPYDATA_FILTER_OPEN) {
              ipc = std::make_unique<CSharedMemoryIpc>(IpcRole::Player);
              connected = ipc->Usable() && ipc->Connect() == 1;
            } else if (r.code == COPYDATA_FILTER_STOP) {
              ipc.reset();
            }
            return 1;
          });
        },
        Qt::BlockingQueuedConnection);
  }
  ~Player() {
    QMetaObject::invokeMethod(
        context_, [this] { window_.reset(); }, Qt::BlockingQueuedConnection);
    context_->deleteLater();
    thread_.quit();
    thread_.wait();
  }
  // Writes one message as the stream engine does: wake the filter, then write and wait.
  bool Write(const std::vector<uint8_t>& msg) {
    std::lock_guard lock(m);
    if (!ipc) return false;
    tvk::SetEvent(wake);
    return ipc->Write(msg.data(), uint32_t(msg.size()), 1) == 1;
  }

  std::mutex m;
  std::vector<Received> received;
  std::vector<int32_t> notified;
  std::unique_ptr<CSharedMemoryIpc> ipc;
  bool connected = false;
  const UINT dual_mono_message = RegisterWindowMessageW(kDualMonoMessageName);
  tvk::Handle wake = tvk::CreateEvent(false, false, kFilterWakeEventName);

 private:
  QThread thread_;
  QObject* context_ = nullptr;
  std::unique_ptr<Window> window_;
};

std::vector<uint8_t> Format(int32_t type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> m(1024, 0);
  ipcle::PutU32(m.data(), uint32_t(type));
  ipcle::PutU32(m.data() + 4, uint32_t(body.size()));
  std::copy(body.begin(), body.end(), m.begin() + 8);
  return m;
}

std::vector<uint8_t> Frame(int32_t type, const std::vector<uint8_t>& payload, int64_t stamp) {
  std::vector<uint8_t> m(type == 259 ? 40000 : 10280, 0);
  ipcle::PutU32(m.data(), uint32_t(type));
  ipcle::PutU32(m.data() + 4, uint32_t(payload.size()));
  for (int i = 0; i < 4; ++i) ipcle::PutI64(m.data() + 8 + 8 * i, i == 1 ? stamp : -1);
  std::copy(payload.begin(), payload.end(), m.begin() + 40);
  return m;
}

struct Counts {
  std::mutex m;
  std::vector<int> codes;  // frame counters of the pictures
  size_t audio = 0;
};

GstFlowReturn OnVideo(GstAppSink* sink, gpointer data) {
  auto* c = static_cast<Counts*>(data);
  GstSample* s = gst_app_sink_pull_sample(sink);
  GstMapInfo map;
  gst_buffer_map(gst_sample_get_buffer(s), &map, GST_MAP_READ);
  const int code = tevalo::test::ReadFrameCodeBgrx(map.data, 320, 180, 1280);
  gst_buffer_unmap(gst_sample_get_buffer(s), &map);
  gst_sample_unref(s);
  std::lock_guard l(c->m);
  c->codes.push_back(code);
  return GST_FLOW_OK;
}

GstFlowReturn OnAudio(GstAppSink* sink, gpointer data) {
  auto* c = static_cast<Counts*>(data);
  gst_sample_unref(gst_app_sink_pull_sample(sink));
  std::lock_guard l(c->m);
  ++c->audio;
  return GST_FLOW_OK;
}

TEST(HalvikLive, ThePlayerOpensItsEndOnTheFilterMessagesAndFramesBecomePictures) {
  Player player;
  GError* err = nullptr;
  GstElement* src = gst_element_make_from_uri(GST_URI_SRC, "x-dmb://27141", "src", &err);
  ASSERT_TRUE(src) << (err ? err->message : "no halviksrc");
  {
    std::lock_guard l(player.m);
    ASSERT_EQ(player.received.size(), 1u);
    EXPECT_EQ(player.received[0].code, 2u);
    ASSERT_EQ(player.received[0].data.size(), 524u);
    EXPECT_EQ(ipcle::GetU32(player.received[0].data.data()), uint32_t(getpid()));
    const std::string url = "x-dmb://27141";
    for (size_t i = 0; i <= url.size(); ++i)
      EXPECT_EQ(player.received[0].data[4 + 2 * i], i < url.size() ? uint8_t(url[i]) : 0);
    EXPECT_TRUE(player.connected);
  }
  Counts counts;
  GstElement* pipe = gst_pipeline_new(nullptr);
  GstElement* v = gst_element_factory_make("appsink", nullptr);
  GstElement* a = gst_element_factory_make("appsink", nullptr);
  using Callback = GstFlowReturn (*)(GstAppSink*, gpointer);
  for (auto [sink, fn] :
       {std::pair<GstElement*, Callback>{v, OnVideo}, std::pair<GstElement*, Callback>{a, OnAudio}}) {
    g_object_set(sink, "sync", FALSE, nullptr);
    GstAppSinkCallbacks cb{};
    cb.new_sample = fn;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &cb, &counts, nullptr);
  }
  gst_bin_add_many(GST_BIN(pipe), src, v, a, nullptr);
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_VIDEO", v, "sink"));
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_AUDIO_stereo", a, "sink"));
  gst_element_set_state(pipe, GST_STATE_PLAYING);

  using tevalo::test::FixturePath;
  const auto video = tevalo::test::ReadUnits(FixturePath("basic", "video.units"));
  const auto audio = tevalo::test::ReadUnits(FixturePath("basic", "audio.units"));
  ASSERT_TRUE(player.Write(Format(257, testes::ParameterSets(video[0].bytes))));
  ASSERT_TRUE(player.Write(Format(258, {audio[0].bytes.begin(), audio[0].bytes.begin() + 7})));
  size_t vi = 0, ai = 0;
  while (vi < video.size() || ai < audio.size()) {
    const bool take_audio = ai < audio.size() && (vi == video.size() || audio[ai].pts <= video[vi].pts);
    const auto& u = take_audio ? audio[ai++] : video[vi++];
    ASSERT_TRUE(player.Write(Frame(take_audio ? 260 : 259, u.bytes, u.pts * 300)));
  }
  for (int i = 0; i < 6000; ++i) {
    {
      std::lock_guard l(counts.m);
      if (counts.codes.size() == video.size() && counts.audio == audio.size()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  gst_element_set_state(pipe, GST_STATE_NULL);
  gst_object_unref(pipe);
  {
    std::lock_guard l(counts.m);
    ASSERT_EQ(counts.codes.size(), video.size());
    for (size_t i = 0; i < counts.codes.size(); ++i) EXPECT_EQ(counts.codes[i], int(i));
    EXPECT_EQ(counts.audio, audio.size());
  }
  std::lock_guard l(player.m);
  ASSERT_EQ(player.received.size(), 3u);
  EXPECT_EQ(player.received[1].code, 3u);
  EXPECT_EQ(player.received[1].cb_data, uint32_t(getpid()));
  EXPECT_TRUE(player.received[1].data.empty());
  EXPECT_EQ(player.received[2].code, 4u);
  EXPECT_EQ(player.received[2].cb_data, uint32_t(getpid()));
  EXPECT_FALSE(player.ipc);
}

TEST(HalvikLive, DualMonoIsBroadcastToThePlayersWindow) {
  Player player;
  GError* err = nullptr;
  GstElement* src = gst_element_make_from_uri(GST_URI_SRC, "x-dmb://26131", "src", &err);
  ASSERT_TRUE(src) << (err ? err->message : "no halviksrc");
  Counts counts;
  GstElement* pipe = gst_pipeline_new(nullptr);
  GstElement* v = gst_element_factory_make("fakesink", nullptr);
  g_object_set(v, "async", FALSE, nullptr);  // no pictures are sent here
  GstElement* a = gst_element_factory_make("appsink", nullptr);
  g_object_set(a, "sync", FALSE, nullptr);
  GstAppSinkCallbacks cb{};
  cb.new_sample = OnAudio;
  gst_app_sink_set_callbacks(GST_APP_SINK(a), &cb, &counts, nullptr);
  gst_bin_add_many(GST_BIN(pipe), src, v, a, nullptr);
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_VIDEO", v, "sink"));
  ASSERT_TRUE(gst_element_link_pads(src, "DMBStream_AUDIO_stereo", a, "sink"));
  gst_element_set_state(pipe, GST_STATE_PLAYING);
  using tevalo::test::FixturePath;
  const auto video = tevalo::test::ReadUnits(FixturePath("dualmono", "video.units"));
  const auto audio = tevalo::test::ReadUnits(FixturePath("dualmono", "audio.units"));
  ASSERT_TRUE(player.Write(Format(257, testes::ParameterSets(video[0].bytes))));
  ASSERT_TRUE(player.Write(Format(258, {audio[0].bytes.begin(), audio[0].bytes.begin() + 7})));
  // The player's sub-audio choice: the ControlMessage {265, 0, 2}.
  std::vector<uint8_t> mode(12);
  ipcle::PutU32(mode.data(), 265);
  ipcle::PutU32(mode.data() + 8, 2);
  ASSERT_TRUE(player.Write(mode));
  for (size_t i = 0; i < 10; ++i) ASSERT_TRUE(player.Write(Frame(260, audio[i].bytes, audio[i].pts * 300)));
  bool announced = false;
  for (int i = 0; i < 6000 && !announced; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard l(player.m);
    announced = !player.notified.empty();
  }
  gst_element_set_state(pipe, GST_STATE_NULL);
  gst_object_unref(pipe);
  std::lock_guard l(player.m);
  EXPECT_EQ(player.notified, (std::vector<int32_t>{2}));
}

}  // namespace
