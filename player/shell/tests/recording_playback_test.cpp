// A .rec recording played through the core's graph: it opens on the start-up thread, plays, seeks
// in tenths of a second, and its position reaches its duration at the end, where the end of the
// file ends the pictures. And a recording that tevalo-live made of the live road plays back.
#include <algorithm>
#include <cstdio>

#include "filter/source/rec_writer.h"
#include "fixture_units.h"
#include "live_harness.h"
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

// The basic fixture, `loops` passes, written as the live recorder writes; its length in ms.
// lastPictureCode receives the frame code of its last picture.
uint32_t WriteRecording(const std::string& path, int loops, int* lastPictureCode) {
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
  constexpr int64_t kLoop90 = 384000;  // one pass of the fixture
  rec::CRecWriter writer([](int) { return std::optional<uint64_t>(1ull << 40); });
  const uint32_t start = 5000;
  if (!writer.Start(path, rec::MakeInfoBlock(rec::kVideoInfoType, videoConfig),
                    rec::MakeInfoBlock(rec::kAudioInfoType, audioConfig), start))
    return 0;
  const int64_t p0 = units.front().pts;
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
  CHeadlessVideoOutput video;
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
