#include "player/panels/channel_list_editor.h"

namespace tevalo::panels {

using channels::kEnabledNameLength;

void CChannelListEditor::Open(int area) {
  m_area = area;
  m_working.Reset(area);
  m_working.CopyFrom(&m_store.CurrentList());
  FillRows();
}

std::u16string CChannelListEditor::DefaultName(int row) const {
  std::u16string preset = channels::PresetName(m_area, row);
  return preset.empty() ? channels::UhfName(row) : preset;
}

std::u16string CChannelListEditor::RowText(int row) const {
  return row >= 0 && row < kRows ? m_rowText[static_cast<size_t>(row)] : std::u16string();
}

void CChannelListEditor::FillRows() {
  for (int i = 0; i < kRows; ++i) {
    const std::u16string stored = m_working.GetName(i);
    m_rowText[static_cast<size_t>(i)] = stored.empty() ? DefaultName(i) : stored;
  }
  m_saved = true;
}

void CChannelListEditor::SetTicked(int row, bool ticked) {
  if (row < 0 || row >= kRows) return;
  const int flag = ticked ? 1 : 0;
  if (flag != (m_working.GetEnable(row) != 0 ? 1 : 0)) m_saved = false;
  m_working.SetEnable(row, flag);
}

std::u16string CChannelListEditor::StoredNameFor(int row, const std::u16string& text) const {
  return text == DefaultName(row) ? std::u16string() : text;
}

std::u16string CChannelListEditor::EndLabelEdit(int row, const std::optional<std::u16string>& text) {
  if (row < 0 || row >= kRows) return {};
  if (!text) return RowText(row);
  const std::u16string shown = text->empty() ? DefaultName(row) : *text;
  m_rowText[static_cast<size_t>(row)] = shown;
  m_working.SetName(row, StoredNameFor(row, shown));
  m_saved = false;
  return shown;
}

bool CChannelListEditor::Apply() {
  for (int i = 0; i < kRows; ++i) {
    std::u16string text = m_rowText[static_cast<size_t>(i)];
    if (text.size() > static_cast<size_t>(kEnabledNameLength)) text.resize(kEnabledNameLength);
    m_working.SetName(i, StoredNameFor(i, text));
  }
  channels::CChannelList& current = m_store.CurrentList();
  current.CopyFrom(&m_working);
  if (current.Save() == 0) return false;
  m_saved = true;
  return true;
}

void CChannelListEditor::SwitchArea(int area) {
  m_store.LoadAreaList(area);
  m_working.Clear();
  m_working.Reset(area);
  m_working.CopyFrom(&m_store.CurrentList());
  m_area = area;
  FillRows();
}

}  // namespace tevalo::panels
