// The list editor joined to the main window: the command's host over the dialog's core, the
// editor's store (the core's current list) and the search its OK runs. GUI thread only.
#pragma once

#include "player/panels/channel_list_dlg.h"
#include "player/shell/channel_list_command.h"

namespace tevalo::shell {

class CPlayerDlg;
class CChannelPanelHost;

class CChannelListHost final : public IChannelListCommandHost,
                               public panels::IChannelListStore,
                               public IChannelSearchRunner {
 public:
  CChannelListHost(CPlayerDlg& dlg, CChannelPanelHost& panels, IPrompter& prompter)
      : m_dlg(dlg), m_panels(panels), m_prompter(prompter) {}

  // Command 32871.
  CChannelListCommand::Outcome OnChannelSearch();
  // The editor while it runs (tests and screenshots look at it), else none.
  CChannelListDlg* OpenEditor() const { return m_editor; }

  // ---- IChannelListCommandHost ----
  bool Recording() const override;
  bool Busy() const override;
  int AreaIndex() const override;
  std::optional<int> RunEditor(int area) override;
  // Also the store's: the editor switching its area.
  void LoadAreaList(int area) override;

  // ---- panels::IChannelListStore ----
  channels::CChannelList& CurrentList() override;

  // ---- IChannelSearchRunner ----
  void SearchEditedList(int area, const channels::SearchList& list, std::function<void()> done) override;

 private:
  CPlayerDlg& m_dlg;
  CChannelPanelHost& m_panels;
  IPrompter& m_prompter;
  CChannelListDlg* m_editor = nullptr;
};

}  // namespace tevalo::shell
