#include <gtest/gtest.h>

#include <cstdio>

#include <gst/gst.h>

#include "bsac_stream.h"
#include "filter/source/filter_host.h"
#include "frame_code.h"
#include "graph_util.h"
#include "tone.h"

using testgraph::Graph;
using testhost::ChannelWriter;

namespace {

struct HalviksrcTest : ::testing::Test {
  std::shared_ptr<testhost::Host> host = std::make_shared<testhost::Host>();
  ChannelWriter writer{host->box, &host->wake};
  void SetUp() override { halvik::SetFilterHost(host); }
  void TearDown() override { halvik::SetFilterHost(nullptr); }

  struct Played {
    std::string video_caps, audio_caps;
    std::vector<testgraph::VideoSample> video;
    std::vector<testgraph::AudioSample> audio;
  };
  // Feeds the whole stream at once and keeps what comes out until every unit has (at most 10 s).
  Played PlayAll(const testgraph::Stream& stream) {
    const size_t video_frames = testgraph::CountUnits(stream, 259);
    const size_t audio_frames = testgraph::CountUnits(stream, 260);
    Graph g(false);
    g_object_set(g.src, "location", "x-dmb://27141", nullptr);
    g.Set(GST_STATE_PLAYING);
    std::thread feeder([&] { testgraph::Feed(writer, stream, false, 0); });
    const bool all = g.WaitFor(
        [&](auto& v, auto& a) { return v.size() >= video_frames && a.size() >= audio_frames; }, 10000);
    feeder.join();
    EXPECT_TRUE(all);
    Played p{g.caps(g.vsink), g.caps(g.asink), g.video(), g.audio()};
    g.Set(GST_STATE_NULL);
    return p;
  }
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
  const auto stream = testgraph::FixtureStream("basic");
  const testgraph::Reference ref(stream);
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  const size_t audio_frames = testgraph::CountUnits(stream, 260);
  ASSERT_EQ(ref.pictures.size(), video_frames);
  const int64_t first_audio_pts = stream.units[0].pts90;
  ASSERT_EQ(stream.units[0].type, 260);

  const auto [video_caps, audio_caps, video, audio] = PlayAll(stream);
  EXPECT_EQ(video_caps,
            "video/x-raw, format=(string)BGRx, width=(int)320, height=(int)180, "
            "framerate=(fraction)15/1, pixel-aspect-ratio=(fraction)1/1");
  EXPECT_EQ(audio_caps,
            "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)48000, "
            "channels=(int)2, channel-mask=(bitmask)0x0000000000000003");

  // Every picture shows the fixture's frame counter in order, at the time its stamp gives (plus the
  // 20 ms by which the upsampling AAC decoder delays the sound), and is close to the reference
  // conversion of libavcodec's planes.
  constexpr double kDecoderDelayNs = 20e6;
  ASSERT_EQ(video.size(), video_frames);
  double worst = 0;
  for (size_t i = 0; i < video.size(); ++i) {
    const auto& v = video[i];
    ASSERT_EQ(v.bgrx.size(), 320u * 180 * 4);
    worst = std::max(worst, ref.Difference(i, v.bgrx));
    EXPECT_EQ(tevalo::test::ReadFrameCodeBgrx(v.bgrx.data(), 320, 180, 1280), int(i));
    EXPECT_NEAR(double(v.pts),
                double(1'045'000 + 6000 * int64_t(i) - first_audio_pts) / 9e4 * 1e9 + kDecoderDelayNs, 100);
    EXPECT_LT(ref.Difference(i, v.bgrx), 2.0) << i;
  }
  std::printf("largest mean difference of a picture from the reference: %.3f levels\n", worst);
  // Sound: 8192 bytes per AAC frame at the frame's time, the fixture's tones on their channels.
  ASSERT_EQ(audio.size(), audio_frames);
  for (size_t i = 0; i < audio.size(); ++i) {
    EXPECT_EQ(audio[i].size, 8192u);
    EXPECT_NEAR(double(audio[i].pts), double(i) * 3840 / 90000 * 1e9, 100) << i;
    if (i >= 3) {
      const auto* pcm = reinterpret_cast<const int16_t*>(audio[i].pcm.data());
      EXPECT_GT(testes::ToneShare(pcm, 2048, 0, 440), 0.8) << i;
      EXPECT_GT(testes::ToneShare(pcm, 2048, 1, 660), 0.8) << i;
    }
  }
}

// An ER-BSAC stream: one buffer of 1024 stereo frames per unit at 44100 Hz, at the unit's time;
// units whose data needs models the decoder lacks are silence of that length, so the sound goes on.
TEST_F(HalviksrcTest, ErBsacSoundComesAtItsRateAndTheUnitsTimes) {
  const auto stream = testgraph::WithBsacSound(testgraph::FixtureStream("basic"));
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  const size_t audio_frames = testgraph::CountUnits(stream, 260);
  ASSERT_EQ(stream.units[0].type, 260);
  const int64_t first_audio_pts = stream.units[0].pts90;

  const auto [video_caps, audio_caps, video, audio] = PlayAll(stream);
  EXPECT_EQ(audio_caps,
            "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)44100, "
            "channels=(int)2, channel-mask=(bitmask)0x0000000000000003");

  ASSERT_EQ(audio.size(), audio_frames);
  size_t k = 0;
  for (const auto& u : stream.units) {
    if (u.type != 260) continue;
    const auto& a = audio[k++];
    EXPECT_EQ(a.size, 4096u);
    EXPECT_NEAR(double(a.pts), double(u.pts90 - first_audio_pts) / 9e4 * 1e9, 100) << k;
    EXPECT_TRUE(std::all_of(a.pcm.begin(), a.pcm.end(), [](uint8_t b) { return b == 0; })) << k;
  }
  // Pictures keep their stamps: this decoder adds no delay to the sound.
  ASSERT_EQ(video.size(), video_frames);
  const auto first_picture =
      std::find_if(stream.units.begin(), stream.units.end(), [](auto& u) { return u.type == 259; });
  EXPECT_NEAR(double(video[0].pts), double(first_picture->pts90 - first_audio_pts) / 9e4 * 1e9, 100);
}

TEST_F(HalviksrcTest, DualMonoFollowsTheSelectionAndIsAnnounced) {
  const auto dual = testgraph::FixtureStream("dualmono");
  const auto stereo = testgraph::FixtureStream("basic");
  Graph g(false);
  g.keep_pictures = false;
  g_object_set(g.src, "location", "x-dmb://26131", nullptr);
  g.Set(GST_STATE_PLAYING);
  // Audio units only, in four parts: selection 1 (the default), 2, 3, then a stereo stream.
  std::vector<size_t> audio_at;
  for (size_t i = 0; i < dual.units.size(); ++i)
    if (dual.units[i].type == 260) audio_at.push_back(i);
  const size_t part = audio_at.size() / 3;
  size_t expected = 0;
  auto feed_part = [&](const testgraph::Stream& s, size_t from, size_t to, bool configs, int64_t offset = 0) {
    ASSERT_LE(to, s.units.size());
    for (size_t i = from; i < to; ++i) expected += s.units[i].type == 260;
    testgraph::Feed(writer, s, false, offset, nullptr, from, to, nullptr, configs);
    ASSERT_TRUE(g.WaitFor([&](auto&, auto& a) { return a.size() >= expected; }, 60000));
  };
  feed_part(dual, 0, audio_at[part], true);
  writer.Write(ChannelWriter::Control(265, 0, 2));
  feed_part(dual, audio_at[part], audio_at[2 * part], false);
  writer.Write(ChannelWriter::Control(265, 0, 3));
  feed_part(dual, audio_at[2 * part], dual.units.size(), false);
  // A stereo stream follows (its frames name two channels): dual mono ends.
  const int64_t follow = (dual.units.back().pts90 + 3840 - stereo.units[0].pts90) * 300;
  feed_part(stereo, 0, 40, false, follow);
  const auto audio = g.audio();
  g.Set(GST_STATE_NULL);

  auto share = [&](size_t i, int ch, double hz) {
    return testes::ToneShare(reinterpret_cast<const int16_t*>(audio[i].pcm.data()), 2048, ch, hz);
  };
  const size_t n1 = audio_at.size() >= 3 ? part : 0;
  for (size_t i = 3; i < n1; ++i) {  // selection 1: main on both
    EXPECT_GT(share(i, 0, 440), 0.8) << i;
    EXPECT_GT(share(i, 1, 440), 0.8) << i;
  }
  for (size_t i = part + 1; i < 2 * part; ++i) {  // selection 2: sub on both
    EXPECT_GT(share(i, 0, 1000), 0.8) << i;
    EXPECT_GT(share(i, 1, 1000), 0.8) << i;
  }
  for (size_t i = 2 * part + 1; i < audio_at.size(); ++i) {  // selection 3: both
    EXPECT_GT(share(i, 0, 440), 0.8) << i;
    EXPECT_GT(share(i, 1, 1000), 0.8) << i;
  }
  for (size_t i = audio_at.size() + 3; i < audio.size(); ++i) {  // stereo again
    EXPECT_GT(share(i, 0, 440), 0.8) << i;
    EXPECT_GT(share(i, 1, 660), 0.8) << i;
  }
  // The first dual-mono frame announced the selection then in force; the stereo frames, the end.
  EXPECT_EQ(host->notifications(), (std::vector<int32_t>{1, 0}));
}

TEST_F(HalviksrcTest, APausedGraphKeepsQueueingAndPlaysTheBacklogOnResume) {
  const auto stream = testgraph::FixtureStream("basic");
  Graph g(false);
  g.keep_pictures = true;
  g_object_set(g.src, "location", "x-dmb://27141", nullptr);
  g.Set(GST_STATE_PLAYING);
  const size_t half = stream.units.size() / 2;
  testgraph::Feed(writer, stream, false, 0, nullptr, 0, half);
  size_t audio_first = 0, video_first = 0;
  for (size_t i = 0; i < half; ++i) (stream.units[i].type == 260 ? audio_first : video_first)++;
  ASSERT_TRUE(
      g.WaitFor([&](auto& v, auto& a) { return v.size() == video_first && a.size() == audio_first; }, 60000));
  g.Set(GST_STATE_PAUSED);  // completes when the sinks have a picture and a sound to hold
  // While paused the filter still takes every message at once: the writer never waits long.
  int64_t longest = 0;
  for (size_t i = half; i < stream.units.size(); ++i) {
    const auto& u = stream.units[i];
    longest = std::max<int64_t>(longest,
                                writer.Write(ChannelWriter::Frame(u.type, u.bytes, u.pts90 * 300)).count());
  }
  EXPECT_LT(longest, 1000);  // no write waited out its acknowledgement
  const size_t paused_video = g.video().size();
  EXPECT_LE(paused_video, video_first + 1);  // at most the preroll picture
  g.Set(GST_STATE_PLAYING);
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  ASSERT_TRUE(g.WaitFor([&](auto& v, auto&) { return v.size() == video_frames; }, 60000));
  const auto video = g.video();
  g.Set(GST_STATE_NULL);
  for (size_t i = 0; i < video.size(); ++i)
    EXPECT_EQ(tevalo::test::ReadFrameCodeBgrx(video[i].bgrx.data(), 320, 180, 1280), int(i));
}

TEST_F(HalviksrcTest, APictureOfAnotherSizeRenegotiatesTheVideoCaps) {
  const auto stream =
      testgraph::MakeStream("testsrc_176x144.h264", "tone1k_lc24_stereo.aac", 1'009'000, 1'000'000);
  Graph g(false);
  g_object_set(g.src, "location", "x-dmb://27141", nullptr);
  g.Set(GST_STATE_PLAYING);
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  testgraph::Feed(writer, stream, false, 0);
  ASSERT_TRUE(g.WaitFor([&](auto& v, auto&) { return v.size() == video_frames; }, 60000));
  const auto video = g.video();
  EXPECT_NE(g.caps(g.vsink).find("width=(int)176, height=(int)144"), std::string::npos) << g.caps(g.vsink);
  g.Set(GST_STATE_NULL);
  for (const auto& v : video) {
    EXPECT_EQ(v.width, 176);
    EXPECT_EQ(v.height, 144);
    EXPECT_EQ(v.bgrx.size(), 176u * 144 * 4);
  }
}

TEST_F(HalviksrcTest, StateCyclesWithAWriterThatStopsMidStream) {
  const auto stream = testgraph::FixtureStream("basic");
  Graph g(false);
  g.keep_pictures = false;
  for (int round = 0; round < 4; ++round) {
    // Each round is a new load, as the player's rebuilt graph makes one.
    g_object_set(g.src, "location", "x-dmb://14141", nullptr);
    g.Set(GST_STATE_PAUSED);
    std::atomic<bool> stop{false};
    writer.Restart();
    std::thread feeder([&] { testgraph::Feed(writer, stream, false, 0, &stop, 0, 10 + round * 7); });
    const size_t before = g.counts();
    g.Set(GST_STATE_PLAYING);
    g.WaitFor([&](auto& v, auto& a) { return v.size() * 100000 + a.size() > before; }, 60000);
    g.Set(GST_STATE_PAUSED);
    g.Set(GST_STATE_PLAYING);
    if (round % 2) g.Set(GST_STATE_PAUSED);
    stop = true;
    feeder.join();
    g.Set(round == 3 ? GST_STATE_NULL : GST_STATE_READY);
    EXPECT_EQ(g.Settle(60000), GST_STATE_CHANGE_SUCCESS) << round;
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
  EXPECT_EQ(g.Settle(60000), GST_STATE_CHANGE_SUCCESS);
}

}  // namespace
