#include "player/shell/channel_list_host.h"

#include "player/shell/channel_panel_host.h"
#include "player/shell/player_dlg.h"

namespace tevalo::shell {

CChannelListCommand::Outcome CChannelListHost::OnChannelSearch() {
  return CChannelListCommand(*this, m_prompter).Run();
}

bool CChannelListHost::Recording() const { return m_dlg.Core().State().recording; }

bool CChannelListHost::Busy() const {
  const CoreState s = m_dlg.Core().State();
  return s.sourceMode == SourceMode::kRecording || s.opening || s.searching;
}

int CChannelListHost::AreaIndex() const { return m_dlg.Core().AreaIndex(); }

std::optional<int> CChannelListHost::RunEditor(int area) {
  m_panels.Panel();  // the search the editor's OK runs fills it
  CChannelListDlg editor(*this, m_panels, this, &m_dlg);
  editor.SetAreaIndex(area);
  m_editor = &editor;
  const int result = editor.DoModal();
  m_editor = nullptr;
  if (result != QDialog::Accepted) return std::nullopt;
  return editor.AreaIndex();
}

void CChannelListHost::LoadAreaList(int area) { m_dlg.Core().LoadChannelList(area); }

channels::CChannelList& CChannelListHost::CurrentList() { return m_dlg.Core().EditableChannelList(); }

// The editor has saved the list into the core's current list, so the core searches that list.
void CChannelListHost::SearchEditedList(int area, const channels::SearchList&, std::function<void()> done) {
  std::function<void()> ifRefused = done;
  if (!m_dlg.Core().SearchEditedList(area, std::move(done))) ifRefused();
}

}  // namespace tevalo::shell
