#include "player/panels/channel_panel_model.h"

#include <string>

namespace tevalo::panels {

using channels::ChannelIndexOfCode;

std::optional<SearchSteps> StepsForSearch(int kind) {
  // A full search starts afresh: no playback, no history, no stored channel.
  constexpr SearchSteps kFull{.hideProgrammeStrip = true,
                              .closeGraph = true,
                              .resetHistory = true,
                              .emptyList = true,
                              .forgetStoredChannel = true,
                              .chooseArea = true};
  switch (kind) {
    case 0:
      return kFull;
    case 1:
      return SearchSteps{.resetHistory = true, .emptyList = true, .chooseArea = true};
    case 2:
      return SearchSteps{};
    case 3: {
      SearchSteps list = kFull;
      list.takeStoredList = true;
      return list;
    }
    default:
      return std::nullopt;
  }
}

void CChannelPanelModel::Clear() {
  m_records.clear();
  m_rows.clear();
  m_selected = -1;
  ResetHistory();
}

void CChannelPanelModel::Fill(const std::vector<channels::ChannelEntry>& entries,
                              const std::u16string& currentChannel) {
  Clear();
  for (const auto& e : entries) {
    m_records.push_back({e.name, channels::ChannelCodeOf(e), e.index, e.tunerIndex, e.availability});
    if (channels::IsListed(e)) {
      m_rows.push_back(static_cast<int>(m_records.size()) - 1);
      if (m_records.back().code == currentChannel) m_selected = RowCount() - 1;
    }
  }
  m_codeSuffix = u"1";
}

std::u16string CChannelPanelModel::RowText(int row) const {
  const ChannelListRecord* r = RowRecord(row);
  if (!r) return {};
  const std::string uhf = std::to_string(r->tunerIndex + 13);
  return std::u16string(uhf.begin(), uhf.end()) + u"    " + r->name;
}

const ChannelListRecord* CChannelPanelModel::RowRecord(int row) const {
  if (row < 0 || row >= RowCount()) return nullptr;
  return &m_records[static_cast<size_t>(m_rows[static_cast<size_t>(row)])];
}

std::u16string CChannelPanelModel::RowCode(int row) const {
  const ChannelListRecord* r = RowRecord(row);
  return r ? r->code : std::u16string();
}

int CChannelPanelModel::SingleSearchChannel() const {
  const ChannelListRecord* r = RowRecord(m_selected);
  return r ? r->channelIndex : 0;
}

int CChannelPanelModel::RowOfChannel(int channelIndex) const {
  int found = -1;
  for (int row = 0; row < RowCount(); ++row)
    if (RowRecord(row)->channelIndex == channelIndex) found = row;
  return found;
}

const ChannelListRecord* CChannelPanelModel::RecordOfChannel(int channelIndex) const {
  for (const auto& r : m_records)
    if (r.channelIndex == channelIndex) return &r;
  return nullptr;
}

bool CChannelPanelModel::SetAvailability(int channelIndex, int availability) {
  for (auto& r : m_records) {
    if (r.channelIndex != channelIndex || r.availability == -1) continue;
    r.availability = availability;
    return true;
  }
  return false;
}

void CChannelPanelModel::Select(int row) { m_selected = row >= 0 && row < RowCount() ? row : -1; }

bool CChannelPanelModel::SelectAdjacent(bool previous, const std::u16string& currentChannel) {
  if (m_selected < 0) return false;
  if (m_codeSuffix.empty() && !currentChannel.empty())
    m_codeSuffix = currentChannel.substr(currentChannel.size() - 1);
  const int step = previous ? -1 : 1;
  // Rows are the listed records in record order, so the neighbouring row is the next record that has
  // a row and carries the suffix.
  for (int row = m_selected + step; row >= 0 && row < RowCount(); row += step) {
    const std::u16string& code = RowRecord(row)->code;
    if (!code.empty() && code.substr(code.size() - 1) == m_codeSuffix) {
      m_selected = row;
      return true;
    }
  }
  return false;
}

TuneDecision CChannelPanelModel::DecideTune(const PlayerState& state, bool selectionChange) const {
  if (m_selected < 0) return TuneDecision::Nothing;
  if (selectionChange && !state.filePlayback &&
      ChannelIndexOfCode(RowCode(m_selected)) == ChannelIndexOfCode(state.currentChannel))
    return TuneDecision::Nothing;
  if (state.recording) return TuneDecision::RefuseRecording;
  return TuneDecision::Change;
}

void CChannelPanelModel::PushHistory(const std::u16string& code) {
  m_history.resize(static_cast<size_t>(m_historyPos + 1));
  m_history.push_back(code);
  ++m_historyPos;
}

std::optional<CChannelPanelModel::HistoryStep> CChannelPanelModel::HistoryBack(
    const std::u16string& currentChannel) {
  if (m_historyPos <= 0) return std::nullopt;
  --m_historyPos;
  return HistoryTarget(currentChannel);
}

std::optional<CChannelPanelModel::HistoryStep> CChannelPanelModel::HistoryForward(
    const std::u16string& currentChannel) {
  if (m_historyPos + 1 >= static_cast<int>(m_history.size())) return std::nullopt;
  ++m_historyPos;
  return HistoryTarget(currentChannel);
}

std::optional<CChannelPanelModel::HistoryStep> CChannelPanelModel::HistoryTarget(
    const std::u16string& currentChannel) const {
  const std::u16string& code = m_history[static_cast<size_t>(m_historyPos)];
  for (int row = 0; row < RowCount(); ++row) {
    if (RowCode(row) != code) continue;
    if (ChannelIndexOfCode(code) == ChannelIndexOfCode(currentChannel)) return std::nullopt;
    return HistoryStep{code, row};
  }
  return std::nullopt;
}

void CChannelPanelModel::ResetHistory() {
  m_history.clear();
  m_historyPos = -1;
}

}  // namespace tevalo::panels
