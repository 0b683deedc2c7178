// Real-time runs of halviksrc with synchronised sinks: the A/V sync broadcast paced as the player
// sends it.
#include <gtest/gtest.h>

#include <cstdio>

#include "filter/source/filter_host.h"
#include "frame_code.h"
#include "graph_util.h"

using testgraph::Graph;

namespace {

double Range(const std::vector<double>& v) {
  return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
}

TEST(HalviksrcRealTime, FlashAndBeepStayTogetherAndTimesFollowTheStream) {
  auto host = std::make_shared<testhost::Host>();
  halvik::SetFilterHost(host);
  testhost::ChannelWriter writer(host->box, &host->wake);
  const auto stream = testgraph::FixtureStream("avsync");
  const size_t video_frames = testgraph::CountUnits(stream, 259);
  const size_t audio_frames = testgraph::CountUnits(stream, 260);

  Graph g(true);
  g.keep_pictures = true;
  g_object_set(g.src, "location", "x-dmb://27141", nullptr);
  g.Set(GST_STATE_PLAYING);
  testgraph::Feed(writer, stream, true, 0);
  ASSERT_TRUE(g.WaitFor(
      [&](auto& v, auto& a) { return v.size() >= video_frames && a.size() >= audio_frames; }, 60000));
  const GstClockTime base_time = gst_element_get_base_time(g.pipe);
  const auto video = g.video();
  const auto audio = g.audio();
  g.Set(GST_STATE_NULL);
  halvik::SetFilterHost(nullptr);

  // Flash frames and beep onsets, in seconds of presentation time.
  std::vector<double> flashes;
  for (const auto& v : video)
    if (tevalo::test::IsFlashFrameBgrx(v.bgrx.data(), v.width, v.height, v.width * 4))
      flashes.push_back(double(v.pts) / 1e9);
  std::vector<double> onsets;
  size_t quiet = 0;
  for (const auto& a : audio) {
    const auto* pcm = reinterpret_cast<const int16_t*>(a.pcm.data());
    for (size_t k = 0; k < a.size / 4; ++k) {
      const int level = std::abs(int(pcm[2 * k]));
      if (level >= 300 && quiet > 2400) onsets.push_back(double(a.pts) / 1e9 + double(k) / 48000);
      quiet = level < 300 ? quiet + 1 : 0;
    }
  }
  ASSERT_GE(flashes.size(), 4u);
  std::vector<double> offsets;
  for (double f : flashes) {
    if (f < 1.0) continue;
    double best = 1e9;
    for (double o : onsets)
      if (std::abs(o - f) < std::abs(best)) best = o - f;
    offsets.push_back(best);
    std::printf("flash at %.4f s: beep %+.1f ms\n", f, best * 1000);
    EXPECT_LE(std::abs(best), 0.020) << f;
  }
  ASSERT_GE(offsets.size(), 3u);
  EXPECT_LT(Range(offsets), 0.002);  // no drift over the run

  // Times against the stream's own: a constant distance means they advance at the stream's pace.
  std::vector<double> video_lag, audio_lag;
  size_t vi = 0, ai = 0;
  for (const auto& u : stream.units) {
    const double stream_time = double(u.pts90 - stream.units.front().pts90) / 90000;
    if (u.type == 259 && vi < video.size())
      video_lag.push_back(double(video[vi++].pts) / 1e9 - stream_time);
    else if (u.type == 260 && ai < audio.size())
      audio_lag.push_back(double(audio[ai++].pts) / 1e9 - stream_time);
  }
  std::printf("time minus stream time: video range %.4f ms, audio range %.4f ms\n", Range(video_lag) * 1000,
              Range(audio_lag) * 1000);
  EXPECT_LT(Range(video_lag), 1e-6);
  EXPECT_LT(Range(audio_lag), 1e-6);
  // The sinks wait for each buffer's time on the pipeline clock (the monotonic system clock): none
  // arrives before it. How late they come is the machine's business.
  ASSERT_NE(base_time, GST_CLOCK_TIME_NONE);
  for (size_t i = 0; i < video.size(); ++i)
    EXPECT_GE(video[i].arrival_us * 1000 + 1000, int64_t(base_time + video[i].pts)) << "picture " << i;
  for (size_t i = 0; i < audio.size(); ++i)
    EXPECT_GE(audio[i].arrival_us * 1000 + 1000, int64_t(base_time + audio[i].pts)) << "sound " << i;
}

}  // namespace
