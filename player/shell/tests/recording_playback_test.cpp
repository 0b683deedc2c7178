// A .rec recording played through the core's graph: it opens on the start-up thread, plays, seeks
// in tenths of a second, and its position reaches its duration at the end, where the end of the
// file ends the pictures. And a recording that tevalo-live made of the live road plays back.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "filter/source/rec_writer.h"
#include "fixture_units.h"
#include "live_harness.h"
#include "player/panels/playback_panel_logic.h"
#include "tests/common/child_process.h"
#include "tests/support/frame_code.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

using Bytes = std::vector<uint8_t>;

// The SPS and PPS of an access unit, each with its start code.
Bytes ParameterSets(const Bytes& au) {
  Bytes out;
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) starts.push_back(i + 3);
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = starts[k];
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : au.size();
    while (end > begin && au[end - 1] == 0) --end;
    const int type = au[begin] & 0x1F;
    if (type == 7 || type == 8) {
      out.insert(out.end(), {0, 0, 0, 1});
      out.insert(out.end(), au.begin() + begin, au.begin() + end);
    }
  }
  return out;
}

// The basic fixture: 64 pictures at 15 a second, a key picture every 15, one pass 384000 ticks.
constexpr int64_t kLoop90 = 384000;
constexpr int64_t kPicture90 = 6000;
constexpr int kPicturesPerLoop = 64;
constexpr int kKeyInterval = 15;

// The basic fixture, `loops` passes, written as the live recorder writes; its length in ms.
// lastPictureCode receives the frame code of its last picture; firstPicture90, when given, the
// file time of the first picture in 90 kHz ticks.
uint32_t WriteRecording(const std::string& path, int loops, int* lastPictureCode,
                        int64_t* firstPicture90 = nullptr) {
  struct Unit {
    uint32_t type;
    int64_t pts;
    Bytes bytes;
  };
  std::vector<Unit> units;
  Bytes videoConfig, audioConfig;
  for (auto& u : tevalo::test::ReadUnits(tevalo::test::FixturePath("basic", "video.units"))) {
    if (videoConfig.empty()) videoConfig = ParameterSets(u.bytes);
    units.push_back({IPC_VIDEO_FRAME, u.pts, std::move(u.bytes)});
  }
  for (auto& u : tevalo::test::ReadUnits(tevalo::test::FixturePath("basic", "audio.units"))) {
    if (audioConfig.empty()) audioConfig.assign(u.bytes.begin(), u.bytes.begin() + 7);
    units.push_back({IPC_AUDIO_FRAME, u.pts, std::move(u.bytes)});
  }
  *lastPictureCode = int(std::count_if(units.begin(), units.end(),
                                       [](const Unit& u) { return u.type == IPC_VIDEO_FRAME; })) -
                     1;
  std::stable_sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) {
    return a.pts != b.pts ? a.pts < b.pts : a.type > b.type;
  });
  rec::CRecWriter writer([](int) { return std::optional<uint64_t>(1ull << 40); });
  const uint32_t start = 5000;
  if (!writer.Start(path, rec::MakeInfoBlock(rec::kVideoInfoType, videoConfig),
                    rec::MakeInfoBlock(rec::kAudioInfoType, audioConfig), start))
    return 0;
  const int64_t p0 = units.front().pts;
  if (firstPicture90)
    for (const auto& u : units)
      if (u.type == IPC_VIDEO_FRAME) {
        *firstPicture90 = u.pts - p0;
        break;
      }
  uint32_t last = start;
  for (int l = 0; l < loops; ++l)
    for (const auto& u : units) {
      const int64_t p = u.pts - p0 + l * kLoop90;
      last = start + uint32_t(p / 90) + 1;
      writer.WriteRecord(u.type, p * 1000 / 9, u.bytes, last);
    }
  writer.Stop(last + 30);
  return last + 30 - start;
}

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

// The frame code of the picture at a file time in tenths: the first that begins there or later.
int CodeAt(int tenths, int64_t firstPicture90) {
  const int64_t t90 = int64_t(tenths) * 9000 - firstPicture90;
  if (t90 <= 0) return 0;
  return int((t90 + kPicture90 - 1) / kPicture90 % kPicturesPerLoop);
}

// Pictures the shown one lies before the expected one, across a pass's wrap; negative when after.
int PicturesBefore(int expected, int shown) {
  int back = (expected - shown + kPicturesPerLoop) % kPicturesPerLoop;
  return back > kPicturesPerLoop / 2 ? back - kPicturesPerLoop : back;
}

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

// The playback panel's commands on the core's graph.
struct GraphPanelHost : tevalo::panels::IPlaybackPanelHost {
  explicit GraphPanelHost(CPlayerCore& c) : core(c) {}
  tevalo::panels::PanelSource Source() const override {
    return core.State().sourceMode == SourceMode::kRecording ? tevalo::panels::PanelSource::kFile
                                                             : tevalo::panels::PanelSource::kLive;
  }
  bool HasGraph() const override { return core.MediaGraph() != nullptr; }
  bool GetPosition(int* tenths) override { return core.MediaGraph()->GetPosition(tenths) == 1; }
  int GetDuration() override {
    int d = 0;
    core.MediaGraph()->GetDuration(&d);
    return d;
  }
  void SetPosition(int tenths) override { core.MediaGraph()->SetPosition(tenths); }
  void OpenRecordingFiles() override {}
  void ExecuteControl(int) override {}
  void PanelClosedByButton() override {}
  void ClearButtonHideMode() override {}
  void PanelShownChanged(bool) override {}
  tevalo::panels::SnapRect MainWindowRect() const override { return {}; }
  tevalo::panels::OtherPanel ChannelPanel() override { return {}; }
  void ChannelPanelSelChange() override {}
  CPlayerCore& core;
};

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
  GraphPanelHost host(core);
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
