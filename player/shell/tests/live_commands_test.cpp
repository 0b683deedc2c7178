// The live-television rows of the command table, the volume curve and the dropped-file rule.
#include <gtest/gtest.h>

#include "player/shell/live_commands.h"

namespace tevalo::shell {
namespace {

struct FakeCommands : ILiveTvCommands {
  int ExecuteControl(unsigned kind) override {
    calls.push_back("control " + std::to_string(kind));
    return 1;
  }
  bool StartTimeshift() override { return calls.push_back("timeshift start"), true; }
  bool PlayTimeshift() override { return calls.push_back("timeshift play"), true; }
  void StopTimeshift() override { calls.push_back("timeshift stop"); }
  void StartRecording() override { calls.push_back("record"); }
  void StopRecording(bool noPrompt) override { calls.push_back(noPrompt ? "stop quiet" : "stop ask"); }
  bool IsRecording() const override { return recording; }
  bool IsLive() const override { return live; }
  bool IsTimeshiftPaused() const override { return paused; }
  void ToggleDualMonoAudio() override { calls.push_back("dual mono"); }
  bool LaunchUpdater() override { return calls.push_back("updater"), true; }

  std::vector<std::string> calls;
  bool recording = false, live = true, paused = false;
};

TEST(LiveCommands, RowsCallTheirOperations) {
  struct Row {
    CommandId id;
    bool recording, live, paused;
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {1050, false, true, false, {"control 6"}},
      {1051, false, true, false, {"control 7"}},
      {1052, false, true, false, {"control 8"}},
      {1054, false, true, false, {"control 2"}},
      {1073, false, true, false, {"timeshift stop"}},
      {1074, false, true, false, {"timeshift play"}},
      {1075, false, true, false, {"timeshift start"}},
      {32797, false, true, false, {"timeshift start"}},
      {32798, false, true, false, {"timeshift play"}},
      {32799, false, true, false, {"timeshift stop"}},
      {1077, false, true, false, {"record"}},
      {1077, true, true, false, {}},    // already recording
      {1077, false, false, false, {}},  // a file plays
      {1077, false, true, true, {}},    // timeshift paused
      {1078, true, true, false, {"stop ask"}},
      {1078, false, true, false, {}},
      {32877, false, true, false, {"record"}},
      {32877, true, true, false, {"stop ask"}},
      {32856, false, true, false, {"dual mono"}},
      {32883, false, true, false, {"updater"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.id);
    CCommandTable table;
    FakeCommands f;
    f.recording = r.recording;
    f.live = r.live;
    f.paused = r.paused;
    BindLiveTvCommands(table, f);
    EXPECT_EQ(table.Dispatch(r.id), DispatchResult::Handled);
    EXPECT_EQ(f.calls, r.calls);
  }
}

TEST(LiveCommands, OnlyPlFilesAreReadAndLongPathsKeepTheirLength) {
  const std::u16string longPath = u"/" + std::u16string(400, u'a') + u".pl";
  EXPECT_EQ(DroppedIepgFiles({u"/x/a.PL", u"/x/b.pl", u"/x/c.txt", u"/x/d.pl.txt", longPath}),
            (std::vector<std::u16string>{u"/x/a.PL", u"/x/b.pl", longPath}));
  EXPECT_TRUE(DroppedIepgFiles({u"/x/c.txt", u"/x/noext"}).empty());
}

}  // namespace
}  // namespace tevalo::shell
