// The playback panel joined to the main window: its on/off commands, what closing it does to the
// window's buttons, and its seeks reaching the core's graph only while a recording plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "controls/hover_button.h"
#include "player/panels/playback_panel.h"
#include "player/shell/playback_panel_host.h"
#include "player/shell/window_features.h"
#include "window_harness.h"

namespace tevalo::shell::test {
namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new GuiApp);

struct JoinedPanel {
  explicit JoinedPanel(const std::string& name) : w(name) {
    std::ofstream(w.folder / "config.ini") << "[SETUP]\nAREA_NUM=7\n";  // a stored area: no area question
    CPlayerDlg& d = w.Make();
    AttachWindowFeatures(d);
    EXPECT_TRUE(d.OnInitDialog());
    panel = d.findChild<CPlaybackPanel*>();
  }
  CPlayerDlg& dlg() { return *w.dlg; }
  WindowUnderTest w;
  CPlaybackPanel* panel = nullptr;
};

int Seeks(const CFakeMediaGraph& graph) {
  const auto log = graph.Calls();
  return int(std::count(log.begin(), log.end(), "SetPosition"));
}

TEST(PlaybackPanelHost, ButtonAndMenuTurnThePanelOnAndOff) {
  JoinedPanel j("tevalo-panel-toggle");
  ASSERT_NE(j.panel, nullptr);
  EXPECT_FALSE(j.panel->IsShown());
  for (CommandId id : {32867u, 1053u}) {
    EXPECT_EQ(j.dlg().OnCommand(id), DispatchResult::Handled) << id;
    EXPECT_TRUE(j.panel->IsShown()) << id;
    EXPECT_TRUE(j.panel->isVisible()) << id;
    j.dlg().OnCommand(id);
    EXPECT_FALSE(j.panel->IsShown()) << id;
    EXPECT_FALSE(j.panel->isVisible()) << id;
  }
  j.dlg().OnClose();
}

TEST(PlaybackPanelHost, ADockedPanelMovesWithTheWindow) {
  JoinedPanel j("tevalo-panel-follow");
  ASSERT_NE(j.panel, nullptr);
  j.dlg().show();
  j.dlg().OnCommand(32867);
  ASSERT_TRUE(j.panel->IsShown());
  // Dragged to just under the window, it docks there.
  const QRect main = j.dlg().frameGeometry();
  const auto at = j.panel->Logic().Drag({main.left() + 4, main.bottom() + 5});
  j.panel->move(at.x, at.y);
  ASSERT_TRUE(j.panel->Logic().Dock().docked);
  const QPoint offset = j.panel->pos() - j.dlg().frameGeometry().topLeft();
  const QPoint to = j.dlg().pos() + QPoint(40, 30);
  j.dlg().move(to);
  EXPECT_TRUE(PumpUntil([&] { return j.panel->pos() - j.dlg().frameGeometry().topLeft() == offset; }))
      << "panel at " << j.panel->pos().x() << "," << j.panel->pos().y() << ", window at " << j.dlg().pos().x()
      << "," << j.dlg().pos().y();
  EXPECT_EQ(j.dlg().pos(), to);
  j.dlg().OnClose();
}

TEST(PlaybackPanelHost, ClosingThePanelRestoresTheWindowsButtons) {
  JoinedPanel j("tevalo-panel-close");
  ASSERT_NE(j.panel, nullptr);
  if (!j.dlg().Button(1074)) GTEST_SKIP() << "no skinned buttons in this build";
  for (int id : CPlaybackPanelHost::kHideModeButtons)
    if (CHoverButton* b = j.dlg().Button(id)) b->setHideButton(true);
  j.dlg().Button(1074)->show();
  j.dlg().Button(1075)->hide();
  j.dlg().OnCommand(1053);
  ASSERT_TRUE(j.panel->IsShown());
  EXPECT_EQ(j.dlg().OnCommand(1089), DispatchResult::Handled);
  EXPECT_FALSE(j.panel->IsShown());
  EXPECT_TRUE(j.dlg().Button(1075)->isVisibleTo(&j.dlg()));
  EXPECT_FALSE(j.dlg().Button(1074)->isVisibleTo(&j.dlg()));
  for (int id : CPlaybackPanelHost::kHideModeButtons)
    if (CHoverButton* b = j.dlg().Button(id)) EXPECT_FALSE(b->IsHideMode()) << id;
  j.dlg().OnClose();
}

TEST(PlaybackPanelHost, StepsSeekTheGraphOnlyWhileARecordingPlays) {
  JoinedPanel j("tevalo-panel-seek");
  ASSERT_NE(j.panel, nullptr);
  CPlayerCore& core = j.dlg().Core();
  j.dlg().OnCommand(1053);
  ASSERT_TRUE(j.panel->IsShown());

  // Nothing plays: no graph to seek.
  EXPECT_EQ(j.dlg().OnCommand(1087), DispatchResult::Handled);
  EXPECT_EQ(core.MediaGraph(), nullptr);

  const std::u16string rec = text::ToUtf16((j.w.folder / "News.rec").string());
  core.PlayUrl(rec);
  j.w.clock.Advance(100);  // timer 105 hands the name to the start-up thread
  ASSERT_TRUE(PumpUntil([&] {
    return core.State().sourceMode == SourceMode::kRecording && !core.State().opening && core.MediaGraph();
  }));
  auto graph = std::dynamic_pointer_cast<CFakeMediaGraph>(core.MediaGraph());
  ASSERT_TRUE(graph);
  graph->SetPositionReached(85);
  const int before = Seeks(*graph);
  j.dlg().OnCommand(1083);  // previous at 8.5 s lands at 0.1 s
  int position = -1;
  ASSERT_EQ(graph->GetPosition(&position), 1);
  EXPECT_EQ(position, 1);
  graph->SetPositionReached(510);  // 9 s left of 60: next lands a second before the end
  j.dlg().OnCommand(1087);
  ASSERT_EQ(graph->GetPosition(&position), 1);
  EXPECT_EQ(position, 590);
  EXPECT_EQ(Seeks(*graph), before + 2);

  // Hidden, the panel's rows do nothing.
  j.dlg().OnCommand(1053);
  j.dlg().OnCommand(1087);
  EXPECT_EQ(Seeks(*graph), before + 2);
  j.dlg().OnClose();
}

}  // namespace
}  // namespace tevalo::shell::test
