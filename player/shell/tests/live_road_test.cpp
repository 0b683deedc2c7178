// The live road on the stick stand-in: search, tune, play, channel changes, a pulled stick, a
// build that fails, closing at awkward moments, recording, and the filter's connection messages.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "live_harness.h"
#include "player/panels/playlist.h"
#include "tests/filter_source/tone.h"
#include "tests/support/flash_beep.h"
#include "tests/support/frame_code.h"

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
    CPlayerCore::Options o;
    o.video = videoOutput ? videoOutput : &video;
    o.configPath = tevalo::text::ToUtf16(config);
    o.searchKind = SearchKind::kArea;
    o.areaIndex = 7;
    o.prompter = prompter;
    o.audioTap = tap ? tap : [this](const int16_t*, size_t frames, int, int, int64_t) {
      ++audio.buffers;
      audio.frames += frames;
    };
    controller = std::make_unique<LiveCore>(view, o);
  }
  void TearDown() override {
    controller.reset();
    if (sim) sim->stop();
  }
  CPlayerCore& core() { return *controller->core; }
  // A graph other than `old` renders pictures.
  bool WaitPlaying(const IMediaGraph* old, int ms) {
    return PumpUntil(
        [&] {
          auto g = core().MediaGraph();
          return g && g.get() != old && !core().State().opening && g->GetFrameRate() > 0;
        },
        ms);
  }

  // Plays the sample channels and starts recording with the filter's own toggle message.
  void PlayAndRecord() {
    Start(SampleChannels());
    core().StartTuner();
    ASSERT_TRUE(WaitPlaying(nullptr, 60000));
    ASSERT_TRUE(PumpUntil([&] { return core().State().streamFormatsKnown; }, 60000)) << State();
    tevalo::win::COPYDATASTRUCT toggle{COPYDATA_RECORD_TOGGLE, 0, nullptr};
    tevalo::win::SendMessageW(controller->window->hwnd(), tevalo::win::WM_COPYDATA, 0,
                              reinterpret_cast<tevalo::win::LPARAM>(&toggle));
    ASSERT_TRUE(core().IsRecording());
  }
  std::string State() {
    const auto c = core().Counts();
    const auto s = core().State();
    return "pictures " + std::to_string(video.Count()) + " filter " + std::to_string(int(s.filterState)) +
           " source " + std::to_string(int(s.sourceMode)) + " threads " +
           std::to_string(core().StreamThreadsRunning()) + " written " + std::to_string(c.videoWritten) +
           "/" + std::to_string(c.audioWritten) + " lost " + std::to_string(c.videoLost) + "/" +
           std::to_string(c.audioLost) + " formats " + std::to_string(c.formatHandOvers) + " closes " +
           std::to_string(s.graphCloseReports) + " channel " + tevalo::text::ToUtf8(s.currentChannel) +
           " status " + tevalo::text::ToUtf8(view.StripText(StripKind::kStatus));
  }
  // Closes the core: a GUI event queued just before must not run inside, and closing must end. The
  // time it took is printed.
  void CloseWithoutHang(const char* during) {
    bool ran = false;
    QObject context;
    QMetaObject::invokeMethod(
        &context, [&] { ran = true; }, Qt::QueuedConnection);
    const auto t0 = std::chrono::steady_clock::now();
    core().Shutdown();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("closing during %s: %.0f ms\n", during, ms);
    EXPECT_FALSE(ran) << "closing ran the event loop";
    EXPECT_LT(ms, 60000) << "closing hangs";  // a hang, not a busy machine
    EXPECT_TRUE(PumpUntil([&] { return ran; }, 60000)) << "the queued event was lost";
    EXPECT_FALSE(core().StreamThreadsRunning());
  }

  std::string config;
  std::unique_ptr<tunersim::SimProcess> sim;
  RecordingView view;
  CHeadlessVideoOutput video;
  IVideoOutput* videoOutput = nullptr;
  IPrompter* prompter = nullptr;
  AudioCount audio;
  std::unique_ptr<LiveCore> controller;
};

int CountTasks() { return CountEntries("/proc/self/task"); }
int CountFds() { return CountEntries("/proc/self/fd"); }

TEST_F(LiveRoad, SearchesTunesTheStoredOrFirstChannelAndPlays) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000)) << "no picture after the search";
  EXPECT_EQ(std::count_if(view.panel.begin(), view.panel.end(),
                          [](const ChannelEntry& e) { return e.availability == 1; }),
            3);
  const uint64_t before = video.Count();
  const uint64_t audioBefore = audio.buffers;
  EXPECT_TRUE(PumpUntil([&] { return video.Count() > before + 15; }, 60000)) << "pictures stopped";
  EXPECT_TRUE(PumpUntil([&] { return audio.buffers.load() > audioBefore + 10; }, 60000)) << "sound stopped";
  EXPECT_EQ(core().State().filterState, FilterState::kRunning);
  EXPECT_EQ(core().State().sourceMode, SourceMode::kLive);
  EXPECT_TRUE(core().State().streamFormatsKnown);
  EXPECT_TRUE(view.playing);
  EXPECT_EQ(view.StripText(StripKind::kChannel).rfind(u"チャンネル : ", 0), 0u);
  EXPECT_EQ(view.StripText(StripKind::kStatus), u"");
  EXPECT_TRUE(core().Timers().IsArmed(TimerId::kLevel));
  EXPECT_EQ(view.offGuiThread, 0);
  // The tuned channel is stored and marked received.
  const std::u16string code =
      tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"DMBControl", u"CurrentChannel", u"");
  EXPECT_EQ(code, core().CurrentChannel());
  EXPECT_EQ(tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"DMBControl", u"LastChannel", u""),
            code);
  const auto counts = core().Counts();
  EXPECT_EQ(counts.videoLost, 0u);
  EXPECT_EQ(counts.audioLost, 0u);
  // A live graph cannot seek.
  EXPECT_NE(core().MediaGraph()->SetPosition(600), S_OK);
  const auto picture = video.Last();
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 180);
  EXPECT_GE(
      tevalo::test::ReadFrameCodeBgrx(picture.bgrx.data(), picture.width, picture.height, picture.width * 4),
      0);
}

TEST_F(LiveRoad, TwentyChannelChangesLeaveNoThreadOrHandleBehind) {
  Start(SampleChannels());
  // Changes keep the four stream threads: the same ones run from the first picture to the last.
  // Shared with the observer, which the threads still call when the fixture stops them.
  struct StreamThreads {
    std::mutex lock;
    std::multiset<std::thread::id> started;
    int ended = 0;
  };
  auto threads = std::make_shared<StreamThreads>();
  core().SetStreamThreadObserver([threads](pipeline::CStreamEngine::ThreadId, bool starting) {
    std::lock_guard lock(threads->lock);
    if (starting)
      threads->started.insert(std::this_thread::get_id());
    else
      ++threads->ended;
  });
  auto streamThreads = [threads] {
    std::lock_guard lock(threads->lock);
    return std::make_pair(threads->started, threads->ended);
  };
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  const auto firstThreads = streamThreads();
  EXPECT_EQ(firstThreads.first.size(), 4u);
  EXPECT_EQ(std::set<std::thread::id>(firstThreads.first.begin(), firstThreads.first.end()).size(), 4u);
  EXPECT_EQ(firstThreads.second, 0);
  // Codes that name no listed channel stop nothing ("5" is index 0, not on the sample broadcast).
  const auto playing = core().MediaGraph();
  const std::u16string current = core().CurrentChannel();
  for (const char16_t* bad : {u"", u"99141", u"ab141", u"5"}) {
    core().ChangeChannel(bad, false);
    EXPECT_EQ(core().MediaGraph(), playing);
    EXPECT_EQ(core().CurrentChannel(), current);
    EXPECT_TRUE(core().StreamThreadsRunning());
    EXPECT_NE(view.StripText(StripKind::kStatus), kTextChanging);
  }
  const int tasks = CountTasks();
  const int fds = CountFds();
  const std::u16string codes[] = {u"13131", u"12121", u"14141"};
  std::vector<double> zaps;
  for (int i = 0; i < 20; ++i) {
    auto old = core().MediaGraph();
    const auto t0 = std::chrono::steady_clock::now();
    core().ChangeChannel(codes[i % 3], false);
    ASSERT_TRUE(WaitPlaying(old.get(), 60000)) << "change " << i << " did not play: " << State();
    zaps.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    EXPECT_EQ(core().CurrentChannel(), codes[i % 3]);
  }
  EXPECT_EQ(streamThreads(), firstThreads);
  EXPECT_TRUE(core().StreamThreadsRunning());
  // The threads and handles of the old graphs go, however long they take.
  EXPECT_TRUE(PumpUntil([&] { return CountTasks() <= tasks + 2; }, 60000)) << CountTasks() << " threads";
  EXPECT_TRUE(PumpUntil([&] { return CountFds() <= fds + 4; }, 60000)) << CountFds() << " descriptors";

  std::sort(zaps.begin(), zaps.end());
  const auto counts = core().Counts();
  std::printf(
      "zap ms: median %.0f worst %.0f; frames written %llu video %llu audio, lost %llu video %llu audio\n",
      zaps[zaps.size() / 2], zaps.back(), (unsigned long long)counts.videoWritten,
      (unsigned long long)counts.audioWritten, (unsigned long long)counts.videoLost,
      (unsigned long long)counts.audioLost);
}

TEST_F(LiveRoad, PullingTheStickStopsAndPluggingItBackPlaysAgain) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  auto old = core().MediaGraph();
  sim->remove();
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(StripKind::kStatus) == kTextRemoved; }, 60000));
  EXPECT_FALSE(core().StreamThreadsRunning());
  EXPECT_FALSE(core().State().tunerStarted);
  EXPECT_EQ(core().State().level, kLevelRemoved);
  EXPECT_EQ(view.levelBars, 0);
  EXPECT_EQ(view.StripText(StripKind::kChannel), u"");
  sim->insert();
  ASSERT_TRUE(WaitPlaying(old.get(), 60000)) << "no picture after the stick came back";
  EXPECT_TRUE(core().State().tunerStarted);
}

TEST_F(LiveRoad, ABuildThatCannotTuneTakesTheCloseReportOnce) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  const std::u16string good = core().CurrentChannel();
  core().SetCurrentChannel(u"99141");  // no such channel index
  core().PlayUrl(u"x-dmb://nosuch");
  ASSERT_TRUE(PumpUntil(
      [&] {
        const auto s = core().State();
        return s.graphCloseReports > 0 && !s.opening && view.StripText(StripKind::kStatus) == kTextNoSignal;
      },
      60000));
  const auto failed = core().State();
  EXPECT_EQ(failed.graphCloseReports, 1u);
  EXPECT_EQ(core().MediaGraph(), nullptr);
  EXPECT_FALSE(view.playing);
  EXPECT_FALSE(core().StreamThreadsRunning());
  EXPECT_EQ(failed.filterState, FilterState::kStopped);
  // The next change tries again.
  core().ChangeChannel(good, false);
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
}

// A stick that answers the change's select too late still tunes (the select goes out once more); one
// that answers it with an error fails the change at once, closed once, with the no-signal text.
TEST_F(LiveRoad, ASlowSelectStillChangesAndAWrongOneFailsAtOnce) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  const std::u16string codes[] = {u"13131", u"12121"};
  struct Case {
    const char* fault;
    bool plays;
    std::size_t selects;
  } cases[] = {{"delay cmd=5 count=1 ms=1500", true, 2}, {"wrongcode cmd=5 count=1", false, 1}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.fault);
    sim->clear_log();
    sim->arm_fault(c.fault);
    const auto closes = core().State().graphCloseReports;
    auto old = core().MediaGraph();
    core().ChangeChannel(codes[i], false);
    if (c.plays) {
      ASSERT_TRUE(WaitPlaying(old.get(), 60000)) << State();
      EXPECT_EQ(core().CurrentChannel(), codes[i]);
      EXPECT_EQ(core().State().graphCloseReports, closes);
    } else {
      ASSERT_TRUE(PumpUntil(
          [&] {
            const auto s = core().State();
            return s.graphCloseReports > closes && !s.opening &&
                   view.StripText(StripKind::kStatus) == kTextNoSignal;
          },
          60000))
          << State();
      EXPECT_EQ(core().State().graphCloseReports, closes + 1);
    }
    std::size_t selects = 0;
    for (const auto& r : sim->log()) selects += r.code == 5;
    EXPECT_EQ(selects, c.selects);
  }
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
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  // Six flashes and beeps: the first second is left out, four offsets are needed.
  EXPECT_TRUE(PumpUntil([&] { return probe.Flashes() >= 6 && probe.Onsets() >= 6; }, 60000));
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
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  auto first = core().MediaGraph();
  core().ChangeChannel(u"13131", false);
  ASSERT_TRUE(PumpUntil([&] { return core().State().opening; }, 60000));
  // Queued while the open step runs: it waits as the pending name and opens next.
  core().SetCurrentChannel(u"12121");
  core().PlayUrl(u"x-dmb://later");
  EXPECT_EQ(tevalo::panels::Playlist().Count(), 0);  // channels are never listed
  // (The station's own name may replace the strip's text once it is decoded.)
  ASSERT_TRUE(PumpUntil(
      [&] {
        auto g = core().MediaGraph();
        return view.Shown(u"チャンネル : LATER") && !core().State().opening && g && g != first &&
               g->GetFrameRate() > 0;
      },
      60000))
      << State();
  EXPECT_EQ(core().CurrentChannel(), u"12121");
}

// Closing waits for the start-up thread, which never waits for the GUI thread: it runs no other
// GUI event, and it does not wait out acknowledgements from a filter it told to quit. The times are
// printed; the bound only catches a hang.
TEST_F(LiveRoad, ClosingWhileMediaOpensDoesNotHang) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(PumpUntil([&] { return core().State().opening; }, 60000));
  CloseWithoutHang("an open");
  EXPECT_FALSE(core().StreamThreadsRunning());
  EXPECT_EQ(core().MediaGraph(), nullptr);
}

TEST_F(LiveRoad, ClosingDuringAFailedLiveBuildDoesNotHang) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  core().SetCurrentChannel(u"99141");  // no such channel index: the build fails
  core().PlayUrl(u"x-dmb://nosuch");
  ASSERT_TRUE(PumpUntil([&] { return core().State().opening; }, 60000));
  CloseWithoutHang("a failed build");
  EXPECT_FALSE(core().StreamThreadsRunning());
  EXPECT_LE(core().State().graphCloseReports, 1u);
}

TEST_F(LiveRoad, ClosingWhileTheOldGraphStopsDoesNotHang) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  // The open step stops the playing graph first, on the start-up thread (the filter's stop report
  // comes from there), then builds the next one.
  core().SetCurrentChannel(u"13131");
  core().PlayUrl(u"x-dmb://ch13");
  ASSERT_TRUE(PumpUntil([&] { return core().State().opening; }, 60000));
  CloseWithoutHang("a stop");
  EXPECT_FALSE(core().StreamThreadsRunning());
}

// The core driven through its methods: what it shows arrives on the GUI thread, in the order of
// the operations, with the state after each step.
TEST_F(LiveRoad, EventsArriveOnTheGuiThreadInOrder) {
  Start(SampleChannels());
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000));
  ASSERT_TRUE(PumpUntil([&] { return view.state.streamFormatsKnown; }, 60000)) << State();
  EXPECT_EQ(view.offGuiThread, 0);
  const size_t searching = view.Find("animation 506");
  const size_t panel = view.Find("panel ", searching);
  const size_t changing = view.Find("animation 507", panel);
  const size_t bars = view.Find("bars 0", changing);  // the filter's open report
  const size_t video = view.Find("video on", bars);
  const size_t strip = view.Find("strip 1 チャンネル : ", video);
  const size_t off = view.Find("animation off", strip);
  EXPECT_NE(searching, std::string::npos);
  EXPECT_NE(panel, std::string::npos);
  EXPECT_NE(changing, std::string::npos);
  EXPECT_NE(bars, std::string::npos);
  EXPECT_NE(video, std::string::npos);
  EXPECT_NE(strip, std::string::npos);
  EXPECT_NE(off, std::string::npos) << view.Dump();
  // The last state shown is the core's.
  EXPECT_EQ(view.state.sourceMode, SourceMode::kLive);
  EXPECT_EQ(view.state.filterState, FilterState::kRunning);
  EXPECT_EQ(view.state.playState, PlayState::kPlaying);
  EXPECT_EQ(view.state.currentChannel, core().CurrentChannel());
  EXPECT_FALSE(view.state.opening);
  // A change: its texts come in order, the old channel's strip is emptied first.
  const size_t before = view.events.size();
  auto old = core().MediaGraph();
  core().ChangeChannel(u"13131", false);
  ASSERT_TRUE(WaitPlaying(old.get(), 60000)) << State();
  const size_t cleared = view.Find("clear 1", before);
  const size_t status = view.Find("strip 4 チャンネル変更中", cleared);
  const size_t again = view.Find("video on", status);
  EXPECT_NE(cleared, std::string::npos);
  EXPECT_NE(status, std::string::npos);
  EXPECT_NE(again, std::string::npos);
  EXPECT_EQ(view.offGuiThread, 0);
}

// A recording of the live channel: the file named in the settings, the recorder's start and stop
// over the channel, and the stop of a channel change (the filter's code 4 follows) without asking.
TEST_F(LiveRoad, RecordsTheLiveChannelUntilTheChannelChanges) {
  ASSERT_NO_FATAL_FAILURE(PlayAndRecord());
  const std::u16string path = core().RecordingPath();
  EXPECT_EQ(tevalo::profile::ReadString(tevalo::text::ToUtf16(config), u"RECControl", u"FileName", u""),
            path);
  EXPECT_EQ(path.rfind(tevalo::text::ToUtf16(Env("XDG_RUNTIME_DIR") + "/rec/"), 0), 0u);
  EXPECT_TRUE(core().Timers().IsArmed(TimerId::kRecordingClock));
  const std::string file = tevalo::text::ToUtf8(path);
  ASSERT_TRUE(PumpUntil(
      [&] {
        std::error_code ec;
        return std::filesystem::file_size(file, ec) > 100000 && !ec;
      },
      20000));
  // The filter's word that records are being skipped, then written again, reaches the view.
  for (uint32_t writing : {0u, 1u}) {
    tevalo::win::COPYDATASTRUCT report{COPYDATA_RECORD_WRITING, writing, nullptr};
    tevalo::win::SendMessageW(controller->window->hwnd(), tevalo::win::WM_COPYDATA, 0,
                              reinterpret_cast<tevalo::win::LPARAM>(&report));
  }
  ASSERT_TRUE(PumpUntil([&] { return view.Find("records written") != std::string::npos; }, 60000));
  EXPECT_LT(view.Find("records not written"), view.Find("records written"));
  auto old = core().MediaGraph();
  core().ChangeChannel(u"13131", false);
  EXPECT_FALSE(core().IsRecording());
  ASSERT_TRUE(WaitPlaying(old.get(), 60000)) << State();
  EXPECT_LT(view.Find("recording on"), view.Find("recording off"));
  EXPECT_NE(view.Find("recording off"), std::string::npos);
  EXPECT_FALSE(core().Timers().IsArmed(TimerId::kRecordingClock));
}

// A write that fails on the disk (the file size limit stands in for a full file system): the
// recorder's word reaches the view once when records stop reaching the file and once when they do
// again, and the file goes on from where it stopped.
TEST_F(LiveRoad, AFailingWriteIsShownOnceAndItsEndOnce) {
  ASSERT_NO_FATAL_FAILURE(PlayAndRecord());
  const std::string file = tevalo::text::ToUtf8(core().RecordingPath());
  auto size = [&] {
    std::error_code ec;
    const auto n = std::filesystem::file_size(file, ec);
    return ec ? 0 : n;
  };
  ASSERT_TRUE(PumpUntil([&] { return size() > 50000; }, 60000));

  // Writes past the limit fail with EFBIG instead of raising SIGXFSZ; this test has its own process.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = size();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool stopped =
      PumpUntil([&] { return view.Find("records not written") != std::string::npos; }, 60000);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  ASSERT_TRUE(stopped) << view.Dump();
  const auto heldAt = size();

  ASSERT_TRUE(PumpUntil([&] { return view.Find("records written") != std::string::npos; }, 60000))
      << view.Dump();
  ASSERT_TRUE(PumpUntil([&] { return size() > heldAt + 50000; }, 60000));
  EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "records not written"), 1);
  EXPECT_EQ(std::count(view.events.begin(), view.events.end(), "records written"), 1);
  EXPECT_LT(view.Find("records not written"), view.Find("records written"));
  EXPECT_TRUE(core().IsRecording());
  EXPECT_EQ(view.offGuiThread, 0);
}

TEST_F(LiveRoad, ConnectionMessagesCheckTheSenderAndTheSourceMode) {
  config = WriteInstallation();
  CPlayerCore::Options o;
  o.configPath = tevalo::text::ToUtf16(config);
  controller = std::make_unique<LiveCore>(view, o, false);
  std::vector<std::u16string> iepg;
  core().GetHooks().readIepgFile = [&](const std::u16string& p) { iepg.push_back(p); };
  CWindowAdapter& adapter = controller->adapter;
  const uint32_t own = static_cast<uint32_t>(getpid());
  const uint32_t foreign = own + 1;
  // 2, 3 and 4 from another process change nothing; neither does short connect data.
  auto open = EncodeFilterConnectData(foreign, std::u16string_view(u"x-dmb://14141"));
  tevalo::win::COPYDATASTRUCT cds{COPYDATA_FILTER_OPEN, kFilterConnectDataBytes, open.data()};
  EXPECT_EQ(adapter.OnCopyData(&cds), 0);
  for (uint32_t code : {COPYDATA_FILTER_RUN, COPYDATA_FILTER_STOP}) {
    tevalo::win::COPYDATASTRUCT c{code, foreign, nullptr};
    EXPECT_EQ(adapter.OnCopyData(&c), 0) << code;
  }
  auto mine = EncodeFilterConnectData(own, std::u16string_view(u"x-dmb://14141"));
  tevalo::win::COPYDATASTRUCT shortOpen{COPYDATA_FILTER_OPEN, kFilterConnectDataBytes - 1, mine.data()};
  EXPECT_EQ(adapter.OnCopyData(&shortOpen), 0);
  PumpFor(50);
  EXPECT_EQ(view.levelBars, -1);
  EXPECT_EQ(core().State().filterState, FilterState::kStopped);
  tevalo::win::COPYDATASTRUCT run{COPYDATA_FILTER_RUN, own, nullptr};
  EXPECT_EQ(adapter.OnCopyData(&run), 1);
  EXPECT_EQ(core().State().filterState, FilterState::kRunning);

  // Code 16 hands the path to the iEPG reader.
  const std::u16string path = u"/tmp/番組.pl";
  tevalo::win::COPYDATASTRUCT file{COPYDATA_IEPG_FILE, uint32_t(path.size() * 2),
                                   const_cast<char16_t*>(path.data())};
  adapter.OnCopyData(&file);
  ASSERT_EQ(iepg.size(), 1u);
  EXPECT_EQ(iepg[0], path);

  // Opening a recording sets source mode 3 and starts no stream thread; code 10 then does nothing.
  EXPECT_EQ(core().OpenMedia(u"/tmp/a.REC"), 1);
  EXPECT_EQ(core().State().sourceMode, SourceMode::kRecording);
  EXPECT_FALSE(core().StreamThreadsRunning());
  tevalo::win::COPYDATASTRUCT toggle{COPYDATA_RECORD_TOGGLE, 0, nullptr};
  EXPECT_EQ(adapter.OnCopyData(&toggle), 1);
  EXPECT_FALSE(core().IsRecording());

  // Code 4 from this process: the channel is closed and nothing is open.
  tevalo::win::COPYDATASTRUCT stop{COPYDATA_FILTER_STOP, own, nullptr};
  EXPECT_EQ(adapter.OnCopyData(&stop), 1);
  EXPECT_EQ(core().State().filterState, FilterState::kStopped);
  EXPECT_EQ(core().State().sourceMode, SourceMode::kNone);

  // A device message of another kind changes nothing, and a later one is still handled.
  EXPECT_EQ(core().OnDeviceChange(0x8000, 0), 0);
  EXPECT_EQ(core().OnDeviceChange(0x8000, 0), 0);
  PumpFor(50);
  EXPECT_EQ(view.offGuiThread, 0);
}

TEST_F(LiveRoad, AQuestionHeldOpenStallsNeitherPicturesNorRecording) {
  // The box stays up, its own event loop running as a modal box's does, until pictures and the
  // recording have moved on (or the generous bound passes).
  struct HeldPrompter : IPrompter {
    CHeadlessVideoOutput* video = nullptr;
    std::string file;
    std::vector<Prompt> asked;
    bool movedOnWhileHeld = false;
    static uintmax_t Size(const std::string& path) {
      std::error_code ec;
      const uintmax_t n = std::filesystem::file_size(path, ec);
      return ec ? 0 : n;
    }
    bool Ask(const Prompt& prompt) override {
      asked.push_back(prompt);
      const uint64_t pictures = video->Count();
      const uintmax_t bytes = Size(file);
      movedOnWhileHeld =
          PumpUntil([&] { return video->Count() >= pictures + 30 && Size(file) >= bytes + 100000; }, 60000);
      return true;
    }
  } held;
  held.video = &video;
  prompter = &held;
  ASSERT_NO_FATAL_FAILURE(PlayAndRecord());
  held.file = tevalo::text::ToUtf8(core().RecordingPath());
  ASSERT_TRUE(PumpUntil([&] { return HeldPrompter::Size(held.file) > 0; }, 20000));
  // A recording chosen for playback while recording: the box says no, and nothing changes.
  const auto playing = core().MediaGraph();
  core().GetHooks().chooseRecording = [] { return std::optional<std::u16string>(u"/nonexistent/x.rec"); };
  core().OpenRecordingFiles();
  ASSERT_EQ(held.asked.size(), 1u);
  EXPECT_EQ(held.asked[0].text, kTextNoChangeWhileRecording);
  EXPECT_TRUE(held.movedOnWhileHeld) << State();
  EXPECT_TRUE(core().IsRecording());
  EXPECT_EQ(core().MediaGraph(), playing);
  core().StopRecording(true);
}

TEST_F(LiveRoad, TheDualMonoToggleSwitchesTheToneHeard) {
  // The latest sound of the audio stage, shared with the tap, which the graph may call until the
  // fixture closes the core.
  struct Heard {
    std::mutex lock;
    std::vector<int16_t> recent;  // stereo, interleaved
    int rate = 0;
  };
  constexpr size_t kWindow = 4096;
  auto heard = std::make_shared<Heard>();
  Start({"27=" + Fixture("dualmono/stream.ts") + ",level=3"},
        [heard](const int16_t* s, size_t frames, int channels, int rate, int64_t) {
          if (channels != 2) return;
          std::lock_guard lock(heard->lock);
          heard->recent.insert(heard->recent.end(), s, s + frames * 2);
          if (heard->recent.size() > 2 * kWindow)
            heard->recent.erase(heard->recent.begin(), heard->recent.end() - 2 * kWindow);
          heard->rate = rate;
        });
  // Waits until the latest window holds the left and right tones, each the clear most of its channel.
  auto hears = [&](double left, double right) {
    return PumpUntil(
        [&] {
          std::lock_guard lock(heard->lock);
          if (heard->recent.size() < 2 * kWindow || heard->rate <= 0) return false;
          const int16_t* s = heard->recent.data();
          return testes::ToneShare(s, kWindow, 0, left, heard->rate) > 0.8 &&
                 testes::ToneShare(s, kWindow, 1, right, heard->rate) > 0.8;
        },
        60000);
  };
  core().StartTuner();
  ASSERT_TRUE(WaitPlaying(nullptr, 60000)) << State();
  ASSERT_TRUE(PumpUntil([&] { return core().DualMonoState() == 1; }, 60000)) << State();
  EXPECT_TRUE(hears(440, 440)) << "main on both sides";
  core().ToggleDualMonoAudio();
  EXPECT_EQ(core().DualMonoState(), 2);
  EXPECT_TRUE(hears(1000, 1000)) << "sub on both sides";
  core().ToggleDualMonoAudio();
  EXPECT_EQ(core().DualMonoState(), 1);
  EXPECT_TRUE(hears(440, 440)) << "main again";
}

}  // namespace
}  // namespace tevalo::shell::test
