#include <gtest/gtest.h>

#include <gst/gst.h>

#include "filter/source/filter_host.h"
#include "graph_util.h"
#include "tone.h"

using testgraph::Graph;
using testhost::ChannelWriter;

namespace {

constexpr int64_t kAudioPts0 = 1'234'567;          // 90 kHz
constexpr int64_t kVideoPts0 = kAudioPts0 + 9000;  // video 100 ms after the first audio frame

struct HalviksrcTest : ::testing::Test {
  std::shared_ptr<testhost::Host> host = std::make_shared<testhost::Host>();
  ChannelWriter writer{host->box, &host->wake};
  void SetUp() override { halvik::SetFilterHost(host); }
  void TearDown() override { halvik::SetFilterHost(nullptr); }
};

TEST_F(HalviksrcTest, ElementShape) {
  Graph g(false);
  GstElementFactory* f = gst_element_get_factory(g.src);
  EXPECT_STREQ(gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME), "Halvik Filter");
  for (const char* name : {"DMBStream_VIDEO", "DMBStream_AUDIO_stereo"}) {
    GstPad* pad = gst_element_get_static_pad(g.src, name);
    ASSERT_TRUE(pad) << name;
    EXPECT_EQ(gst_pad_get_direction(pad), GST_PAD_SRC);
    gst_object_unref(pad);
  }
  EXPECT_TRUE(GST_IS_URI_HANDLER(g.src));
  const gchar* const* protocols = gst_uri_handler_get_protocols(GST_URI_HANDLER(g.src));
  ASSERT_TRUE(protocols && protocols[0]);
  EXPECT_STREQ(protocols[0], "x-dmb");
  EXPECT_EQ(protocols[1], nullptr);
  GstQuery* latency = gst_query_new_latency();
  GstPad* pad = gst_element_get_static_pad(g.src, "DMBStream_VIDEO");
  ASSERT_TRUE(gst_pad_query(pad, latency));
  gboolean live = TRUE;
  gst_query_parse_latency(latency, &live, nullptr, nullptr);
  EXPECT_FALSE(live);
  gst_query_unref(latency);
  gst_object_unref(pad);
}

TEST_F(HalviksrcTest, ARefusedUrlStillBuildsTheGraph) {
  Graph g(false);
  GError* err = nullptr;
  // Upper case passes GStreamer's protocol check but not the filter's own test.
  EXPECT_TRUE(gst_uri_handler_set_uri(GST_URI_HANDLER(g.src), "X-DMB://14141", &err));
  g_clear_error(&err);
  EXPECT_TRUE(host->copydata().empty());
  g.Set(GST_STATE_PLAYING);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(g.counts(), 0u);
  g.Set(GST_STATE_NULL);
  EXPECT_TRUE(host->copydata().empty());
  EXPECT_TRUE(gst_uri_handler_set_uri(GST_URI_HANDLER(g.src), "x-dmb://14141", &err));
  ASSERT_EQ(host->copydata().size(), 1u);
  EXPECT_EQ(host->copydata()[0].code, 2u);
}

TEST_F(HalviksrcTest, DecodesTheFramesThePlayerSendsIntoPicturesAndSound) {
  const auto stream = testgraph::MakeStream("testsrc_320x180.h264", "tone1k_lc24_stereo.aac",
                                            kVideoPts0, kAudioPts0);
  const testgraph::Reference ref(stream);
  ASSERT_EQ(ref.pictures.size(), 30u);
  size_t audio_frames = 0;
  for (const auto& u : stream.units) audio_frames += u.type == 260;

  Graph g(false);
  g_object_set(g.src, "location", "x-dmb://14141", nullptr);
  g.Set(GST_STATE_PLAYING);
  std::thread feeder([&] { testgraph::Feed(writer, stream, false, 0); });
  const bool all = g.WaitFor(
      [&](auto& v, auto& a) { return v.size() >= 30 && a.size() >= audio_frames; }, 10000);
  feeder.join();
  EXPECT_TRUE(all);
  EXPECT_EQ(g.caps(g.vsink),
            "video/x-raw, format=(string)BGRx, width=(int)320, height=(int)180, "
            "framerate=(fraction)15/1, pixel-aspect-ratio=(fraction)1/1");
  EXPECT_EQ(g.caps(g.asink),
            "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)48000, "
            "channels=(int)2, channel-mask=(bitmask)0x0000000000000003");
  const auto video = g.video();
  const auto audio = g.audio();
  g.Set(GST_STATE_NULL);

  // Each picture is the access unit its time names, in order, close to the reference.
  ASSERT_EQ(video.size(), 30u);
  for (size_t i = 0; i < video.size(); ++i) {
    const auto& v = video[i];
    ASSERT_EQ(v.bgrx.size(), 320u * 180 * 4);
    const double ticks = double(v.pts) * 90000 / 1e9 - double(kVideoPts0 - kAudioPts0);
    const auto index = size_t(std::lround(ticks / 6000));
    EXPECT_EQ(index, i);
    EXPECT_NEAR(ticks, double(index) * 6000, 1) << i;
    EXPECT_LT(ref.Difference(index, v.bgrx), 2.0) << i;
  }
  // Sound: 8192 bytes per AAC frame at the frame's time, carrying the 1 kHz tone.
  ASSERT_EQ(audio.size(), audio_frames);
  for (size_t i = 0; i < audio.size(); ++i) {
    EXPECT_EQ(audio[i].size, 8192u);
    EXPECT_NEAR(double(audio[i].pts), double(i) * 3840 / 90000 * 1e9, 100) << i;
    if (i >= 3) {
      const auto* pcm = reinterpret_cast<const int16_t*>(audio[i].pcm.data());
      EXPECT_GT(testes::ToneShare(pcm, 2048, 0, 1000), 0.8) << i;
      EXPECT_GT(testes::ToneShare(pcm, 2048, 1, 1000), 0.8) << i;
    }
  }
}

TEST_F(HalviksrcTest, StateCyclesWithAWriterThatStopsMidStream) {
  const auto stream = testgraph::MakeStream("testsrc_320x180.h264", "tone1k_lc24_stereo.aac",
                                            kVideoPts0, kAudioPts0);
  Graph g(false);
  g.keep_pictures = false;
  for (int round = 0; round < 4; ++round) {
    // Each round is a new load, as the player's rebuilt graph makes one.
    g_object_set(g.src, "location", "x-dmb://14141", nullptr);
    g.Set(GST_STATE_PAUSED);
    std::atomic<bool> stop{false};
    writer.Restart();
    std::thread feeder([&] { testgraph::Feed(writer, stream, false, 0, &stop, 10 + round * 7); });
    const size_t before = g.counts();
    g.Set(GST_STATE_PLAYING);
    g.WaitFor([&](auto& v, auto& a) { return v.size() * 100000 + a.size() > before; }, 2000);
    g.Set(GST_STATE_PAUSED);
    g.Set(GST_STATE_PLAYING);
    if (round % 2) g.Set(GST_STATE_PAUSED);
    stop = true;
    feeder.join();
    g.Set(round == 3 ? GST_STATE_NULL : GST_STATE_READY);
    EXPECT_EQ(g.Settle(5000), GST_STATE_CHANGE_SUCCESS) << round;
  }
  EXPECT_GT(g.counts(), 0u);
  std::vector<uint32_t> codes;
  for (const auto& d : host->copydata()) codes.push_back(d.code);
  EXPECT_EQ(codes, (std::vector<uint32_t>{2, 3, 4, 2, 3, 4, 2, 3, 4, 2, 3, 4}));
  // Preroll that never completes (no data) is left cleanly too.
  g_object_set(g.src, "location", "x-dmb://14141", nullptr);
  g.Set(GST_STATE_PAUSED);
  EXPECT_EQ(g.Settle(100), GST_STATE_CHANGE_ASYNC);
  g.Set(GST_STATE_NULL);
  EXPECT_EQ(g.Settle(5000), GST_STATE_CHANGE_SUCCESS);
}

}  // namespace
