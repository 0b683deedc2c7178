#include "player/shell/main_timers.h"

#include <gtest/gtest.h>

#include <vector>

namespace tevalo::shell {
namespace {

class FakeHost final : public IMainTimerHost {
 public:
  CoreState state;
  bool tuner = true, tunerOpen = true, graph = true, normal = true, stripEnabled = true, panelReady = true;
  bool paused = false, space = true, positionOk = true;
  int signal = 5, frameRate = 30;
  int64_t position = 0, duration = 0;

  std::vector<int> barsShown;
  std::vector<bool> placed;  // hide flags
  std::vector<int> locksCleared;
  std::vector<std::u16string> clock, positions, channelsChanged;
  int toggles = 0, animations = 0, hides = 0, pings = 0, unlocks = 0, interrupted = 0, stops = 0,
      repaints = 0;
  bool stripShown = true;

  CoreState State() const override { return state; }
  bool HasTuner() const override { return tuner; }
  bool TunerOpen() const override { return tunerOpen; }
  int ReadSignal() override { return signal; }
  bool HasGraph() const override { return graph; }
  int FrameRate() const override { return frameRate; }
  bool Position(int64_t* t) override {
    *t = position;
    return positionOk;
  }
  int64_t Duration() override { return duration; }
  bool NormalLayout() const override { return normal; }
  bool ProgrammeStripEnabled() const override { return stripEnabled; }
  bool PlaybackPanelReady() const override { return panelReady; }
  bool TimeshiftPaused() const override { return paused; }
  bool RecordingFolderHasSpace() override { return space; }
  void SetLevel(int level, int bars) override {
    state.level = level;
    state.levelBars = bars;
  }
  void ShowLevelBars(int bars) override { barsShown.push_back(bars); }
  // As the core keeps it: the flag holds only over a paused graph.
  void SetTimeshiftPaused(bool p) override { paused = p && state.playState == PlayState::kPaused; }
  void TogglePause() override {
    ++toggles;
    if (refusePause) return;  // an open under way
    state.playState = state.playState == PlayState::kPaused ? PlayState::kPlaying : PlayState::kPaused;
  }
  bool refusePause = false;
  void PlaceVideo(bool hide) override { placed.push_back(hide); }
  void RepaintFrame() override { ++repaints; }
  void ShowAnimation(Animation id) override { animations += id == Animation::kNoSignal; }
  void HideAnimation() override { ++hides; }
  void ShowProgrammeStrip(bool shown) override { stripShown = shown; }
  void SetChannelLock(int index, int value) override {
    if (value == 0) locksCleared.push_back(index);
  }
  void ShowRecordingClock(const std::u16string& t) override { clock.push_back(t); }
  void ShowPlaybackPosition(int64_t, const std::u16string& t) override { positions.push_back(t); }
  void WritePing() override { ++pings; }
  void SetRecordingInterrupted() override { ++interrupted; }
  void PostSessionUnlock() override { ++unlocks; }
  void StopRecordingSilently() override {
    ++stops;
    state.recording = false;
  }
  void ChangeChannel(const std::u16string& code) override { channelsChanged.push_back(code); }
  void StopReception() override { ++receptionStops; }
  void StartAreaSearch() override { ++areaSearches; }
  int receptionStops = 0, areaSearches = 0;
};

class MainTimersTest : public ::testing::Test {
 protected:
  MainTimersTest() {
    host.state.sourceMode = SourceMode::kLive;
    host.state.playState = PlayState::kPlaying;
    host.state.tunerStarted = true;
    host.state.currentChannel = u"13141";
  }
  CManualTimerClock clock;
  CTimerTable timers{clock};
  FakeHost host;
  CMainTimers main{timers, host};
};

TEST(MainTimerText, LevelBarsAndTexts) {
  const std::pair<int, int> bars[] = {{10, 4}, {11, 3}, {30, 3}, {31, 2}, {50, 2}, {51, 1},
                                      {90, 1}, {91, 0}, {-1, 0}, {0, 4},  {256, 0}};
  for (auto [signal, expected] : bars) EXPECT_EQ(LevelBarsFor(signal), expected) << signal;
  EXPECT_EQ(FormatPlaybackTime(36000 + 600 * 2 + 35, 72000 + 599), u"01:02:03 / 02:00:59");
  EXPECT_EQ(FormatPlaybackTime(-5, 0), u"00:00:00 / 00:00:00");
  EXPECT_EQ(FormatClock(3600000 + 61000), u"01:01:01");
  EXPECT_EQ(ChannelIndexOfCurrent(u"13141"), 13);
  EXPECT_EQ(ChannelIndexOfCurrent(u"No-Channel"), -1);
  EXPECT_EQ(ChannelIndexOfCurrent(u"7"), -1);
}

TEST_F(MainTimersTest, LevelBarsRedrawOnlyOnAChange) {
  timers.SetTimer(TimerId::kLevel, 800);
  clock.Advance(800);
  host.signal = 8;
  clock.Advance(800);
  host.signal = 40;
  clock.Advance(800);
  EXPECT_EQ(host.barsShown, (std::vector<int>{4, 2}));
  EXPECT_EQ(host.state.levelBars, 2);
  host.tunerOpen = false;
  clock.Advance(800);
  EXPECT_FALSE(timers.IsArmed(TimerId::kLevel));
}

TEST_F(MainTimersTest, FiveSecondsWithoutSignalPauseAndSignalBackResumes) {
  timers.SetTimer(TimerId::kLevel, 800);
  host.signal = -1;
  clock.Advance(800);
  ASSERT_TRUE(main.NoSignalArmed());
  EXPECT_EQ(timers.Period(TimerId::kNoSignal), 5000);
  clock.Advance(4000);
  EXPECT_EQ(host.toggles, 0);
  clock.Advance(1000);  // 5 s after the first silent tick
  EXPECT_EQ(host.toggles, 1);
  EXPECT_TRUE(host.paused);
  EXPECT_EQ(host.animations, 1);
  EXPECT_EQ(host.locksCleared, std::vector<int>{13});
  EXPECT_EQ(host.placed, std::vector<bool>{true});
  EXPECT_FALSE(host.stripShown);
  EXPECT_TRUE(main.NoSignalShown());

  host.signal = 20;
  clock.Advance(800);
  EXPECT_EQ(host.toggles, 2);  // resumed
  EXPECT_FALSE(host.paused);
  EXPECT_FALSE(main.NoSignalShown());
  EXPECT_EQ(host.placed.back(), false);
  EXPECT_TRUE(host.stripShown);
  EXPECT_EQ(host.hides, 1);
}

TEST_F(MainTimersTest, SignalBackBeforeFiveSecondsOnlyDisarms) {
  timers.SetTimer(TimerId::kLevel, 800);
  host.signal = 95;
  clock.Advance(800);
  host.signal = 5;
  clock.Advance(800);
  EXPECT_FALSE(timers.IsArmed(TimerId::kNoSignal));
  clock.Advance(8000);
  EXPECT_EQ(host.toggles, 0);
  EXPECT_EQ(host.animations, 0);
}

// The signal coming back undoes the no-signal pause only: a timeshift pause the user made while the
// wait was armed stays, and a no-signal pause that was refused leaves a playing graph playing.
TEST_F(MainTimersTest, SignalBackResumesOnlyTheNoSignalPause) {
  struct Case {
    const char* what;
    bool userPausesWhileArmed;
    bool noSignalPauseRefused;
    int silentMs;  // zero bars from the first tick on
    PlayState after;
    int toggles;
  };
  const Case cases[] = {
      {"user pause while armed", true, false, 800, PlayState::kPaused, 0},
      {"no-signal pause refused", false, true, 800 + 5000, PlayState::kPlaying, 1},
      {"no-signal pause", false, false, 800 + 5000, PlayState::kPlaying, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CManualTimerClock clock;
    CTimerTable timers{clock};
    FakeHost host;
    host.state.sourceMode = SourceMode::kLive;
    host.state.playState = PlayState::kPlaying;
    host.state.currentChannel = u"13141";
    CMainTimers main{timers, host};
    timers.SetTimer(TimerId::kLevel, 800);
    host.signal = -1;
    host.refusePause = c.noSignalPauseRefused;
    clock.Advance(c.silentMs);
    ASSERT_TRUE(main.NoSignalArmed());
    if (c.userPausesWhileArmed) {
      host.state.playState = PlayState::kPaused;
      host.paused = true;
    }
    host.refusePause = false;
    host.signal = 20;
    clock.Advance(800);
    EXPECT_EQ(host.state.playState, c.after);
    EXPECT_EQ(host.paused, c.after == PlayState::kPaused);
    EXPECT_EQ(host.toggles, c.toggles);
    EXPECT_FALSE(main.NoSignalArmed());
  }
}

TEST_F(MainTimersTest, NoLockMarkIsClearedWithoutAChannelIndex) {
  host.state.currentChannel = u"No-Channel";
  timers.SetTimer(TimerId::kLevel, 800);
  host.signal = -1;
  clock.Advance(800 + 5000);
  EXPECT_EQ(host.animations, 1);
  EXPECT_TRUE(host.locksCleared.empty());
}

TEST_F(MainTimersTest, PausedTimeLengthensTheNoSignalWait) {
  timers.SetTimer(TimerId::kLevel, 800);
  main.StartPauseAccumulation();
  clock.Advance(800);   // first tick: stores now
  clock.Advance(1600);  // two more ticks: (800 + 200) each
  EXPECT_EQ(main.AccumulatedPauseMs(), 2000u);
  host.signal = -1;
  clock.Advance(800);
  EXPECT_EQ(timers.Period(TimerId::kNoSignal), 7000);
}

TEST_F(MainTimersTest, RecordingClockStandsStillWithoutSignal) {
  host.state.recording = true;
  host.state.levelBars = 3;
  main.OnRecordingChanged(true);
  timers.SetTimer(TimerId::kRecordingClock, 1000);
  clock.Advance(3000);
  EXPECT_EQ(host.clock.back(), u"00:00:03");
  host.state.levelBars = 0;
  clock.Advance(3000);
  EXPECT_EQ(host.clock.back(), u"00:00:03");
  host.state.levelBars = 2;
  clock.Advance(2000);
  EXPECT_EQ(host.clock.back(), u"00:00:05");
  host.state.recording = false;
  clock.Advance(1000);
  EXPECT_EQ(host.clock.back(), u"00:00:00");
  EXPECT_FALSE(timers.IsArmed(TimerId::kRecordingClock));
}

TEST_F(MainTimersTest, PlaybackPositionText) {
  host.state.sourceMode = SourceMode::kRecording;
  host.position = 6005;
  host.duration = 36000;
  timers.SetTimer(TimerId::kPlayback, 100);
  clock.Advance(100);
  EXPECT_EQ(host.positions, std::vector<std::u16string>{u"00:10:00 / 01:00:00"});
  EXPECT_EQ(timers.Period(TimerId::kPlayback), 300);
  host.positionOk = false;
  clock.Advance(300);
  EXPECT_EQ(host.positions.size(), 1u);
  EXPECT_EQ(timers.Period(TimerId::kPlayback), 300);  // tries again
  host.graph = false;
  clock.Advance(300);
  EXPECT_FALSE(timers.IsArmed(TimerId::kPlayback));
}

TEST_F(MainTimersTest, PingOnlyWhenNotBusy) {
  timers.SetTimer(TimerId::kSearchPing, 1);
  clock.Advance(1);
  host.state.busy = true;
  timers.SetTimer(TimerId::kSearchPing, 1);
  clock.Advance(1);
  EXPECT_EQ(host.pings, 1);
  EXPECT_FALSE(timers.IsArmed(TimerId::kSearchPing));
}

TEST_F(MainTimersTest, WatchdogRebuildsAStillGraphEveryThreeSecondsAfterTen) {
  host.frameRate = 0;
  host.state.recording = true;
  timers.SetTimer(TimerId::kWatchdog, 10000);
  clock.Advance(9999);
  EXPECT_EQ(host.unlocks, 0);
  clock.Advance(1 + 3000);
  EXPECT_EQ(host.unlocks, 1);
  EXPECT_EQ(host.interrupted, 1);
  clock.Advance(3000);
  EXPECT_EQ(host.unlocks, 2);

  struct Gate {
    const char* name;
    void (*set)(FakeHost&);
  } gates[] = {
      {"searching", [](FakeHost& h) { h.state.searching = true; }},
      {"opening", [](FakeHost& h) { h.state.opening = true; }},
      {"no tuner start", [](FakeHost& h) { h.state.tunerStarted = false; }},
      {"other source", [](FakeHost& h) { h.state.sourceMode = SourceMode::kOther; }},
      {"paused", [](FakeHost& h) { h.state.playState = PlayState::kPaused; }},
      {"no graph", [](FakeHost& h) { h.graph = false; }},
      {"pictures flow", [](FakeHost& h) { h.frameRate = 15; }},
  };
  for (const auto& g : gates) {
    FakeHost saved = host;
    g.set(host);
    int before = host.unlocks;
    clock.Advance(3000);
    EXPECT_EQ(host.unlocks, before) << g.name;
    host = saved;
  }
}

TEST_F(MainTimersTest, UnlockStopsTheRecordingAndRetunes) {
  host.state.streamFormatsKnown = true;
  host.state.recording = true;
  main.OnSessionUnlock();
  EXPECT_EQ(host.stops, 1);
  EXPECT_EQ(host.channelsChanged, std::vector<std::u16string>{u"13141"});

  host.state.recording = true;
  host.space = false;  // the free-space test fails: nothing more
  main.OnSessionUnlock();
  EXPECT_EQ(host.stops, 1);
  EXPECT_EQ(host.channelsChanged.size(), 1u);

  host.state.recording = false;
  host.state.streamFormatsKnown = false;
  main.OnSessionUnlock();
  EXPECT_EQ(host.channelsChanged.size(), 1u);
}

TEST_F(MainTimersTest, SuspendStopsLiveReceptionAndResumeSearches) {
  main.OnSuspend();
  EXPECT_EQ(host.receptionStops, 1);
  host.state.sourceMode = SourceMode::kRecording;
  main.OnSuspend();
  EXPECT_EQ(host.receptionStops, 1);
  main.OnResume();
  EXPECT_EQ(host.areaSearches, 1);
}

}  // namespace
}  // namespace tevalo::shell
