// The playback panel's side of the main window: the core's graph for positions and seeks, the
// window's buttons for what closing and hiding the panel change, and the panel's on/off commands.
// GUI thread only.
#pragma once

#include <functional>

#include "player/panels/playback_panel_logic.h"
#include "player/shell/command_table.h"

class CPlaybackPanel;

namespace tevalo::shell {

class CPlayerDlg;

class CPlaybackPanelHost final : public panels::IPlaybackPanelHost {
 public:
  // The main window's buttons whose hide mode goes off when the panel hides.
  static constexpr int kHideModeButtons[] = {1069, 1070, 1075, 1074, 1073, 1077, 1078};
  static constexpr int kPanelButton = 1053;
  static constexpr unsigned kPanelButtonPlayStrip = 487;
  static constexpr int kTimeshiftPlayButton = 1074;
  static constexpr int kTimeshiftStartButton = 1075;

  CPlaybackPanelHost(CPlayerDlg& dlg, std::function<bool()> compactView);

  // The channel panel as the playback panel docks to it; without one, nothing docks through it.
  void SetChannelPanel(std::function<panels::OtherPanel()> state, std::function<void()> selChange);

  panels::PanelSource Source() const override;
  bool HasGraph() const override;
  bool GetPosition(int* tenths) override;
  int GetDuration() override;
  void SetPosition(int tenths) override;
  void OpenRecordingFiles() override;
  void ExecuteControl(int code) override;
  void PanelClosedByButton() override;
  void ClearButtonHideMode() override;
  void PanelShownChanged(bool shown) override;
  panels::SnapRect MainWindowRect() const override;
  panels::OtherPanel ChannelPanel() override;
  void ChannelPanelSelChange() override;

 private:
  CPlayerDlg& m_dlg;
  std::function<bool()> m_compactView;
  std::function<panels::OtherPanel()> m_channelPanel;
  std::function<void()> m_channelSelChange;
};

// Button 1053 and menu 32867: the panel shown when hidden, hidden when shown.
void BindPlaybackPanelToggle(CCommandTable& table, std::function<CPlaybackPanel*()> panel);

}  // namespace tevalo::shell
