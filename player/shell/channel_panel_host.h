// The channel panel joined to the main window: the panel's host over the dialog and its core, the
// panel's rows of the one command table, the core's panel calls, the area dialog of a first start
// and the stored list that decides the start's search. GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "player/panels/channel_panel.h"
#include "player/shell/channel_code.h"
#include "player/shell/key_table.h"
#include "player/shell/main_commands.h"
#include "player/shell/prompter.h"

namespace tevalo::shell {

class CPlayerDlg;
class CChannelListHost;

class CChannelPanelHost final : public ::IChannelPanelHost, public panels::IPanelPrompter {
 public:
  // playbackPanel: the playback panel as the snapping sees it (none while it does not exist).
  CChannelPanelHost(CPlayerDlg& dlg, IPrompter& prompter, std::function<panels::OtherPanel()> playbackPanel);
  ~CChannelPanelHost() override;

  // The panel's rows (1005, 1013, 1014, 1092-1094, 32810) and the window's and core's hooks.
  void Bind();

  // Created hidden on first use; kept until the window's panels go.
  CChannelPanel& Panel();
  CChannelPanel* PanelIfAny() const { return m_panel.get(); }
  bool Shown() const { return m_panel && m_panel->IsShown(); }
  void Destroy() { m_panel.reset(); }
  // The main window moved: a docked panel is carried along.
  void FollowMainWindow();
  // The list editor of command 32871.
  CChannelListHost& ListEditing() { return *m_listEditing; }

  // The main window's channel steps, after its own recording and busy checks.
  void Step(ChannelStep step);
  void ReselectCurrentChannelRow();
  int SelectedRowTunerIndex() const;
  void EnableControls(bool enable);
  // The searches of the window's keys; false for the actions that are not the panel's.
  bool OnKeyAction(KeyAction action);
  // The channel panel as the playback panel's snapping sees it.
  panels::OtherPanel AsOtherPanel();

  // ---- IChannelPanelHost ----
  panels::PlayerState State() const override;
  bool IsSearching() const override;
  void ChangeChannel(const std::u16string& code) override;
  void ResetTimeshiftCounter() override {}
  void StopRecordingForSearch() override;
  void RunSearch(int kind, const panels::SearchSteps& steps) override;
  void ForwardKey(QKeyEvent* event) override;
  QRect MainWindowRect() const override;
  panels::OtherPanel PlaybackPanel() override {
    return m_playbackPanel ? m_playbackPanel() : panels::OtherPanel{};
  }
  void PanelShownChanged(bool shown) override;
  void PanelClosedByButton() override {}

  // ---- panels::IPanelPrompter ----
  panels::PromptAnswer Ask(const QString& text, const QString& title, panels::PromptButtons buttons) override;

 private:
  void Refresh(const std::vector<ChannelEntry>& entries);
  std::optional<int> AskArea(int preselected);

  CPlayerDlg& m_dlg;
  IPrompter& m_prompter;
  std::function<panels::OtherPanel()> m_playbackPanel;
  std::unique_ptr<CChannelPanel> m_panel;
  std::unique_ptr<CChannelListHost> m_listEditing;
};

}  // namespace tevalo::shell
