// The list editor command's decisions: the recording question, the refusals, and what the editor's
// OK and Cancel leave.
#include <gtest/gtest.h>

#include "player/shell/channel_list_command.h"

namespace tevalo::shell {
namespace {

struct FakeHost : IChannelListCommandHost {
  bool recording = false;
  bool busy = false;
  int area = 7;
  std::optional<int> editorResult;  // none: Cancel
  std::vector<int> editorRuns;      // the area each run was opened with
  std::vector<int> loaded;

  bool Recording() const override { return recording; }
  bool Busy() const override { return busy; }
  int AreaIndex() const override { return area; }
  std::optional<int> RunEditor(int a) override {
    editorRuns.push_back(a);
    // The editor switches the player's area as its combo box moves.
    if (editorResult)
      area = *editorResult;
    else
      area = 30;
    return editorResult;
  }
  void LoadAreaList(int a) override {
    loaded.push_back(a);
    area = a;
  }
};

using Outcome = CChannelListCommand::Outcome;

TEST(ChannelListCommand, AsksWhileRecordingThenRunsTheEditorUnlessBusy) {
  struct Case {
    const char* name;
    bool recording;
    std::optional<bool> answer;  // to the recording question
    bool busy;
    Outcome outcome;
    bool editorRan;
  };
  const Case cases[] = {
      {"idle", false, std::nullopt, false, Outcome::kCancelled, true},
      {"recording, Yes", true, true, false, Outcome::kCancelled, true},
      {"recording, No", true, false, false, Outcome::kDeclined, false},
      {"recording, box closed", true, std::nullopt, false, Outcome::kDeclined, false},
      {"busy", false, std::nullopt, true, Outcome::kRefused, false},
      {"recording, Yes, busy", true, true, true, Outcome::kRefused, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    host.recording = c.recording;
    host.busy = c.busy;
    CScriptedPrompter prompter;
    if (c.answer) prompter.Answer(*c.answer);
    EXPECT_EQ(CChannelListCommand(host, prompter).Run(), c.outcome);
    EXPECT_EQ(host.editorRuns.size(), c.editorRan ? 1u : 0u);
    ASSERT_EQ(prompter.Asked().size(), c.recording ? 1u : 0u);
    if (c.recording) {
      EXPECT_EQ(prompter.Asked()[0].text,
                u"チャンネルサーチを行うと録画が停止します。チャンネルサーチを行いますか？");
      EXPECT_EQ(prompter.Asked()[0].title, u"1seg Message");
      EXPECT_EQ(prompter.Asked()[0].buttons, Prompt::Buttons::kYesNo);
    }
  }
}

TEST(ChannelListCommand, CancelPutsBackTheAreaAndItsStoredListOkKeepsTheEditorsArea) {
  FakeHost cancelled;
  CScriptedPrompter prompter;
  EXPECT_EQ(CChannelListCommand(cancelled, prompter).Run(), Outcome::kCancelled);
  EXPECT_EQ(cancelled.editorRuns, std::vector<int>{7});
  EXPECT_EQ(cancelled.loaded, std::vector<int>{7});
  EXPECT_EQ(cancelled.area, 7);

  FakeHost accepted;
  accepted.editorResult = 12;
  EXPECT_EQ(CChannelListCommand(accepted, prompter).Run(), Outcome::kAccepted);
  EXPECT_TRUE(accepted.loaded.empty());
  EXPECT_EQ(accepted.area, 12);
}

TEST(ScriptedPrompter, AnswersThreeButtonQuestionsAndTakesAnUnansweredBoxAsCancel) {
  CScriptedPrompter prompter;
  prompter.Answer(Prompt::Reply::kNo);
  prompter.Answer(Prompt::Reply::kCancel);
  const Prompt question{u"リストが変更されました. セーブしますか", u"警告", Prompt::Buttons::kYesNoCancel};
  EXPECT_EQ(prompter.Choose(question), Prompt::Reply::kNo);
  EXPECT_EQ(prompter.Choose(question), Prompt::Reply::kCancel);
  EXPECT_EQ(prompter.Choose(question), Prompt::Reply::kCancel);
  EXPECT_EQ(CScriptedPrompter(true).Choose(question), Prompt::Reply::kYes);
  // A prompter that only knows Yes/No answers a closed box, never a No it cannot tell apart.
  struct TwoButtons : IPrompter {
    bool Ask(const Prompt&) override { return false; }
  } twoButtons;
  EXPECT_EQ(twoButtons.Choose(question), Prompt::Reply::kCancel);
  EXPECT_EQ(prompter.Asked().size(), 3u);
}

}  // namespace
}  // namespace tevalo::shell
