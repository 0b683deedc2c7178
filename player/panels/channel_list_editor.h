// The channel list editor's rules without a window: a working copy of the current channel list for
// one area, its 50 rows (name shown, tick), renames, ticks, saving and switching the area.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "player/channels/channel_list.h"

namespace tevalo::panels {

// What the editor needs of the player: its current channel list and the loading of an area's list.
class IChannelListStore {
 public:
  virtual ~IChannelListStore() = default;
  virtual channels::CChannelList& CurrentList() = 0;
  // The player switches to the area: its area index set, the current list cleared, reset to the area
  // and loaded from "chlist.ini".
  virtual void LoadAreaList(int area) = 0;
};

class CChannelListEditor {
 public:
  static constexpr int kRows = channels::kListChannels;

  explicit CChannelListEditor(IChannelListStore& store) : m_store(store) {}

  // Opening: the working list copies the current list of the area; rows filled; nothing unsaved.
  void Open(int area);
  int Area() const { return m_area; }
  const channels::CChannelList& Working() const { return m_working; }
  bool Saved() const { return m_saved; }

  // The preset name of the row in the area, else "CH%d".
  std::u16string DefaultName(int row) const;
  std::u16string RowText(int row) const;
  bool RowTicked(int row) const { return m_working.GetEnable(row) != 0; }

  // A tick changed: the row's flag; unsaved when it differs.
  void SetTicked(int row, bool ticked);
  // A rename ended: none when it was cancelled (nothing changes); an empty text becomes the default
  // name. Returns the row's text.
  std::u16string EndLabelEdit(int row, const std::optional<std::u16string>& text);
  // "適用": the rows' names into the working list, the current list copies it and is saved. False
  // (and still unsaved) when the file cannot be written.
  bool Apply();
  // The area's list replaces the working copy (the caller has settled unsaved changes first).
  void SwitchArea(int area);
  // The stored-list search the editor's OK runs.
  channels::SearchList SearchList() const { return m_working.GetSearchList(); }

 private:
  void FillRows();
  std::u16string StoredNameFor(int row, const std::u16string& text) const;

  IChannelListStore& m_store;
  channels::CChannelList m_working;
  std::array<std::u16string, kRows> m_rowText;
  int m_area = -1;
  bool m_saved = true;
};

}  // namespace tevalo::panels
