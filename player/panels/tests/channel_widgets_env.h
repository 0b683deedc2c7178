// The channel windows' tests: one application with the font aliases and the player's skin, fakes of
// the player and its prompter, and pictures for a person to look at.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "player/panels/channel_panel.h"
#include "player/panels/panel_prompts.h"

namespace tevalo::panels::testing {

class FakePrompter : public IPanelPrompter {
 public:
  PromptAnswer Ask(const QString& text, const QString& title, PromptButtons buttons) override {
    asked.push_back(text);
    titles.push_back(title);
    if (!answers.empty()) {
      const PromptAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::No;
  }
  std::vector<QString> asked;
  std::vector<QString> titles;
  std::deque<PromptAnswer> answers;
};

class FakePanelHost : public IChannelPanelHost {
 public:
  PlayerState State() const override { return state; }
  bool IsSearching() const override { return searching; }
  void ChangeChannel(const std::u16string& code) override {
    tuned.push_back(code);
    state.currentChannel = code;
  }
  void ResetTimeshiftCounter() override { ++timeshiftResets; }
  void StopRecordingForSearch() override { ++recordingStops; }
  void RunSearch(int kind, const SearchSteps& steps) override { searches.push_back({kind, steps}); }
  void ForwardKey(QKeyEvent*) override { ++keys; }
  QRect MainWindowRect() const override { return main; }
  OtherPanel PlaybackPanel() override { return {otherExists ? &otherDock : nullptr, otherRect, otherShown}; }
  void PanelShownChanged(bool shown) override { shownChanges.push_back(shown); }
  void PanelClosedByButton() override { ++closedByButton; }

  PlayerState state{.currentChannel = u"14001"};
  bool searching = false;
  std::vector<std::u16string> tuned;
  int timeshiftResets = 0;
  int recordingStops = 0;
  std::vector<std::pair<int, SearchSteps>> searches;
  int keys = 0;
  QRect main{100, 100, 346, 380};
  bool otherExists = false, otherShown = false;
  PanelDock otherDock;
  SnapRect otherRect;
  std::vector<bool> shownChanges;
  int closedByButton = 0;
};

// Saves a picture under the build folder's screenshots/channels and returns its path.
QString SaveShot(const QImage& picture, const QString& name);
// The panel as it looks on a desktop: shaped by its background bitmap, over a checkerboard.
QImage PanelOnDesktop(CChannelPanel& panel);
// Lets queued events run.
void Pump();

}  // namespace tevalo::panels::testing
