// A minute of live playback of the sample broadcast: pictures and sound keep reaching the
// renderers, and no frame is lost after the stream headers.
#include <atomic>
#include <cstdio>

#include "live_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

TEST(LiveRoadMinute, PicturesAndSoundReachTheRenderersForAMinuteOfStream) {
  const std::string config = WriteInstallation();
  auto sim = StartSim(SampleChannels());
  RecordingView view;
  CHeadlessVideoOutput video;
  std::atomic<uint64_t> audioFrames{0};
  CPlayerCore::Options o;
  o.video = &video;
  o.configPath = tevalo::text::ToUtf16(config);
  o.audioTap = [&](const int16_t*, size_t frames, int, int, int64_t) { audioFrames += frames; };
  auto live = std::make_unique<LiveCore>(view, o);
  CPlayerCore& core = *live->core;
  core.StartTuner();
  ASSERT_TRUE(PumpUntil(
      [&] {
        auto g = core.MediaGraph();
        return g && g->GetFrameRate() > 0;
      },
      60000));
  const auto startCounts = core.Counts();
  const uint64_t startPictures = video.Count();
  const uint64_t startSound = audioFrames;
  // A minute of the stream: 900 pictures at 15 a second, and sound all along, however long the
  // machine takes to show them.
  EXPECT_TRUE(PumpUntil([&] { return video.Count() >= startPictures + 900; }, 600000))
      << video.Count() - startPictures << " pictures";
  EXPECT_GT(audioFrames.load(), startSound) << "no sound";
  const auto counts = core.Counts();
  const uint64_t written = counts.videoWritten - startCounts.videoWritten;
  const uint64_t rendered = video.Count() - startPictures;
  std::printf(
      "a minute: %llu pictures written, %llu rendered; lost on the channel: %llu video, %llu audio; "
      "frame rate %d/100\n",
      (unsigned long long)written, (unsigned long long)rendered, (unsigned long long)counts.videoLost,
      (unsigned long long)counts.audioLost, core.MediaGraph()->GetFrameRate());
  EXPECT_EQ(counts.videoLost, 0u);
  EXPECT_EQ(counts.audioLost, 0u);
  EXPECT_GE(rendered + 15, written) << "pictures lost between the channel and the renderer";
  live.reset();
  sim->stop();
}

}  // namespace
}  // namespace tevalo::shell::test
