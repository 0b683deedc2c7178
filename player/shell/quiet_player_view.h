// A player view that shows nothing, for programs that drive the controller without a window
// (benchmarks, the terminal demo); they override what they watch.
#pragma once

#include "player/shell/player_view.h"

namespace tevalo::shell {

class CQuietPlayerView : public IPlayerView {
 public:
  void SetStripText(int, const std::u16string&, int) override {}
  void ClearStrip(int) override {}
  void ShowAnimation(int) override {}
  void HideAnimation() override {}
  void SetTimer(int, int) override {}
  void KillTimer(int) override {}
  void ShowLevelBars(int) override {}
  void ShowVideoArea(bool) override {}
  void ShowProgrammeStripIfEpgOn() override {}
  void RefreshChannelPanel(const std::vector<ChannelEntry>&) override {}
  void HideChannelPanel() override {}
  void ResetPlaybackPanel() override {}
  bool IsRecording() override { return false; }
  void StartRecording() override {}
  void StopRecording(bool) override {}
  void ReadIepgFile(const std::u16string&) override {}
  void MessageBox(const std::u16string&, const std::u16string&) override {}
  void PostQuit() override {}
};

}  // namespace tevalo::shell
