#include "player/shell/playback_panel_host.h"

#include "controls/hover_button.h"
#include "player/panels/playback_panel.h"
#include "player/shell/player_app.h"
#include "player/shell/player_dlg.h"

namespace tevalo::shell {

CPlaybackPanelHost::CPlaybackPanelHost(CPlayerDlg& dlg, std::function<bool()> compactView)
    : m_dlg(dlg), m_compactView(std::move(compactView)) {}

void CPlaybackPanelHost::SetChannelPanel(std::function<panels::OtherPanel()> state,
                                         std::function<void()> selChange) {
  m_channelPanel = std::move(state);
  m_channelSelChange = std::move(selChange);
}

panels::PanelSource CPlaybackPanelHost::Source() const {
  // Only a recording is the panel's to control; other media (a URL) is neither live nor a file.
  switch (m_dlg.Core().State().sourceMode) {
    case SourceMode::kRecording:
      return panels::PanelSource::kFile;
    case SourceMode::kLive:
      return panels::PanelSource::kLive;
    default:
      return panels::PanelSource::kNone;
  }
}

bool CPlaybackPanelHost::HasGraph() const { return m_dlg.Core().MediaGraph() != nullptr; }

bool CPlaybackPanelHost::GetPosition(int* tenths) {
  const auto graph = m_dlg.Core().MediaGraph();
  return graph && graph->GetPosition(tenths) == 1;
}

int CPlaybackPanelHost::GetDuration() {
  const auto graph = m_dlg.Core().MediaGraph();
  int tenths = 0;
  if (graph) graph->GetDuration(&tenths);
  return tenths;
}

void CPlaybackPanelHost::SetPosition(int tenths) {
  if (const auto graph = m_dlg.Core().MediaGraph()) graph->SetPosition(tenths);
}

void CPlaybackPanelHost::OpenRecordingFiles() { m_dlg.Core().OpenRecordingFiles(); }

void CPlaybackPanelHost::ExecuteControl(int code) {
  m_dlg.Core().ExecuteControl(static_cast<unsigned>(code));
}

void CPlaybackPanelHost::PanelClosedByButton() {
  if (CHoverButton* button = m_dlg.Button(kPanelButton)) {
    button->LoadBitmapW(kPanelButtonPlayStrip);
    button->update();
  }
  // In compact view the buttons stay hidden until the view is left.
  if (m_compactView && m_compactView()) return;
  if (CHoverButton* start = m_dlg.Button(kTimeshiftStartButton)) start->show();
  if (CHoverButton* play = m_dlg.Button(kTimeshiftPlayButton)) play->hide();
}

void CPlaybackPanelHost::ClearButtonHideMode() {
  for (int id : kHideModeButtons)
    if (CHoverButton* button = m_dlg.Button(id)) {
      button->setHideButton(false);
      button->update();
    }
}

void CPlaybackPanelHost::PanelShownChanged(bool shown) {
  if (CPlayerApp* app = CPlayerApp::Instance()) app->m_bPlaybackPanelShown = shown ? 1 : 0;
}

panels::SnapRect CPlaybackPanelHost::MainWindowRect() const {
  const QRect r = m_dlg.frameGeometry();
  return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

panels::OtherPanel CPlaybackPanelHost::ChannelPanel() {
  return m_channelPanel ? m_channelPanel() : panels::OtherPanel{};
}

void CPlaybackPanelHost::ChannelPanelSelChange() {
  if (m_channelSelChange) m_channelSelChange();
}

void BindPlaybackPanelToggle(CCommandTable& table, std::function<CPlaybackPanel*()> panel) {
  table.Set({CPlaybackPanelHost::kPanelButton, 32867}, [panel = std::move(panel)] {
    if (CPlaybackPanel* p = panel()) p->ShowPanel(!p->IsShown());
  });
}

}  // namespace tevalo::shell
