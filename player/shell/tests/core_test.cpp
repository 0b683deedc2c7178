// The player core on a fake graph and a clock the test moves: no GStreamer, no tuner. Opening a
// recording, the end of a file, a live build whose channel cannot connect, and closing while the
// start-up thread's build reports to the window.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ipc/filter_protocol.h"
#include "ipc/shared_memory_ipc.h"
#include "player/pipeline/graph/fake_media_graph.h"
#include "player/shell/main_timer_host.h"
#include "player/shell/player_core.h"
#include "player/shell/seek_thumb.h"
#include "player/shell/window_adapter.h"
#include "recording_view.h"

namespace tevalo::shell::test {
namespace {

struct QtApp : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "shell_core_test";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
  }
  void TearDown() override { delete app; }
  QCoreApplication* app = nullptr;
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class CoreOnFakeGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    CPlayerCore::Options o;
    o.clock = &clock;
    o.prompter = &prompter;
    o.configPath = u"";
    o.makeGraph = [this](IMediaGraphOwner* owner, IVideoOutput* video) {
      auto g = std::make_shared<CFakeMediaGraph>(owner, video, script);
      std::lock_guard lock(m);
      graphs.push_back(g);
      return g;
    };
    core = std::make_unique<CPlayerCore>(view, o);
    adapter = std::make_unique<CWindowAdapter>(*core);
    ASSERT_TRUE(core->StartStartupThread());
    window = RegisterPlayerWindow(*adapter);
    core->AttachWindow(window->hwnd());
  }
  void TearDown() override {
    core->Shutdown();
    window.reset();
    EXPECT_EQ(view.offGuiThread, 0);
  }
  std::shared_ptr<CFakeMediaGraph> Graph(size_t i) {
    std::lock_guard lock(m);
    return i < graphs.size() ? graphs[i] : nullptr;
  }
  // Queues a name and lets timer 105 hand it to the start-up thread.
  void Open(const std::u16string& name) {
    core->PlayUrl(name);
    ASSERT_EQ(core->Timers().Period(TimerId::kOpen), 100);
    clock.Advance(100);
    EXPECT_FALSE(core->Timers().IsArmed(TimerId::kOpen));
  }

  CManualTimerClock clock;
  CScriptedPrompter prompter;
  RecordingView view;
  CFakeMediaGraph::Script script;
  std::mutex m;
  std::vector<std::shared_ptr<CFakeMediaGraph>> graphs;
  std::unique_ptr<CPlayerCore> core;
  std::unique_ptr<CWindowAdapter> adapter;
  std::unique_ptr<win::Window> window;
};

TEST_F(CoreOnFakeGraph, ARecordingOpensOnTheStartupThreadRunsAndStopsAtItsEnd) {
  Open(u"/rec/news.rec");
  ASSERT_TRUE(PumpUntil([&] { return view.state.playState == PlayState::kPlaying && !view.state.opening; }));
  auto graph = Graph(0);
  ASSERT_TRUE(graph);
  EXPECT_EQ(graph->Calls(), (std::vector<std::string>{"Open", "Run", "SetVolume"}));
  EXPECT_TRUE(graph->Running());
  EXPECT_EQ(core->State().sourceMode, SourceMode::kRecording);
  EXPECT_FALSE(core->StreamThreadsRunning());
  // The timers the open armed, in the core's table.
  EXPECT_EQ(core->Timers().Period(TimerId::kPlayback), 100);
  EXPECT_EQ(core->Timers().Period(TimerId::kLevel), 800);
  EXPECT_EQ(core->Timers().Period(TimerId::kWatchdog), 10000);
  // What the view was shown, in order.
  const size_t video = view.Find("video on");
  const size_t strip = view.Find("strip 1 news.rec", video);  // the file by its name
  const size_t caption = view.Find("clear 8", strip);         // the open step's end
  EXPECT_NE(video, std::string::npos);
  EXPECT_NE(strip, std::string::npos);
  EXPECT_NE(caption, std::string::npos);

  // The end of the file: the graph's event reaches the GUI thread, which stops the playback.
  graph->ReachEnd();
  ASSERT_TRUE(PumpUntil([&] { return view.state.playState == PlayState::kStopped; }));
  EXPECT_FALSE(core->Timers().IsArmed(TimerId::kPlayback));
  EXPECT_FALSE(graph->HasGraph());
}

// The window's side of the timers, as far as these cases look at it.
struct TimerWindow final : IMainTimerWindow {
  std::vector<std::u16string> positions;
  int unlocks = 0;
  bool NormalLayout() const override { return true; }
  bool ProgrammeStripEnabled() const override { return true; }
  bool PlaybackPanelReady() const override { return true; }
  void TogglePause() override {}
  void PlaceVideo(bool) override {}
  void RepaintFrame() override {}
  void ShowProgrammeStrip(bool) override {}
  void ShowRecordingClock(const std::u16string&) override {}
  void ShowPlaybackPosition(int64_t, const std::u16string& text) override { positions.push_back(text); }
  void PostSessionUnlock() override { ++unlocks; }
};

TEST_F(CoreOnFakeGraph, TheWindowTimersReadTheCoresGraph) {
  TimerWindow window;
  CCoreTimerHost host(*core, view, window);
  CMainTimers timers(core->Timers(), host);
  Open(u"/rec/news.rec");
  ASSERT_TRUE(PumpUntil([&] { return view.state.playState == PlayState::kPlaying && !view.state.opening; }));
  Graph(0)->SetPositionReached(6005);
  clock.Advance(100);
  EXPECT_EQ(window.positions, std::vector<std::u16string>{u"00:10:00 / 00:01:00"});
  // The graph runs: pictures flow and the watchdog keeps still.
  clock.Advance(10000 + 3000);
  EXPECT_EQ(window.unlocks, 0);
}

TEST_F(CoreOnFakeGraph, TheSeekThumbSeeksOnlyARecordingWhoseGraphReportsItsPosition) {
  EXPECT_FALSE(SeekThumbTakable(*core));  // no graph yet
  EXPECT_FALSE(SeekToThumb(*core, 61, 346));
  Open(u"/rec/news.rec");
  ASSERT_TRUE(PumpUntil([&] { return view.state.playState == PlayState::kPlaying && !view.state.opening; }));
  EXPECT_TRUE(SeekThumbTakable(*core));
  // 61 of the 123 pixels of a 346-wide window: 61/123 of the 60 s recording.
  ASSERT_TRUE(SeekToThumb(*core, 61, 346));
  int position = 0;
  ASSERT_EQ(Graph(0)->GetPosition(&position), 1);
  EXPECT_EQ(position, 297);
  ASSERT_TRUE(SeekToThumb(*core, 500, 346));  // past the end: the end
  Graph(0)->GetPosition(&position);
  EXPECT_EQ(position, 600);
}

TEST_F(CoreOnFakeGraph, ALiveBuildWhoseChannelCannotConnectReportsTheCloseOnce) {
  // The filter's load reports itself as code 2 through the window, from the start-up thread; no
  // filter holds the channel's other end, so the player's end does not connect.
  std::atomic<intptr_t> openResult{-1};
  script.onLoad = [&](const std::u16string& url) {
    const auto data = EncodeFilterConnectData(static_cast<uint32_t>(getpid()), std::u16string_view(url));
    win::COPYDATASTRUCT cds{COPYDATA_FILTER_OPEN, kFilterConnectDataBytes, const_cast<uint8_t*>(data.data())};
    uintptr_t result = 0;
    win::SendMessageTimeoutW(win::FindWindowW(nullptr, kPlayerWindowTitle), win::WM_COPYDATA, 0,
                             reinterpret_cast<win::LPARAM>(&cds), win::SMTO_BLOCK, 60000, &result);
    openResult = static_cast<intptr_t>(result);
  };
  Open(u"x-dmb://ch14");
  ASSERT_TRUE(PumpUntil([&] { return view.state.graphCloseReports == 1 && !view.state.opening; }));
  EXPECT_EQ(openResult.load(), 1);  // handled
  EXPECT_EQ(core->MediaGraph(), nullptr);
  EXPECT_FALSE(core->Channel().HasChannel());
  EXPECT_FALSE(core->StreamThreadsRunning());
  EXPECT_EQ(view.StripText(StripKind::kStatus), kTextNoSignal);
  EXPECT_NE(view.Find("video off"), std::string::npos);
  EXPECT_EQ(view.Find("video on"), std::string::npos);
  EXPECT_EQ(core->State().filterState, FilterState::kStopped);
}

TEST_F(CoreOnFakeGraph, ClosingWhileTheBuildReportsToTheWindowNeitherWaitsForNorRunsTheEventLoop) {
  // The build reports code 2 once the GUI thread is inside the close, which waits for the
  // start-up thread: the report must be handled without the GUI thread.
  std::mutex gate;
  std::condition_variable cv;
  bool loading = false, closing = false;
  std::atomic<bool> handled{false};
  script.onLoad = [&](const std::u16string& url) {
    {
      std::unique_lock lock(gate);
      loading = true;
      cv.notify_all();
      cv.wait(lock, [&] { return closing; });
    }
    const auto data = EncodeFilterConnectData(static_cast<uint32_t>(getpid()), std::u16string_view(url));
    win::COPYDATASTRUCT cds{COPYDATA_FILTER_OPEN, kFilterConnectDataBytes, const_cast<uint8_t*>(data.data())};
    uintptr_t result = 0;
    handled =
        win::SendMessageTimeoutW(win::FindWindowW(nullptr, kPlayerWindowTitle), win::WM_COPYDATA, 0,
                                 reinterpret_cast<win::LPARAM>(&cds), win::SMTO_BLOCK, 60000, &result) != 0;
  };
  Open(u"x-dmb://ch14");
  {
    std::unique_lock lock(gate);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return loading; }));
    closing = true;
    cv.notify_all();
  }
  bool otherEvent = false;
  QObject context;
  QMetaObject::invokeMethod(
      &context, [&] { otherEvent = true; }, Qt::QueuedConnection);
  core->Shutdown();
  EXPECT_FALSE(otherEvent) << "closing ran the event loop";
  EXPECT_TRUE(handled) << "the build's report waited for the GUI thread";
  EXPECT_EQ(core->MediaGraph(), nullptr);
  EXPECT_TRUE(core->State().closing);
}

TEST_F(CoreOnFakeGraph, DualMonoTogglesWriteTheAudioModeOnlyAfterTheFiltersReport) {
  CSharedMemoryIpc filter(IpcRole::Filter, kIpcChannelName);
  ASSERT_TRUE(filter.Usable());
  ASSERT_TRUE(core->Channel().Connect());
  ASSERT_EQ(filter.Connect(), 1);
  std::mutex lock;
  std::vector<std::pair<int32_t, int32_t>> seen;  // type, argument
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    IpcIncoming msg;
    while (!stop)
      if (ReadIpcMessage(filter, msg, 20) == IpcReadResult::Message) {
        std::lock_guard g(lock);
        seen.emplace_back(msg.header.type, msg.argument);
      }
  });
  auto Seen = [&] {
    std::lock_guard g(lock);
    return seen;
  };

  core->ToggleDualMonoAudio();  // no dual-mono broadcast announced: nothing
  adapter->WindowProc(CWindowAdapter::DualMonoMessage(), 0, 1);
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(StripKind::kStatus) == u"多重音声放送中"; }));
  core->ToggleDualMonoAudio();
  ASSERT_TRUE(PumpUntil([&] { return Seen().size() == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(StripKind::kStatus) == u"サーブ音声モード選択"; }));
  core->ToggleDualMonoAudio();
  ASSERT_TRUE(PumpUntil([&] { return Seen().size() == 2; }));
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(StripKind::kStatus) == u"メイン音声モード選択"; }));
  stop = true;
  reader.join();
  EXPECT_EQ(Seen(), (std::vector<std::pair<int32_t, int32_t>>{{IPC_AUDIO_MODE, 2}, {IPC_AUDIO_MODE, 1}}));
  EXPECT_EQ(core->DualMonoState(), 1);
}

TEST_F(CoreOnFakeGraph, StopPlaybackFromTwoThreadsAtOnce) {
  // The start-up thread stops reception after a failed build while the GUI thread closes or changes.
  core->Channel().Connect();  // the player's end exists whether or not a filter holds the other
  std::atomic<int> ready{0};
  auto stopper = [&] {
    ++ready;
    while (ready < 2) std::this_thread::yield();
    for (int i = 0; i < 50; ++i) core->StopPlayback();
  };
  std::thread a(stopper), b(stopper);
  a.join();
  b.join();
  EXPECT_FALSE(core->StreamThreadsRunning());
  EXPECT_FALSE(core->Channel().HasChannel());
  EXPECT_FALSE(core->IsRecording());
}

TEST_F(CoreOnFakeGraph, ATunerThatWillNotOpenFailsTheTuneWithItsTextAndTheProgramStays) {
  // No stick in this test's device folder.
  EXPECT_EQ(core->TuneChannel(u"x-dmb://nhk"), 0);
  ASSERT_TRUE(PumpUntil([&] { return view.StripText(StripKind::kStatus) == kTextNoDevice; }));
  EXPECT_EQ(view.quits, 0);
  EXPECT_EQ(core->State().sourceMode, SourceMode::kNone);
}

}  // namespace
}  // namespace tevalo::shell::test
