// The user's channel list: which of the 50 channel indices (UHF channel = index + 13) are wanted,
// under which names, for one of the 47 areas; stored per area in "chlist.ini". The player keeps one
// (the current list); the list editor works on a second one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tevalo::channels {

inline constexpr int kListChannels = 50;
// Names handed to the tuner fill a 50-character buffer: 49 characters and the terminator.
inline constexpr int kEnabledNameLength = 49;

using ChannelFlags = std::array<int32_t, kListChannels>;

// The station table's name of channel index c in area a; "" when a or c is out of range or the area
// has no station there.
std::u16string PresetName(int area, int channel);
// "CH%d" with channel + 13.
std::u16string UhfName(int channel);

// What a scan of a stored list passes to the tuner: channel indices and their names, by position.
struct SearchList {
  std::vector<int32_t> indices;
  std::vector<std::u16string> names;

  int Count() const { return static_cast<int>(indices.size()); }
  bool operator==(const SearchList&) const = default;
};

class CChannelList {
 public:
  CChannelList();
  virtual ~CChannelList();
  CChannelList(const CChannelList&) = default;
  CChannelList& operator=(const CChannelList&) = default;

  // List index (the area, and the number of the list's section), default list name, everything
  // cleared.
  void Reset(int index);
  void Reset(int index, std::u16string iniPath);

  // The list's section of "chlist.ini"; 0 when there is no ini path, else 1. Missing keys take their
  // defaults; a list never saved enables the area's preset channels.
  int Load();
  // Writes the section in one go; 0 when there is no ini path or the file cannot be written.
  int Save() const;

  std::u16string GetName(int i) const;
  void SetName(int i, std::u16string text);
  int GetEnable(int i) const;
  int SetEnable(int i, int value);
  void Clear();
  void ClearNames();
  // Names, list name and flags of another list (not its index or path); null changes nothing.
  void CopyFrom(const CChannelList* other);

  int GetEnabledCount() const;
  std::vector<int32_t> GetEnabledIndices() const;
  // The display names of the enabled channels, each cut to 49 characters.
  std::vector<std::u16string> GetEnabledNames() const;
  ChannelFlags CopyFlags() const { return m_flags; }
  // The enabled channels as the tuner's stored-list scan takes them.
  SearchList GetSearchList() const;

  // The stored name, else the area's preset name, else "CH%d".
  std::u16string DisplayName(int i) const;

  const std::u16string& ListName() const { return m_listName; }
  int Index() const { return m_index; }
  const std::u16string& IniPath() const { return m_iniPath; }

 private:
  static bool IsChannel(int i) { return i >= 0 && i < kListChannels; }

  std::array<std::u16string, kListChannels> m_names;
  ChannelFlags m_flags{};
  std::u16string m_listName = u"Channel List";
  int m_index = -1;
  std::u16string m_iniPath;
};

// statuses[j] = flags[indices[j]]: the tuner reads a stored list's states by list position.
std::vector<int32_t> StatusesOf(const SearchList& list, const ChannelFlags& flags);

}  // namespace tevalo::channels
