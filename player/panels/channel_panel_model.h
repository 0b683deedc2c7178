// What the channel panel holds and decides, without a window: its records of the found channels, the
// rows it lists, the selection, stepping up and down, the visit history and the steps of each search.
// The panel widget presents it; the player core tunes and searches.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "player/channels/channel_entry.h"

namespace tevalo::panels {

// One found channel that the panel knows (also those the list flags exclude).
struct ChannelListRecord {
  std::u16string name;
  std::u16string code;  // "%02d%02d%d" of index, scan order and valid
  int channelIndex = 0;
  int tunerIndex = -1;
  int availability = 0;  // -1 excluded (no row), 1 found, 0 not found
};

// What a search asks of the player before it stops reception and searches.
struct SearchSteps {
  bool hideProgrammeStrip = false;
  bool closeGraph = false;
  bool resetHistory = false;
  bool emptyList = false;
  bool forgetStoredChannel = false;  // "CurrentChannel" = "No-Channel"
  bool chooseArea = false;           // the search counts as a first start (m_bAreaChosen)
  bool takeStoredList = false;       // the search list and mask from the current channel list
  bool operator==(const SearchSteps&) const = default;
};

// Steps of search kinds 0 (full), 1 (area), 2 (single) and 3 (channel list); none for other kinds.
std::optional<SearchSteps> StepsForSearch(int kind);

// What the player is doing, as the panel's decisions need it.
struct PlayerState {
  bool busy = false;  // opening a channel or file, or searching
  bool recording = false;
  bool filePlayback = false;  // a ".rec" file plays
  std::u16string currentChannel;
};

// The outcome of tuning the selected row.
enum class TuneDecision {
  Nothing,          // no selection, or the channel already tuned
  Change,           // tune the row's code
  RefuseRecording,  // say so and re-select the current channel's row
};

class CChannelPanelModel {
 public:
  static constexpr int kRowsWithoutBar = 6;
  static constexpr int kWidthWithoutBar = 261;
  static constexpr int kWidthWithBar = 252;

  // Rebuilds records and rows from a search's entries, empties the history and selects the row of
  // currentChannel (none when it is not listed).
  void Fill(const std::vector<channels::ChannelEntry>& entries, const std::u16string& currentChannel);
  // Empties records, rows, selection and history.
  void Clear();

  const std::vector<ChannelListRecord>& Records() const { return m_records; }
  int RowCount() const { return static_cast<int>(m_rows.size()); }
  // "%d    %s": UHF channel (tuner index + 13), four spaces, the name.
  std::u16string RowText(int row) const;
  const ChannelListRecord* RowRecord(int row) const;
  std::u16string RowCode(int row) const;
  // The last row whose channel index is channelIndex; -1 when none.
  int RowOfChannel(int channelIndex) const;
  // The record with this channel index (rows name records by channel index).
  const ChannelListRecord* RecordOfChannel(int channelIndex) const;
  // Marks a channel found or not (a lock mark from the search); false when no record has it.
  bool SetAvailability(int channelIndex, int availability);

  int Selected() const { return m_selected; }
  // The channel a single search scans: the selected row's own channel index (the tuner looks up
  // its record), channel 0 without a selection. Not the n-th found channel for row n: rows also list
  // channels not found, so counting found channels would scan another row's channel.
  int SingleSearchChannel() const;
  // Programmatic selection: never tunes. -1 or a row out of range clears it.
  void Select(int row);
  // SelectChannel: the last row of the channel, or nothing selected.
  void SelectChannel(int channelIndex) { Select(RowOfChannel(channelIndex)); }
  // Steps the selection to the previous (up) or next (down) row whose code carries the code suffix;
  // false at the end of the list (no wrap) or without a selection.
  bool SelectAdjacent(bool previous, const std::u16string& currentChannel);

  bool NeedsScrollBar() const { return RowCount() > kRowsWithoutBar; }
  int ListWidth() const { return NeedsScrollBar() ? kWidthWithBar : kWidthWithoutBar; }

  // Tuning the selected row. selectionChange: the user picked the row (the tuned channel's own row
  // then does nothing unless a recording file plays); otherwise the panel tunes it anyway.
  TuneDecision DecideTune(const PlayerState& state, bool selectionChange) const;

  // The visit history: the user's channel changes, not the steps through it.
  void PushHistory(const std::u16string& code);
  // Moves back or forward; the code to tune and its row when that row lists another channel than
  // the current one, else none (the position has moved all the same).
  struct HistoryStep {
    std::u16string code;
    int row = -1;
  };
  std::optional<HistoryStep> HistoryBack(const std::u16string& currentChannel);
  std::optional<HistoryStep> HistoryForward(const std::u16string& currentChannel);
  void ResetHistory();
  const std::vector<std::u16string>& History() const { return m_history; }
  int HistoryPosition() const { return m_historyPos; }

 private:
  std::optional<HistoryStep> HistoryTarget(const std::u16string& currentChannel) const;

  std::vector<ChannelListRecord> m_records;
  std::vector<int> m_rows;  // record of each row
  int m_selected = -1;
  std::u16string m_codeSuffix;
  std::vector<std::u16string> m_history;
  int m_historyPos = -1;
};

}  // namespace tevalo::panels
