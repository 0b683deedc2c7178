#include "player/shell/channel_panel_host.h"

#include <QEvent>
#include <QKeyEvent>

#include "player/panels/area_select_dlg.h"
#include "player/shell/channel_list_host.h"
#include "player/shell/player_app.h"
#include "player/shell/player_dlg.h"

namespace tevalo::shell {
namespace {

constexpr int kProgrammeStripId = 1047;
constexpr CommandId kTogglePanel = 32810;
constexpr CommandId kEditChannelList = 32871;

panels::SnapRect ToSnap(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

}  // namespace

CChannelPanelHost::CChannelPanelHost(CPlayerDlg& dlg, IPrompter& prompter,
                                     std::function<panels::OtherPanel()> playbackPanel)
    : m_dlg(dlg),
      m_prompter(prompter),
      m_playbackPanel(std::move(playbackPanel)),
      m_listEditing(std::make_unique<CChannelListHost>(dlg, *this, prompter)) {}

CChannelPanelHost::~CChannelPanelHost() = default;

void CChannelPanelHost::Bind() {
  CCommandTable& table = m_dlg.Commands();
  for (CommandId id : {CChannelPanel::kClose, CChannelPanel::kChannelUp, CChannelPanel::kChannelDown,
                       CChannelPanel::kSingleSearch, CChannelPanel::kFullSearch, CChannelPanel::kListSearch})
    table.Set(id, [this, id] { Panel().OnCommand(static_cast<int>(id)); });
  table.Set(kTogglePanel, [this] { Panel().ToggleShow(); });
  table.Set(kEditChannelList, [this] { m_listEditing->OnChannelSearch(); });

  auto& hooks = m_dlg.GetHooks();
  hooks.askArea = [this](int preselected) { return AskArea(preselected); };
  hooks.loadChannelList = [this](int area) { return m_dlg.Core().LoadChannelList(area); };
  hooks.refreshChannelPanel = [this](const std::vector<ChannelEntry>& entries) { Refresh(entries); };
  hooks.hideChannelPanel = [this] {
    if (Shown()) m_panel->ToggleShow();
  };
  hooks.channelLockChanged = [this](int index, bool locked) {
    if (m_panel) m_panel->SetChannelLock(index, locked ? 1 : 0);
  };
  auto& coreHooks = m_dlg.Core().GetHooks();
  coreHooks.showChannelPanel = [this] {
    if (!Shown()) Panel().ToggleShow();
  };
  coreHooks.retuneCurrentRow = [this] { Panel().RetuneCurrent(); };
}

CChannelPanel& CChannelPanelHost::Panel() {
  if (!m_panel) {
    m_panel = std::make_unique<CChannelPanel>(*this, *this, &m_dlg);
    m_panel->Create();
  }
  return *m_panel;
}

// After a search the core has already tuned its pick: the panel selects that row, and the tune
// counts as the user's first visit.
void CChannelPanelHost::Refresh(const std::vector<ChannelEntry>& entries) {
  const std::u16string current = m_dlg.Core().State().currentChannel;
  CChannelPanel& panel = Panel();
  panel.FillChannelList(entries, current);
  panel.SelectChannel(channels::ChannelIndexOfCode(current));
  if (panel.Model().Selected() >= 0) panel.PushHistory(panel.Model().RowCode(panel.Model().Selected()));
  panel.RefreshBusy();
}

std::optional<int> CChannelPanelHost::AskArea(int preselected) {
  CAreaSelectDlg dialog(&m_dlg);
  dialog.m_nSelected = preselected;
  if (dialog.DoModal() != QDialog::Accepted) return std::nullopt;
  return dialog.m_nSelected;
}

void CChannelPanelHost::Step(ChannelStep step) {
  CChannelPanel& panel = Panel();
  switch (step) {
    case ChannelStep::kUp:
      panel.ChannelUp();
      break;
    case ChannelStep::kDown:
      panel.ChannelDown();
      break;
    case ChannelStep::kForward:
      panel.HistoryForward();
      break;
    case ChannelStep::kBack:
      panel.HistoryBack();
      break;
  }
}

void CChannelPanelHost::ReselectCurrentChannelRow() {
  if (m_panel) m_panel->SelectChannel(channels::ChannelIndexOfCode(m_dlg.Core().State().currentChannel));
}

int CChannelPanelHost::SelectedRowTunerIndex() const {
  if (!m_panel) return -1;
  const auto* record = m_panel->Model().RowRecord(m_panel->Model().Selected());
  return record ? record->tunerIndex : -1;
}

void CChannelPanelHost::EnableControls(bool enable) {
  if (m_panel) m_panel->EnableControls(enable);
}

bool CChannelPanelHost::OnKeyAction(KeyAction action) {
  if (action == KeyAction::kFullSearch) {
    Panel().StartSearch(0);
    return true;
  }
  if (action == KeyAction::kListSearch) {
    Panel().StartSearch(3);
    return true;
  }
  return false;
}

panels::OtherPanel CChannelPanelHost::AsOtherPanel() {
  if (!m_panel) return {};
  return {&m_panel->Dock(), ToSnap(m_panel->frameGeometry()), m_panel->IsShown()};
}

// ---- IChannelPanelHost ----

panels::PlayerState CChannelPanelHost::State() const {
  const CoreState s = m_dlg.Core().State();
  panels::PlayerState state;
  state.busy = s.opening || s.busy || s.searching;
  state.recording = s.recording;
  state.filePlayback = s.sourceMode == SourceMode::kRecording;
  state.currentChannel = s.currentChannel;
  return state;
}

bool CChannelPanelHost::IsSearching() const { return m_dlg.Core().State().searching; }

void CChannelPanelHost::ChangeChannel(const std::u16string& code) { m_dlg.Core().ChangeChannel(code, false); }

void CChannelPanelHost::StopRecordingForSearch() { m_dlg.Core().StopRecording(true); }

void CChannelPanelHost::RunSearch(int kind, const panels::SearchSteps& steps) {
  if (steps.hideProgrammeStrip)
    if (QWidget* strip = m_dlg.Control(kProgrammeStripId)) strip->hide();
  CPlayerCore::PanelSearch search;
  search.closeGraph = steps.closeGraph;
  search.forgetStoredChannel = steps.forgetStoredChannel;
  search.chooseArea = steps.chooseArea;
  if (kind == static_cast<int>(SearchKind::kSingle)) search.channel = Panel().Model().SingleSearchChannel();
  m_dlg.Core().SearchFromPanel(static_cast<SearchKind>(kind), search);
}

void CChannelPanelHost::ForwardKey(QKeyEvent* event) {
  if (m_dlg.GetHooks().keyPressed) m_dlg.GetHooks().keyPressed(event);
}

QRect CChannelPanelHost::MainWindowRect() const { return m_dlg.frameGeometry(); }

void CChannelPanelHost::PanelShownChanged(bool shown) {
  if (CPlayerApp* app = CPlayerApp::Instance()) app->m_bChannelPanelShown = shown ? 1 : 0;
}

panels::PromptAnswer CChannelPanelHost::Ask(const QString& text, const QString& title,
                                            panels::PromptButtons buttons) {
  Prompt prompt{text.toStdU16String(), title.toStdU16String(), Prompt::Buttons::kOk};
  switch (buttons) {
    case panels::PromptButtons::Ok:
      m_prompter.Ask(prompt);
      return panels::PromptAnswer::Ok;
    case panels::PromptButtons::YesNo:
      prompt.buttons = Prompt::Buttons::kYesNo;
      return m_prompter.Ask(prompt) ? panels::PromptAnswer::Yes : panels::PromptAnswer::No;
    case panels::PromptButtons::YesNoCancel:
      prompt.buttons = Prompt::Buttons::kYesNoCancel;
      switch (m_prompter.Choose(prompt)) {
        case Prompt::Reply::kYes:
          return panels::PromptAnswer::Yes;
        case Prompt::Reply::kNo:
          return panels::PromptAnswer::No;
        case Prompt::Reply::kCancel:
          return panels::PromptAnswer::Cancel;
      }
  }
  return panels::PromptAnswer::Cancel;
}

void CChannelPanelHost::FollowMainWindow() {
  if (m_panel) m_panel->FollowMainWindow(m_dlg.frameGeometry().topLeft());
}

}  // namespace tevalo::shell
