// A .rec recording played through the core's graph: it opens on the start-up thread, plays, seeks
// in tenths of a second, and its position reaches its duration at the end, where the end of the
// file ends the pictures. And a recording that tevalo-live made of the live road plays back.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "graph_panel_host.h"
#include "live_harness.h"
#include "player/panels/playback_panel_logic.h"
#include "rec_fixture.h"
#include "tests/common/child_process.h"
#include "tests/support/frame_code.h"

namespace tevalo::shell::test {
namespace {

using namespace tevalo::test::rec_fixture;

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

// Every picture shown, in order, by the frame code drawn into it (-1: none readable).
class CodedVideoOutput final : public CHeadlessVideoOutput {
 public:
  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) override {
    CHeadlessVideoOutput::OnPicture(bgrx, width, height, stride, ptsNs);
    const int code = tevalo::test::ReadFrameCodeBgrx(bgrx, width, height, stride);
    std::lock_guard lock(m_codesLock);
    m_codes.push_back(code);
  }
  size_t Shown() const {
    std::lock_guard lock(m_codesLock);
    return m_codes.size();
  }
  int CodeAt(size_t index) const {
    std::lock_guard lock(m_codesLock);
    return index < m_codes.size() ? m_codes[index] : -1;
  }

 private:
  mutable std::mutex m_codesLock;
  std::vector<int> m_codes;
};

// The core without a tuner search or device watcher, its pictures counted.
struct Player {
  explicit Player(const std::string& config) {
    CPlayerCore::Options o;
    o.video = &video;
    o.configPath = tevalo::text::ToUtf16(config);
    live = std::make_unique<LiveCore>(view, o, false);
  }
  CPlayerCore& Core() { return *live->core; }
  void Close() { live.reset(); }
  RecordingView view;
  CodedVideoOutput video;
  std::unique_ptr<LiveCore> live;
};

TEST(RecordingPlayback, PlaysSeeksInTenthsAndEndsAtItsDuration) {
  const std::string config = WriteInstallation();
  const std::string path = Env("XDG_RUNTIME_DIR") + "/rec/play.rec";
  int lastPictureCode = -1;
  const uint32_t ms = WriteRecording(path, 3, &lastPictureCode);
  ASSERT_GT(ms, 10000u);
  Player player(config);
  CPlayerCore& core = player.Core();
  CHeadlessVideoOutput& video = player.video;
  core.PlayUrl(tevalo::text::ToUtf16(path));
  ASSERT_TRUE(PumpUntil([&] { return video.Count() > 5 && !core.State().opening; }, 60000));
  auto graph = core.MediaGraph();
  ASSERT_TRUE(graph);
  EXPECT_EQ(graph->SourceFactory(), "halvikfsrc");
  const CoreState state = core.State();
  EXPECT_EQ(state.sourceMode, SourceMode::kRecording);
  EXPECT_EQ(state.playState, PlayState::kPlaying);
  EXPECT_EQ(state.graphCloseReports, 0u);
  EXPECT_FALSE(core.StreamThreadsRunning());
  int duration = 0;
  ASSERT_EQ(graph->GetDuration(&duration), S_OK);
  EXPECT_NEAR(duration, int(ms / 100), 2);

  // Paused, a seek to 12.5 s reads back as 125 tenths; forwards and backwards both go.
  ASSERT_EQ(graph->Pause(), S_OK);
  for (int target : {125, 30, 90}) {
    ASSERT_EQ(graph->SetPosition(target), S_OK) << target;
    int position = -1;
    ASSERT_TRUE(PumpUntil(
        [&] { return graph->GetPosition(&position) == 1 && std::abs(position - target) <= 1; }, 60000))
        << "seek to " << target << " reads " << position;
  }
  // Near the end and running: the position reaches the duration and the pictures end with the
  // file (the playback element sends no end of stream; the graph stays as it is).
  ASSERT_EQ(graph->SetPosition(duration - 15), S_OK);
  ASSERT_EQ(graph->Run(), S_OK);
  int highest = 0;
  PumpUntil(
      [&] {
        int p = 0;
        if (graph->GetPosition(&p) == 1) highest = std::max(highest, p);
        return highest >= duration;
      },
      60000);
  EXPECT_GE(highest, duration - 1) << "of " << duration;
  // The file's last picture is shown; nothing may follow it.
  const auto code = [&] {
    const auto p = video.Last();
    return p.bgrx.empty() ? -1
                          : tevalo::test::ReadFrameCodeBgrx(p.bgrx.data(), p.width, p.height, p.width * 4);
  };
  EXPECT_TRUE(PumpUntil([&] { return code() == lastPictureCode; }, 60000))
      << "the last picture shown is " << code() << ", the file's last " << lastPictureCode;
  const uint64_t atEnd = video.Count();
  PumpFor(1000);
  EXPECT_EQ(video.Count(), atEnd) << "pictures after the end of the file";
  EXPECT_TRUE(graph->HasGraph());
  player.Close();
}

TEST(RecordingPlayback, PanelStepsAndSliderLandWhereAsked) {
  const std::string config = WriteInstallation();
  const std::string path = Env("XDG_RUNTIME_DIR") + "/rec/panel.rec";
  int lastPictureCode = -1;
  int64_t firstPicture90 = 0;
  const uint32_t ms = WriteRecording(path, 8, &lastPictureCode, &firstPicture90);
  ASSERT_GT(ms, 30000u);
  Player player(config);
  CPlayerCore& core = player.Core();
  core.PlayUrl(tevalo::text::ToUtf16(path));
  ASSERT_TRUE(PumpUntil([&] { return player.video.Count() > 5 && !core.State().opening; }, 60000));
  auto graph = core.MediaGraph();
  ASSERT_TRUE(graph);
  tevalo::test::GraphPanelHost host([&] { return core.MediaGraph().get(); },
                                    [&] {
                                      return core.State().sourceMode == SourceMode::kRecording
                                                 ? tevalo::panels::PanelSource::kFile
                                                 : tevalo::panels::PanelSource::kLive;
                                    });
  tevalo::panels::CPlaybackPanelLogic panel(host);
  int duration = 0;
  ASSERT_EQ(graph->GetDuration(&duration), S_OK);
  panel.SetSliderRange(0, tevalo::panels::SliderMaximumFor(duration));

  // Paused, each seek shows one picture: the one at the target, or one of the pictures since the
  // key picture before it.
  ASSERT_EQ(graph->Pause(), S_OK);
  const auto landsAt = [&](int target, size_t shownBefore) {
    int position = -1;
    if (!PumpUntil([&] { return graph->GetPosition(&position) == 1 && std::abs(position - target) <= 1; },
                   60000))
      return ::testing::AssertionFailure() << "position reads " << position;
    if (!PumpUntil([&] { return player.video.Shown() > shownBefore; }, 60000))
      return ::testing::AssertionFailure() << "no picture after the seek";
    const int expected = CodeAt(target, firstPicture90);
    const int shown = player.video.CodeAt(shownBefore);
    const int back = PicturesBefore(expected, shown);
    if (shown < 0 || back < 0 || back > kKeyInterval)
      return ::testing::AssertionFailure() << "first picture " << shown << ", at the target " << expected;
    return ::testing::AssertionSuccess();
  };
  const auto seek = [&](auto&& act, int target) {
    const size_t before = player.video.Shown();
    act();
    return landsAt(target, before);
  };
  using Logic = tevalo::panels::CPlaybackPanelLogic;
  // A picture of the running graph may still come after the pause: this first seek only settles.
  graph->SetPosition(200);
  ASSERT_TRUE(PumpUntil(
      [&] {
        const int back =
            PicturesBefore(CodeAt(200, firstPicture90), player.video.CodeAt(player.video.Shown() - 1));
        return back >= 0 && back <= kKeyInterval;
      },
      60000));
  EXPECT_TRUE(seek([&] { panel.Command(Logic::kNext); }, 300)) << "next";
  EXPECT_TRUE(seek([&] { panel.Command(Logic::kPrevious); }, 200)) << "previous";
  EXPECT_TRUE(seek([&] { panel.Command(Logic::kPrevious); }, 100)) << "previous again";
  // Slider releases at every phase of the key-picture interval, in both directions, and across
  // the fixture's passes.
  for (int target : {250, 37, 43, 151, 299, 321, 9, 0, 333})
    EXPECT_TRUE(seek([&] { panel.SliderReleased(target); }, target)) << "slider release to " << target;
  EXPECT_TRUE(seek([&] { graph->SetPosition(duration - 50); }, duration - 50));
  EXPECT_TRUE(seek([&] { panel.Command(Logic::kNext); }, duration - 10)) << "next near the end";

  // Seeks while it plays, from a fixed sequence: none may crash or hang the graph.
  ASSERT_EQ(graph->Run(), S_OK);
  uint32_t seed = 12345;
  for (int i = 0; i < 50; ++i) {
    seed = seed * 1664525u + 1013904223u;
    panel.SliderReleased(int(seed % uint32_t(duration)));
    PumpFor(20);
  }
  const uint64_t before = player.video.Count();
  graph->SetPosition(50);
  EXPECT_TRUE(PumpUntil([&] { return player.video.Count() > before + 5; }, 60000))
      << "pictures after the seeks";
  player.Close();
}

TEST(RecordingPlayback, ARecordingTevaloLiveMadeOnTheLiveRoadPlaysBack) {
  const std::string config = WriteInstallation();
  auto sim = StartSim(SampleChannels());
  std::string path;
  {
    tevalo_test::ChildProcess live("tevalo-live", {"--headless", "--record", "4"});
    while (auto line = live.ReadLine(90000)) {
      const std::string prefix = "tevalo-live: recorded ";
      if (line->rfind(prefix, 0) == 0) path = line->substr(prefix.size());
    }
    EXPECT_EQ(live.Finish(), 0);
  }
  sim->stop();
  ASSERT_FALSE(path.empty()) << "tevalo-live reported no recording";
  ASSERT_EQ(path.rfind(Env("XDG_RUNTIME_DIR") + "/rec/", 0), 0u) << path;
  ASSERT_TRUE(std::filesystem::exists(path));

  Player player(config);
  CPlayerCore& core = player.Core();
  CHeadlessVideoOutput& video = player.video;
  core.PlayUrl(tevalo::text::ToUtf16(path));
  ASSERT_TRUE(PumpUntil([&] { return video.Count() > 10 && !core.State().opening; }, 60000));
  auto graph = core.MediaGraph();
  ASSERT_TRUE(graph);
  EXPECT_EQ(graph->SourceFactory(), "halvikfsrc");
  int duration = 0;
  ASSERT_EQ(graph->GetDuration(&duration), S_OK);
  EXPECT_GE(duration, 10) << "tenths of a second recorded";
  const auto picture = video.Last();
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 180);
  int position = 0;
  ASSERT_TRUE(PumpUntil([&] { return graph->GetPosition(&position) == 1 && position >= 5; }, 60000));
  player.Close();
}

}  // namespace
}  // namespace tevalo::shell::test
