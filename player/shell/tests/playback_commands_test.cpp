// The playback panel's rows in the main window's dispatch table.
#include <gtest/gtest.h>

#include <vector>

#include "player/shell/playback_commands.h"

using namespace tevalo::shell;

namespace {

struct Target : IPlaybackCommandTarget {
  bool shown = true, file = true, play = true;
  std::vector<int> sent;
  bool PanelShown() const override { return shown; }
  bool RecordingFilePlays() const override { return file; }
  bool PanelPlayShown() const override { return play; }
  void PanelCommand(int id) override { sent.push_back(id); }
};

TEST(PlaybackCommands, RowsReachThePanel) {
  struct Case {
    CommandId id;
    int sent;
  } cases[] = {{1082, 1082}, {1083, 1083},  {1084, 1084},  {1085, 1085},  {1086, 1086},  {1087, 1087},
               {1089, 1089}, {32879, 1083}, {32878, 1087}, {32880, 1085}, {32881, 1086}, {32882, 1082}};
  for (const Case& c : cases) {
    CCommandTable table;
    Target target;
    BindPlaybackCommands(table, target);
    EXPECT_EQ(table.Dispatch(c.id), DispatchResult::Handled) << c.id;
    EXPECT_EQ(target.sent, std::vector<int>{c.sent}) << c.id;
  }
}

TEST(PlaybackCommands, Guards) {
  CCommandTable table;
  Target target;
  BindPlaybackCommands(table, target);
  target.shown = false;  // no panel, or hidden
  for (CommandId id : {1082u, 1083u, 1085u, 32878u, 32880u, 32882u}) table.Dispatch(id);
  EXPECT_TRUE(target.sent.empty());
  target.shown = true;
  target.file = false;  // start/pause only while a recording plays
  table.Dispatch(32880);
  EXPECT_TRUE(target.sent.empty());
  target.file = true;
  target.play = false;  // playing: the shown button is pause
  table.Dispatch(32880);
  EXPECT_EQ(target.sent, std::vector<int>{1084});
  EXPECT_EQ(table.Dispatch(1088), DispatchResult::Unknown);
}

}  // namespace
