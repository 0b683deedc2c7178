#include "player/shell/main_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace tevalo::shell {
namespace {

class FakeActions final : public IMainWindowActions {
 public:
  CoreState state;
  bool graph = true, timeshiftRuns = false, timeshiftPaused = false, tunerFound = true, ready = true;
  bool tunerOpen = true;
  int selectedRow = 13, videoHeight = 180;
  Rect window{100, 100, 346, 380};
  std::vector<std::string> log;
  std::vector<long> graphVolumes;
  int slider = -1;
  bool muteLook = false, topmost = false, controlsEnabled = true;
  std::vector<ChannelStep> steps;
  std::vector<int> scans;

  CoreState State() const override { return state; }
  bool HasGraph() const override { return graph; }
  bool TimeshiftRuns() const override { return timeshiftRuns; }
  bool TimeshiftPaused() const override { return timeshiftPaused; }
  Rect WindowRect() const override { return window; }
  Size ScreenSize() const override { return {1280, 1024}; }
  int VideoHeight() const override { return videoHeight; }
  bool TunerFound() const override { return tunerFound; }
  bool Ready() const override { return ready; }
  void Minimize() override { log.push_back("minimize"); }
  void PostClose() override { log.push_back("close"); }
  void ApplyView(Rect r) override {
    window = r;
    log.push_back("view");
  }
  void SetTopmost(bool t) override { topmost = t; }
  void Maximize() override { log.push_back("maximize"); }
  void ShowProgrammeStrip(bool shown) override { log.push_back(shown ? "strip on" : "strip off"); }
  void EpgDisplayChanged(bool) override { log.push_back("epg"); }
  void SetGraphVolume(long v) override { graphVolumes.push_back(v); }
  void SetVolumeSlider(int p) override { slider = p; }
  void SetMuteLook(bool m) override { muteLook = m; }
  void StartTuner() override { log.push_back("start tuner"); }
  void StopFilePlayback() override { log.push_back("stop playback"); }
  bool TunerOpen() const override { return tunerOpen; }
  int SelectedRowTunerIndex() const override { return selectedRow; }
  void ScanSingleChannel(int i) override { scans.push_back(i); }
  void EnableReceptionControls(bool e) override { controlsEnabled = e; }
  void StepChannel(ChannelStep s) override { steps.push_back(s); }
  void ReselectCurrentChannelRow() override { log.push_back("reselect"); }
};

class MainCommandsTest : public ::testing::Test {
 protected:
  MainCommandsTest() {
    actions.state.sourceMode = SourceMode::kLive;
    actions.state.levelBars = 3;
    logic.BindCommands(table);
  }
  FakeActions actions;
  CScriptedPrompter prompter;
  CMainWindowLogic logic{actions, prompter, {.volume = 500}};
  CCommandTable table;
};

TEST(Volume, VolumeCurve) {
  const std::pair<int, long> cases[] = {{0, -10000}, {19, -10000}, {20, -4840}, {900, 0},
                                        {899, 0},    {880, -2},    {450, -1265}};
  for (const auto& [position, db] : cases) EXPECT_EQ(GraphVolumeFor(position), db) << position;
}

TEST(Volume, GraphVolumeTable) {
  const std::pair<int, long> rows[] = {{900, 0},     {20, -4840}, {19, -10000},
                                       {500, -1000}, {0, -10000}, {899, 0}};
  for (auto [p, v] : rows) EXPECT_EQ(GraphVolumeFor(p), v) << p;
}

TEST_F(MainCommandsTest, VolumeStepsStopAtTheEnds) {
  const std::tuple<int, CommandId, int> rows[] = {
      {880, 32800, 900}, {890, 32800, 900}, {25, 32838, 0}, {500, 32838, 470}, {0, 32838, 0}};
  for (auto [from, id, to] : rows) {
    logic.Volume().SetVolume(from);
    table.Dispatch(id);
    EXPECT_EQ(logic.Volume().Position(), to) << from << " " << id;
    EXPECT_EQ(actions.slider, to);
    EXPECT_EQ(actions.graphVolumes.back(), GraphVolumeFor(to));
  }
}

TEST_F(MainCommandsTest, MuteAndMinimise) {
  table.Dispatch(1061);
  EXPECT_TRUE(logic.Volume().Muted());
  EXPECT_TRUE(actions.muteLook);
  EXPECT_EQ(actions.graphVolumes.back(), -10000);
  // Muted: minimise and restore stay silent; the slider cannot move the sound.
  size_t n = actions.graphVolumes.size();
  logic.Volume().Minimize();
  logic.Volume().Restore();
  logic.Volume().SliderMoving(800);
  EXPECT_EQ(actions.graphVolumes.size(), n);
  table.Dispatch(1062);
  EXPECT_FALSE(actions.muteLook);
  EXPECT_EQ(actions.graphVolumes.back(), -1000);
  // Not muted: silent while minimised, the level back on restore.
  logic.Volume().Minimize();
  EXPECT_EQ(actions.graphVolumes.back(), -10000);
  EXPECT_EQ(logic.Volume().Position(), 500);
  logic.Volume().Restore();
  EXPECT_EQ(actions.graphVolumes.back(), -1000);
  table.Dispatch(32801);
  EXPECT_TRUE(logic.Volume().Muted());
  table.Dispatch(32801);
  EXPECT_FALSE(logic.Volume().Muted());
}

TEST_F(MainCommandsTest, MinimiseKeepsActivationFromRestoringForAMoment) {
  logic.OnSysMinimize();
  EXPECT_EQ(actions.graphVolumes.back(), -10000);
  EXPECT_FALSE(logic.OnActivate());  // the activation that comes with minimising
  EXPECT_EQ(actions.graphVolumes.back(), -10000);
  logic.OnMinimizeGuardElapsed();
  EXPECT_TRUE(logic.OnActivate());
  EXPECT_EQ(actions.graphVolumes.back(), -1000);
  table.Dispatch(1061);
  logic.OnSysMinimize();
  logic.OnMinimizeGuardElapsed();
  logic.OnSysRestore();
  EXPECT_TRUE(logic.OnActivate());
  EXPECT_EQ(actions.graphVolumes.back(), -10000);  // muted stays silent
}

TEST_F(MainCommandsTest, ChannelStepsAreRefusedWhileRecording) {
  const std::pair<CommandId, ChannelStep> rows[] = {
      {1067, ChannelStep::kDown}, {32861, ChannelStep::kDown},   {1068, ChannelStep::kUp},
      {32860, ChannelStep::kUp},  {1069, ChannelStep::kForward}, {32862, ChannelStep::kForward},
      {1070, ChannelStep::kBack}, {32863, ChannelStep::kBack}};
  for (auto [id, step] : rows) {
    actions.steps.clear();
    table.Dispatch(id);
    EXPECT_EQ(actions.steps, std::vector<ChannelStep>{step}) << id;
  }
  actions.steps.clear();
  actions.state.recording = true;
  table.Dispatch(32860);
  EXPECT_TRUE(actions.steps.empty());
  ASSERT_EQ(prompter.Asked().size(), 1u);
  EXPECT_EQ(prompter.Asked()[0].text, kTextChannelLockedWhileRecording);
  EXPECT_EQ(prompter.Asked()[0].title, kMessageTitle);
  EXPECT_EQ(actions.log.back(), "reselect");
  for (auto gate : {&CoreState::opening, &CoreState::searching}) {
    actions.state = {};
    actions.state.*gate = true;
    table.Dispatch(1069);
  }
  actions.state = {};
  actions.state.sourceMode = SourceMode::kRecording;
  table.Dispatch(1070);
  EXPECT_TRUE(actions.steps.empty());
}

TEST_F(MainCommandsTest, CloseWhileRecordingAsks) {
  EXPECT_TRUE(logic.ConfirmClose());
  EXPECT_TRUE(prompter.Asked().empty());
  actions.state.recording = true;
  prompter.Answer(false);
  EXPECT_FALSE(logic.ConfirmClose());
  EXPECT_EQ(prompter.Asked().back().text, kTextQuitWhileRecording);
  EXPECT_EQ(prompter.Asked().back().buttons, Prompt::Buttons::kYesNo);
  prompter.Answer(true);
  EXPECT_TRUE(logic.ConfirmClose());
}

TEST_F(MainCommandsTest, ViewCommandsAndMenuTicks) {
  table.Dispatch(1072);
  EXPECT_TRUE(logic.View().FullScreen());
  EXPECT_EQ(actions.window, (Rect{0, 0, 1280, 1024}));
  table.Dispatch(1041);  // enters only
  EXPECT_TRUE(logic.View().FullScreen());
  table.Dispatch(32831);  // Alt+2 in full screen: back in the large size
  EXPECT_FALSE(logic.View().FullScreen());
  EXPECT_EQ(actions.window, (Rect{100, 100, 666, 560}));
  table.Dispatch(32830);
  EXPECT_EQ(actions.window, (Rect{100, 100, 346, 380}));
  table.Dispatch(32875);
  EXPECT_EQ(actions.window, (Rect{100, 100, 346, 440}));
  table.Dispatch(32833);
  EXPECT_TRUE(actions.topmost);
  table.Dispatch(32884);
  EXPECT_FALSE(logic.EpgOn());
  auto ticks = logic.MenuTicks(true, false, true);
  EXPECT_EQ(ticks,
            (std::map<CommandId, bool>{
                {32867, true}, {32810, false}, {32875, true}, {32856, true}, {32833, true}, {32884, false}}));
  table.Dispatch(32832);
  EXPECT_EQ(actions.log.back(), "maximize");
  actions.graph = false;
  size_t before = actions.log.size();
  table.Dispatch(32832);  // no graph: nothing
  EXPECT_EQ(actions.log.size(), before);
}

TEST_F(MainCommandsTest, CaptionIsRefusedForRecordingsAndInATimeshiftPause) {
  actions.state.sourceMode = SourceMode::kRecording;
  table.Dispatch(32875);
  EXPECT_FALSE(logic.View().CaptionShown());
  actions.state.sourceMode = SourceMode::kLive;
  actions.timeshiftRuns = actions.timeshiftPaused = true;
  table.Dispatch(32875);
  EXPECT_FALSE(logic.View().CaptionShown());
  EXPECT_EQ(prompter.Asked().back().text, kTextNoCaptionInTimeshift);
}

TEST_F(MainCommandsTest, ReceptionOffScansOnlyATunerChannel) {
  table.Dispatch(32865);
  EXPECT_FALSE(logic.Reception());
  EXPECT_FALSE(actions.controlsEnabled);
  EXPECT_EQ(actions.scans, std::vector<int>{13});
  for (int row : {-1, 50, 99}) {
    actions.selectedRow = row;
    table.Dispatch(1066);
  }
  EXPECT_EQ(actions.scans.size(), 1u);
  table.Dispatch(1065);
  EXPECT_TRUE(logic.Reception());
  EXPECT_TRUE(actions.controlsEnabled);
  EXPECT_EQ(actions.log.back(), "start tuner");
}

TEST_F(MainCommandsTest, EveryBoundIdReachesItsTarget) {
  const std::set<CommandId> bound = {1039,  1041,  1042,  1061,  1062,  1065,  1066,  1067,  1068,  1069,
                                     1070,  1072,  32800, 32801, 32829, 32830, 32831, 32832, 32833, 32838,
                                     32860, 32861, 32862, 32863, 32864, 32865, 32875, 32884};
  for (CommandId id : kMainWindowCommandIds) EXPECT_EQ(table.HasHandler(id), bound.count(id) == 1) << id;
  table.Dispatch(1039);
  EXPECT_EQ(actions.log.back(), "minimize");
  table.Dispatch(1042);
  EXPECT_EQ(actions.log.back(), "close");
  actions.log.clear();
  table.Dispatch(32829);
  EXPECT_EQ(actions.log, std::vector<std::string>{"close"});
}

TEST(KeyTable, KeysMapToCommandsActionsOrNothing) {
  struct Row {
    KeyPress press;
    bool fullScreen;
    KeyOutcome expected;
  };
  using K = KeyOutcome::Kind;
  const Row rows[] = {
      {{Key::kEscape}, true, {K::kAction, 0, KeyAction::kLeaveFullScreen}},
      {{Key::kEscape}, false, {K::kSwallow}},
      {{Key::kLeft}, false, {K::kCommand, 1069}},
      {{Key::kRight}, false, {K::kCommand, 1070}},
      {{Key::kLeft, true}, false, {K::kSwallow}},
      {{Key::kUp}, false, {K::kAction, 0, KeyAction::kChannelUpDirect}},
      {{Key::kDown}, false, {K::kAction, 0, KeyAction::kChannelDownDirect}},
      {{Key::kUp, true}, false, {K::kCommand, 32800}},
      {{Key::kDown, true}, false, {K::kCommand, 32838}},
      {{KeyOf('C'), true}, false, {K::kCommand, 32810}},
      {{KeyOf('D'), true}, false, {K::kCommand, 32867}},
      {{KeyOf('F'), true}, false, {K::kAction, 0, KeyAction::kFullSearch}},
      {{KeyOf('L'), true}, false, {K::kAction, 0, KeyAction::kListSearch}},
      {{KeyOf('Q'), true}, false, {K::kAction, 0, KeyAction::kReceptionToggle}},
      {{KeyOf('R'), true}, false, {K::kCommand, 32877}},
      {{KeyOf('S'), true}, false, {K::kCommand, 32799}},
      {{KeyOf('T'), true}, false, {K::kAction, 0, KeyAction::kTimeshiftPlayOrStart}},
      {{KeyOf('X'), true}, false, {K::kCommand, 32829}},
      {{KeyOf('Z'), true}, false, {K::kSwallow}},
      {{KeyOf('A')}, false, {K::kSwallow}},
      {{Key::kF1}, false, {K::kPass}},
      {{Key::kEnter, false, true}, false, {K::kCommand, 32832}},
      {{Key::kLeft, false, true}, false, {K::kPanelCommand, 1083}},
      {{Key::kRight, false, true}, false, {K::kPanelCommand, 1087}},
      {{KeyOf('F'), false, true}, false, {K::kPanelCommand, 1082}},
      {{KeyOf('P'), false, true}, false, {K::kPanelCommand, 1086, KeyAction::kNone, true}},
      {{KeyOf('S'), false, true}, false, {K::kPanelCommand, 1085, KeyAction::kNone, true}},
      {{KeyOf('1'), false, true}, true, {K::kCommand, 32830}},
      {{KeyOf('2'), false, true}, true, {K::kCommand, 32831}},
      {{Key::kF1, false, true}, false, {K::kPass}},
  };
  for (const auto& r : rows)
    EXPECT_EQ(TranslateKey(r.press, r.fullScreen), r.expected) << static_cast<int>(r.press.key);
}

TEST_F(MainCommandsTest, KeysActThroughTheTable) {
  EXPECT_TRUE(logic.OnKey({Key::kDown, true}, table));
  EXPECT_EQ(logic.Volume().Position(), 470);
  EXPECT_TRUE(logic.OnKey({KeyOf('2'), false, true}, table));
  EXPECT_EQ(actions.window.w, 666);
  table.Dispatch(1072);
  EXPECT_TRUE(logic.OnKey({Key::kEscape}, table));
  EXPECT_FALSE(logic.View().FullScreen());
  EXPECT_EQ(actions.window, (Rect{100, 100, 666, 560}));
  EXPECT_TRUE(logic.OnKey({KeyOf('Q'), true}, table));
  EXPECT_FALSE(logic.Reception());
  EXPECT_TRUE(logic.OnKey({KeyOf('Q'), true}, table));
  EXPECT_TRUE(logic.Reception());
  EXPECT_FALSE(logic.OnKey({Key::kF1}, table));
  std::vector<KeyAction> hooked;
  logic.SetKeyActionHook([&](KeyAction a) { hooked.push_back(a); });
  logic.OnKey({KeyOf('T'), true}, table);
  logic.OnKey({KeyOf('F'), true}, table);
  EXPECT_EQ(hooked, (std::vector<KeyAction>{KeyAction::kTimeshiftPlayOrStart, KeyAction::kFullSearch}));
  actions.state.recording = true;
  EXPECT_TRUE(logic.OnKey({Key::kUp}, table));  // the panel's step directly, no refusal
  EXPECT_EQ(actions.steps.back(), ChannelStep::kUp);
  EXPECT_TRUE(prompter.Asked().empty());
}

}  // namespace
}  // namespace tevalo::shell
