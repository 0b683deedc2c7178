// The playback control on a fake graph: play and pause, stop, the 1200 s timeshift limit without
// a blocking wait, the timeshift refusals and a file chosen while recording.
#include <gtest/gtest.h>

#include "player/pipeline/graph/fake_media_graph.h"
#include "player/shell/playback_control.h"

namespace tevalo::shell {
namespace {

struct FakeHost : IPlaybackHost {
  PlaybackContext Context() const override { return context; }
  std::shared_ptr<IMediaGraph> Graph() const override { return graph; }
  void SetPlayState(PlayState s) override { context.playState = s; }
  void StartMedia() override {
    log.push_back("StartMedia");
    if (graph) {
      if (context.playState != PlayState::kPaused) graph->Open(u"x-dmb://14141");
      graph->Run();
    }
    context.playState = PlayState::kPlaying;
  }
  void StopFilePlayback() override {
    log.push_back("StopFilePlayback");
    graph->Stop();
    if (context.playState != PlayState::kPaused) context.playState = PlayState::kStopped;
  }
  void SetTimer(TimerId id, int ms) override { timers[id] = ms; }
  void KillTimer(TimerId id) override { timers.erase(id); }
  void ShowStatus(const std::u16string& text, int ticks) override {
    status.push_back(text);
    statusTicks = ticks;
  }
  bool Ask(const Prompt& p) override {
    boxes.push_back(p.text);
    return true;
  }
  void StartRecording() override {
    log.push_back("StartRecording");
    context.recording = recordingStarts;
  }
  void StopRecording(bool noPrompt) override {
    log.push_back(noPrompt ? "StopRecording quiet" : "StopRecording ask");
    context.recording = false;
  }
  bool RecordingSpaceOk() override { return space; }
  void ShowPlayButton(bool play) override { playButton = play; }
  void ShowTimeshiftPlayButton(bool shown) override { timeshiftButton = shown; }
  void AccumulatePausedTime(bool on) override { accumulating = on; }
  void RetuneCurrentRow() override { log.push_back("Retune"); }
  void RestoreWindow() override { log.push_back("Restore"); }
  void TogglePlaylist() override { log.push_back("Playlist"); }
  void ShowChannelPanel() override { log.push_back("ChannelPanel"); }
  std::optional<std::u16string> ChooseRecording() override { return chosen; }
  void HideCaptionAndProgrammeStrips() override { log.push_back("HideStrips"); }
  void PlayRecordingFile(const std::u16string& path) override { played.push_back(path); }

  bool Armed(TimerId id) const { return timers.count(id) != 0; }

  PlaybackContext context;
  std::shared_ptr<CFakeMediaGraph> graph;
  std::map<TimerId, int> timers;
  std::vector<std::u16string> status, boxes, played;
  std::vector<std::string> log;
  int statusTicks = 0;
  bool recordingStarts = true, space = true, playButton = true, timeshiftButton = false, accumulating = false;
  std::optional<std::u16string> chosen;
};

// A live channel playing on a built fake graph.
struct Live : FakeHost {
  Live() {
    graph = std::make_shared<CFakeMediaGraph>(nullptr, nullptr, CFakeMediaGraph::Script{});
    graph->Open(u"x-dmb://14141");
    graph->Run();
    context.sourceMode = SourceMode::kLive;
    context.playState = PlayState::kPlaying;
    context.formatsKnown = true;
  }
};

TEST(PlaybackControl, PlayPauseByState) {
  struct Case {
    const char* what;
    bool graph;
    PlayState state;
    bool stoppedByChange;
    PlayState after;
    bool started;  // StartMedia ran
  };
  const Case cases[] = {
      {"no medium", false, PlayState::kNone, false, PlayState::kNone, false},
      {"playing", true, PlayState::kPlaying, false, PlayState::kPaused, false},
      {"paused", true, PlayState::kPaused, false, PlayState::kPlaying, true},
      {"stopped", true, PlayState::kStopped, false, PlayState::kPlaying, true},
      {"stopped by a change", true, PlayState::kStopped, true, PlayState::kPlaying, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Live host;
    if (!c.graph) host.graph.reset();
    host.context.playState = c.state;
    CPlaybackControl control(host);
    if (c.stoppedByChange) control.OnStoppedByChange();
    EXPECT_EQ(control.ExecuteControl(1), 1);
    EXPECT_EQ(host.context.playState, c.after);
    EXPECT_EQ(!host.log.empty() && host.log[0] == "StartMedia", c.started);
    if (c.after == PlayState::kPaused) {
      EXPECT_TRUE(host.graph->Paused());
      EXPECT_EQ(host.timers[TimerId::kTimeshift], 1000);  // live: the limit counts
    }
  }
  // Busy, searching or an open queued: refused; a source without controls: nothing.
  Live busy;
  busy.context.busy = true;
  EXPECT_EQ(CPlaybackControl(busy).ExecuteControl(1), 0);
  Live queued;
  queued.context.openQueued = true;
  EXPECT_EQ(CPlaybackControl(queued).ExecuteControl(1), 0);
  EXPECT_TRUE(queued.graph->Running());
  Live other;
  other.context.sourceMode = SourceMode::kOther;
  EXPECT_EQ(CPlaybackControl(other).ExecuteControl(1), 1);
  EXPECT_TRUE(other.graph->Running());
}

TEST(PlaybackControl, StopWithoutAGraphOnlyStopsTheRecordingWithTheQuestion) {
  Live host;
  host.graph.reset();
  host.context.recording = true;
  CPlaybackControl control(host);
  EXPECT_EQ(control.ExecuteControl(3), 1);
  EXPECT_EQ(host.log, (std::vector<std::string>{"StopRecording ask"}));
  EXPECT_FALSE(control.StoppedByChange());

  // A recording file stopped: the next play request runs it again.
  Live file;
  file.context.sourceMode = SourceMode::kRecording;
  CPlaybackControl fileControl(file);
  EXPECT_EQ(fileControl.ExecuteControl(3), 1);
  EXPECT_TRUE(fileControl.StoppedByChange());
  EXPECT_FALSE(file.graph->HasGraph());
  EXPECT_EQ(fileControl.ExecuteControl(1), 1);
  EXPECT_EQ(file.log.back(), "StartMedia");
  EXPECT_TRUE(file.graph->Running());
}

TEST(PlaybackControl, TheLimitResumesWithItsMessageWithoutWaitingAndHoldsUntilAChange) {
  Live host;
  CPlaybackControl control(host);
  ASSERT_EQ(control.ExecuteControl(1), 1);
  ASSERT_TRUE(host.graph->Paused());
  for (int s = 1; s < kTimeshiftLimitSeconds; ++s) control.OnTimeshiftTimer();
  EXPECT_TRUE(host.status.empty());
  EXPECT_TRUE(host.graph->Paused());
  // The 1200th second: the message, and the run 2 s later on the same timer, not in a sleep.
  control.OnTimeshiftTimer();
  EXPECT_EQ(host.status, (std::vector<std::u16string>{kTextTimeshiftLimit}));
  EXPECT_EQ(host.statusTicks, 200);
  EXPECT_EQ(host.timers[TimerId::kTimeshift], 2000);
  EXPECT_TRUE(host.graph->Paused());
  control.OnTimeshiftTimer();
  EXPECT_TRUE(host.graph->Running());
  EXPECT_EQ(host.context.playState, PlayState::kPlaying);
  EXPECT_FALSE(host.Armed(TimerId::kTimeshift));

  // A later pause keeps playing, with the message.
  EXPECT_EQ(control.ExecuteControl(1), 1);
  EXPECT_TRUE(host.graph->Running());
  EXPECT_EQ(host.status.size(), 2u);
  EXPECT_EQ(host.statusTicks, 100);
  // Until a channel change.
  control.OnChannelChange();
  EXPECT_EQ(control.ExecuteControl(1), 1);
  EXPECT_TRUE(host.graph->Paused());
}

TEST(PlaybackControl, TimeshiftRefusals) {
  struct Case {
    const char* what;
    std::function<void(Live&)> change;
    bool box;
  };
  const Case cases[] = {
      {"no formats", [](Live& h) { h.context.formatsKnown = false; }, false},
      {"recording", [](Live& h) { h.context.recording = true; }, false},
      {"a .rec plays", [](Live& h) { h.context.sourceMode = SourceMode::kRecording; }, false},
      {"no signal", [](Live& h) { h.context.noSignalShown = true; }, false},
      {"no graph", [](Live& h) { h.graph.reset(); }, false},
      {"caption strip", [](Live& h) { h.context.captionShown = true; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Live host;
    c.change(host);
    CPlaybackControl control(host);
    EXPECT_FALSE(control.StartTimeshift());
    EXPECT_FALSE(control.TimeshiftPaused());
    EXPECT_EQ(host.boxes.size(), c.box ? 1u : 0u);
    if (c.box) EXPECT_EQ(host.boxes[0], kTextCaptionBlocksTimeshift);
    if (host.graph) EXPECT_TRUE(host.graph->Running());
  }
}

TEST(PlaybackControl, TimeshiftPausesPlaysAndStops) {
  Live host;
  CPlaybackControl control(host);
  ASSERT_TRUE(control.StartTimeshift());
  EXPECT_TRUE(host.graph->Paused());
  EXPECT_TRUE(control.TimeshiftPaused() && control.TimeshiftActive());
  EXPECT_TRUE(host.timeshiftButton && host.accumulating);
  ASSERT_TRUE(control.PlayTimeshift());
  EXPECT_TRUE(host.graph->Running());
  EXPECT_FALSE(control.TimeshiftPaused());
  EXPECT_TRUE(control.TimeshiftActive());
  control.StopTimeshift();
  EXPECT_FALSE(control.TimeshiftActive() || host.timeshiftButton);
  EXPECT_EQ(host.log.back(), "Retune");
  // Stop without timeshift does nothing.
  host.log.clear();
  control.StopTimeshift();
  EXPECT_TRUE(host.log.empty());
}

// A timeshift pause whose pause is refused (an open under way, the graph being built or still on its
// way to running, the limit reached) marks nothing, and the play that follows never pauses the graph
// that runs on.
TEST(PlaybackControl, ARefusedTimeshiftPauseMarksNothing) {
  struct Case {
    const char* what;
    std::function<void(Live&, CPlaybackControl&)> change;
    bool message;
  };
  const Case cases[] = {
      {"open queued", [](Live& h, CPlaybackControl&) { h.context.openQueued = true; }, false},
      {"graph being built", [](Live& h, CPlaybackControl&) { h.context.busy = true; }, false},
      {"graph still settling", [](Live& h, CPlaybackControl&) { h.graph->SetSettling(true); }, false},
      {"limit reached",
       [](Live&, CPlaybackControl& c) {
         ASSERT_EQ(c.ExecuteControl(1), 1);
         for (int s = 0; s <= kTimeshiftLimitSeconds; ++s) c.OnTimeshiftTimer();  // and the resume
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Live host;
    CPlaybackControl control(host);
    c.change(host, control);
    ASSERT_TRUE(host.graph->Running());
    host.status.clear();
    EXPECT_FALSE(control.StartTimeshift());
    EXPECT_FALSE(control.TimeshiftPaused() || control.TimeshiftActive() || host.timeshiftButton);
    EXPECT_EQ(host.status.size(), c.message ? 1u : 0u);
    EXPECT_EQ(host.context.playState, PlayState::kPlaying);
    EXPECT_FALSE(host.Armed(TimerId::kTimeshift)) << "no limit counts for a refused pause";
    host.context.openQueued = host.context.busy = false;
    EXPECT_TRUE(control.PlayTimeshift());
    EXPECT_TRUE(host.graph->Running());
    EXPECT_EQ(host.context.playState, PlayState::kPlaying);
  }
}

// The no-signal pause shares the flag, which holds only over a paused graph.
TEST(PlaybackControl, TheSharedPauseFlagFollowsTheGraph) {
  Live host;
  CPlaybackControl control(host);
  control.SetTimeshiftPaused(true);  // the no-signal pause was refused: the graph plays
  EXPECT_FALSE(control.TimeshiftPaused());
  ASSERT_EQ(control.ExecuteControl(1), 1);
  control.SetTimeshiftPaused(true);
  EXPECT_TRUE(control.TimeshiftPaused());
  // An open takes it down with the paused graph.
  control.OnOpen();
  EXPECT_FALSE(control.TimeshiftPaused());
}

TEST(PlaybackControl, RecordRequestAndFilesChosenWhileRecording) {
  Live host;
  CPlaybackControl control(host);
  EXPECT_EQ(control.ExecuteControl(2), 1);
  EXPECT_FALSE(control.RecordingAllowed());
  EXPECT_EQ(control.ExecuteControl(2), 0);  // not twice

  host.chosen = u"/rec/a.rec";
  EXPECT_EQ(control.ExecuteControl(6), 1);
  EXPECT_EQ(host.boxes, (std::vector<std::u16string>{kTextNoChangeWhileRecording}));
  EXPECT_TRUE(host.played.empty());

  host.context.recording = false;
  EXPECT_EQ(control.ExecuteControl(6), 1);
  EXPECT_EQ(host.played, (std::vector<std::u16string>{u"/rec/a.rec"}));
  EXPECT_TRUE(control.RecordingAllowed());

  // Short disk: refused, may be asked again.
  Live shortDisk;
  shortDisk.space = false;
  CPlaybackControl refused(shortDisk);
  EXPECT_EQ(refused.ExecuteControl(2), 0);
  EXPECT_TRUE(refused.RecordingAllowed());
  EXPECT_TRUE(shortDisk.log.empty());
}

}  // namespace
}  // namespace tevalo::shell
