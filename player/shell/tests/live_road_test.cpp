// The live road on the stick stand-in: search, tune, play, channel changes, a pulled stick, a
// build that fails, and the filter's connection messages.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "live_harness.h"
#include "tests/support/flash_beep.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

struct AudioCount {
  std::atomic<uint64_t> buffers{0};
  std::atomic<uint64_t> frames{0};
};

class LiveRoad : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& channels, CMediaGraph::AudioTap tap = {}) {
    config = WriteInstallation();
    sim = StartSim(channels);
    CLiveController::Options o;
    o.video = videoOutput ? videoOutput : &video;
    o.configPath = tevalo::text::ToUtf16(config);
    o.searchKind = 1;
    o.areaIndex = 7;
    o.audioTap = tap ? tap : [this](const int16_t*, size_t frames, int, int, int64_t) {
      ++audio.buffers;
      audio.frames += frames;
    };
    controller = std::make_unique<CLiveController>(view, o);
    ASSERT_TRUE(controller->Initialise());
  }
  void TearDown() override {
    controller.reset();
    if (sim) sim->stop();
  }
  // A graph other than `old` renders pictures.
  bool WaitPlaying(const CMediaGraph* old, int ms) {
    return PumpUntil(
        [&] {
          auto g = controller->MediaGraph();
          return g && g.get() != old && !controller->m_bOpening && g->GetFrameRate() > 0;
        },
        ms);
  }

  std::string State() {
    const auto c = controller->Counts();
    std::string s =
        "pictures " + std::to_string(video.Count()) + " filter " +
        std::to_string(controller->m_nFilterState) + " source " + std::to_string(controller->m_nSourceMode) +
        " threads " + std::to_string(controller->Engine().ThreadsRunning()) + " written " +
        std::to_string(c.videoWritten) + "/" + std::to_string(c.audioWritten) + " lost " +
        std::to_string(c.videoLost) + "/" + std::to_string(c.audioLost) + " formats " +
        std::to_string(c.formatHandOvers) + " closes " + std::to_string(controller->m_nGraphCloseReports) +
        " channel " + tevalo::text::ToUtf8(controller->m_strCurrentChannel) + " status " +
        tevalo::text::ToUtf8(view.StripText(kStripStatus));
    return s;
  }
  std::string config;
  std::unique_ptr<tunersim::SimProcess> sim;
  RecordingView view;
  CHeadlessVideoOutput video;
  IVideoOutput* videoOutput = nullptr;
  AudioCount audio;
  std::unique_ptr<CLiveController> controller;
};

int CountTasks() { return CountEntries("/proc/self/task"); }
int CountFds() { return CountEntries("/proc/self/fd"); }

TEST_F(LiveRoad, SearchesTunesTheStoredOrFirstChannelAndPlays) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000)) << "no picture after the search";
  EXPECT_EQ(std::count_if(view.panel.begin(), view.panel.end(),
                          [](const ChannelEntry& e) { return e.availability == 1; }),
            3);
  const uint64_t before = video.Count();
  const uint64_t audioBefore = audio.buffers;
  PumpFor(2000);
  EXPECT_GT(video.Count(), before + 15) << "pictures stopped";
  EXPECT_GT(audio.buffers.load(), audioBefore + 10) << "sound stopped";
  EXPECT_EQ(controller->m_nFilterState.load(), 1);
  EXPECT_EQ(controller->m_nSourceMode.load(), 1);
  EXPECT_EQ(controller->m_bStreamFormatsKnown.load(), 1);
  EXPECT_TRUE(view.playing);
  EXPECT_EQ(view.StripText(kStripChannel).rfind(u"チャンネル : ", 0), 0u);
  EXPECT_EQ(view.StripText(kStripStatus), u"");
  {
    std::lock_guard lock(view.m);
    EXPECT_EQ(view.timers.count(kTimerLevel), 1u);
  }
  // The tuned channel is stored and marked received.
  const std::u16string code =
      tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"DMBControl", u"CurrentChannel", u"");
  EXPECT_EQ(code, controller->m_strCurrentChannel);
  EXPECT_EQ(tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"DMBControl", u"LastChannel", u""),
            code);
  const auto counts = controller->Counts();
  EXPECT_EQ(counts.videoLost, 0u);
  EXPECT_EQ(counts.audioLost, 0u);
  // A live graph cannot seek.
  EXPECT_NE(controller->MediaGraph()->SetPosition(600), S_OK);
  const auto picture = video.Last();
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 180);
  EXPECT_GE(
      tevalo::test::ReadFrameCodeBgrx(picture.bgrx.data(), picture.width, picture.height, picture.width * 4),
      0);
}

TEST_F(LiveRoad, TwentyChannelChangesLeaveNoThreadOrHandleBehind) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000));
  const int tasks = CountTasks();
  const int fds = CountFds();
  const std::u16string codes[] = {u"13131", u"12121", u"14141"};
  std::vector<double> zaps;
  for (int i = 0; i < 20; ++i) {
    auto old = controller->MediaGraph();
    const auto t0 = std::chrono::steady_clock::now();
    controller->ChangeChannel(codes[i % 3], false);
    ASSERT_TRUE(WaitPlaying(old.get(), 20000)) << "change " << i << " did not play: " << State();
    zaps.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    EXPECT_EQ(controller->m_strCurrentChannel, codes[i % 3]);
  }
  PumpFor(500);
  EXPECT_LE(CountTasks(), tasks + 2);
  EXPECT_LE(CountFds(), fds + 4);

  std::sort(zaps.begin(), zaps.end());
  const auto counts = controller->Counts();
  std::printf(
      "zap ms: median %.0f worst %.0f; frames written %llu video %llu audio, lost %llu video %llu audio\n",
      zaps[zaps.size() / 2], zaps.back(), (unsigned long long)counts.videoWritten,
      (unsigned long long)counts.audioWritten, (unsigned long long)counts.videoLost,
      (unsigned long long)counts.audioLost);
}

TEST_F(LiveRoad, PullingTheStickStopsAndPluggingItBackPlaysAgain) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000));
  auto old = controller->MediaGraph();
  sim->remove();
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(kStripStatus) == kTextRemoved; }, 10000));
  EXPECT_FALSE(controller->Engine().ThreadsRunning());
  EXPECT_EQ(controller->m_bTunerStarted.load(), 0);
  EXPECT_EQ(controller->m_nLevel.load(), 244);
  EXPECT_EQ(view.levelBars, 0);
  EXPECT_EQ(view.StripText(kStripChannel), u"");
  sim->insert();
  ASSERT_TRUE(WaitPlaying(old.get(), 30000)) << "no picture after the stick came back";
  EXPECT_EQ(controller->m_bTunerStarted.load(), 1);
}

TEST_F(LiveRoad, ABuildThatCannotTuneTakesTheCloseReportOnce) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000));
  const std::u16string good = controller->m_strCurrentChannel;
  controller->m_strCurrentChannel = u"99141";  // no such channel index
  controller->PlayUrl(u"x-dmb://nosuch");
  ASSERT_TRUE(
      PumpUntil([&] { return controller->m_nGraphCloseReports > 0 && !controller->m_bOpening; }, 15000));
  PumpFor(500);
  EXPECT_EQ(controller->m_nGraphCloseReports.load(), 1);
  EXPECT_EQ(controller->MediaGraph(), nullptr);
  EXPECT_EQ(view.StripText(kStripStatus), kTextNoSignal);
  EXPECT_FALSE(view.playing);
  EXPECT_FALSE(controller->Engine().ThreadsRunning());
  EXPECT_EQ(controller->m_nFilterState.load(), 0);
  // The next change tries again.
  controller->ChangeChannel(good, false);
  ASSERT_TRUE(WaitPlaying(nullptr, 20000));
}

TEST_F(LiveRoad, SoundStaysWithThePicturesOnTheSyncBroadcast) {
  // Beep onsets from the audio stage, flash pictures from the renderer, both by their stamps.
  tevalo::test::FlashBeepProbe probe;
  struct Flashes : IVideoOutput {
    std::function<void(const uint8_t*, int, int, int, int64_t)> on;
    void OnPicture(const uint8_t* p, int w, int h, int stride, int64_t pts) override {
      on(p, w, h, stride, pts);
    }
    void SetWindowPosition(int, int, int, int) override {}
    void SetVisible(bool) override {}
  } output;
  output.on = [&](const uint8_t* p, int w, int h, int stride, int64_t pts) {
    video.OnPicture(p, w, h, stride, pts);
    probe.OnPicture(p, w, h, stride, pts);
  };
  videoOutput = &output;
  Start({"27=" + Fixture("avsync/stream.ts")},
        [&](const int16_t* s, size_t frames, int channels, int rate, int64_t pts) {
          probe.OnSound(s, frames, channels, rate, pts);
        });
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000));
  PumpFor(8000);
  controller.reset();  // the tap and the output above go out of scope with this test
  ASSERT_GE(probe.Flashes(), 5u);
  ASSERT_GE(probe.Onsets(), 5u);
  const std::vector<double> offsets = probe.Offsets();
  ASSERT_GE(offsets.size(), 4u);
  for (double o : offsets) std::printf("offset %.1f ms\n", o);
  for (double o : offsets) EXPECT_LE(std::fabs(o), 20.0) << "sound " << o << " ms off the picture";
  const auto [lo, hi] = std::minmax_element(offsets.begin(), offsets.end());
  EXPECT_LE(*hi - *lo, 10.0) << "the offset drifts";
  std::printf("A/V offset over %zu beeps: %.1f .. %.1f ms\n", offsets.size(), *lo, *hi);
}

TEST_F(LiveRoad, AMediumAskedForDuringAnOpenOpensAfterIt) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 30000));
  auto first = controller->MediaGraph();
  controller->ChangeChannel(u"13131", false);
  ASSERT_TRUE(PumpUntil([&] { return controller->m_bOpening == 1; }, 5000));
  // Queued while the open step runs: it waits as the pending name and opens next.
  controller->m_strCurrentChannel = u"12121";
  controller->PlayUrl(u"x-dmb://later");
  ASSERT_TRUE(PumpUntil(
      [&] {
        return view.StripText(kStripChannel) == u"チャンネル : LATER" && !controller->m_bOpening &&
               controller->MediaGraph() && controller->MediaGraph()->GetFrameRate() > 0;
      },
      30000))
      << State();
  EXPECT_NE(controller->MediaGraph(), first);
}

TEST_F(LiveRoad, ClosingWhileMediaOpensDoesNotHang) {
  Start(SampleChannels());
  controller->StartTuner();
  ASSERT_TRUE(PumpUntil([&] { return controller->m_bOpening == 1; }, 30000));
  const auto t0 = std::chrono::steady_clock::now();
  controller.reset();  // the start-up thread may be waiting for this thread inside the build
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
}

TEST_F(LiveRoad, ConnectionMessagesCheckTheSenderAndTheSourceMode) {
  config = WriteInstallation();
  CLiveController::Options o;
  o.configPath = tevalo::text::ToUtf16(config);
  o.watchDevices = false;
  controller = std::make_unique<CLiveController>(view, o);
  ASSERT_TRUE(controller->Initialise());
  const uint32_t own = static_cast<uint32_t>(getpid());
  const uint32_t foreign = own + 1;
  // 2, 3 and 4 from another process change nothing.
  std::vector<uint8_t> open(524, 0);
  open[0] = uint8_t(foreign), open[1] = uint8_t(foreign >> 8), open[2] = uint8_t(foreign >> 16),
  open[3] = uint8_t(foreign >> 24);
  COPYDATASTRUCT cds{COPYDATA_FILTER_OPEN, 524, open.data()};
  EXPECT_EQ(controller->OnCopyData(&cds), 0);
  EXPECT_EQ(view.levelBars, -1);
  for (uint32_t code : {COPYDATA_FILTER_RUN, COPYDATA_FILTER_STOP}) {
    COPYDATASTRUCT c{code, foreign, nullptr};
    EXPECT_EQ(controller->OnCopyData(&c), 0) << code;
  }
  EXPECT_EQ(controller->m_nFilterState.load(), 0);
  COPYDATASTRUCT run{COPYDATA_FILTER_RUN, own, nullptr};
  controller->m_bWatchFlagA = 1;
  EXPECT_EQ(controller->OnCopyData(&run), 1);
  EXPECT_EQ(controller->m_nFilterState.load(), 1);
  EXPECT_EQ(controller->m_bWatchFlagA.load(), 0);

  // Code 10 toggles recording only while live.
  COPYDATASTRUCT toggle{COPYDATA_RECORD_TOGGLE, 0, nullptr};
  controller->m_nSourceMode = 3;
  controller->OnCopyData(&toggle);
  EXPECT_EQ(view.recordStarts, 0);
  controller->m_nSourceMode = 1;
  controller->OnCopyData(&toggle);
  EXPECT_EQ(view.recordStarts, 1);
  EXPECT_TRUE(view.recording);

  // Code 4 during a recording stops it without asking, then closes the channel.
  COPYDATASTRUCT stop{COPYDATA_FILTER_STOP, own, nullptr};
  EXPECT_EQ(controller->OnCopyData(&stop), 1);
  EXPECT_FALSE(view.recording);
  ASSERT_FALSE(view.stopAsked.empty());
  EXPECT_FALSE(view.stopAsked.front());
  EXPECT_EQ(controller->m_nFilterState.load(), 0);
  EXPECT_EQ(controller->m_nSourceMode.load(), 0);

  // Code 16 hands the path to the iEPG reader.
  const std::u16string path = u"/tmp/番組.pl";
  COPYDATASTRUCT iepg{COPYDATA_IEPG_FILE, uint32_t(path.size() * 2), const_cast<char16_t*>(path.data())};
  controller->OnCopyData(&iepg);
  ASSERT_EQ(view.iepg.size(), 1u);
  EXPECT_EQ(view.iepg[0], path);

  // Opening a recording sets source mode 3 and starts no stream thread.
  EXPECT_EQ(controller->OpenMedia(u"/tmp/a.REC"), 1);
  EXPECT_EQ(controller->m_nSourceMode.load(), 3);
  EXPECT_FALSE(controller->Engine().ThreadsRunning());
  // A device message of another kind changes nothing, and a later one is still handled.
  EXPECT_EQ(controller->OnDeviceChange(0x8000, 0), 0);
  EXPECT_EQ(controller->m_bDeviceChangeBusy.load(), 0);
}

}  // namespace
}  // namespace tevalo::shell::test
