#include "player/channels/channel_list.h"

#include <string_view>

#include "platform/path/utf.h"
#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "tuner/wrapper/station_table.h"

namespace tevalo::channels {
namespace {

// Values are read as through a 100-character buffer.
constexpr size_t kReadLength = 99;

std::string Key(int list, const char* what) { return "LIST" + std::to_string(list) + "_" + what; }
std::string ChannelKey(int list, int i, const char* what) {
  return "LIST" + std::to_string(list) + "_CH" + std::to_string(i) + "_" + what;
}

std::u16string Read(const profile::IniDocument& doc, const std::string& section, const std::string& key,
                    std::u16string_view def) {
  const auto value = doc.Get(section, key);
  std::u16string out = value ? text::ToUtf16(*value) : std::u16string(def);
  if (out.size() > kReadLength) out.resize(kReadLength);
  return out;
}

std::u16string Numbered(std::u16string_view text, int n) {
  return std::u16string(text) + text::ToUtf16(std::to_string(n));
}

}  // namespace

std::u16string PresetName(int area, int channel) {
  if (channel < 0 || channel >= kListChannels) return {};
  const int entry = StationTable::FindEntry(area, channel);
  return entry < 0 ? std::u16string() : std::u16string(StationTable::kStationName[entry]);
}

std::u16string UhfName(int channel) { return Numbered(u"CH", channel + 13); }

CChannelList::CChannelList() = default;
CChannelList::~CChannelList() = default;

void CChannelList::Reset(int index) {
  m_index = index;
  m_listName = Numbered(u"Channel List ", index);
  Clear();
}

void CChannelList::Reset(int index, std::u16string iniPath) {
  Reset(index);
  m_iniPath = std::move(iniPath);
}

int CChannelList::Load() {
  if (m_iniPath.empty()) return 0;
  const profile::IniDocument doc = profile::ReadDocument(m_iniPath);
  const std::string section = "LIST" + std::to_string(m_index);
  m_listName = Read(doc, section, Key(m_index, "LISTNAME"), Numbered(u"チャンネルリスト ", m_index + 1));
  const int count = profile::Wtoi(Read(doc, section, Key(m_index, "COUNT"), u"0"));
  for (int i = 0; i < kListChannels; ++i) {
    m_names[i] = Read(doc, section, ChannelKey(m_index, i, "NAME"), u"");
    m_flags[i] = profile::Wtoi(Read(doc, section, ChannelKey(m_index, i, "ENABLE"), u""));
    if (count == 0 && !PresetName(m_index, i).empty()) m_flags[i] = 1;
  }
  return 1;
}

int CChannelList::Save() const {
  if (m_iniPath.empty()) return 0;
  const std::string section = "LIST" + std::to_string(m_index);
  const bool written = profile::EditDocument(m_iniPath, [&](profile::IniDocument& doc) {
    doc.Set(section, Key(m_index, "LISTNAME"), text::ToUtf8(m_listName));
    doc.Set(section, Key(m_index, "COUNT"), "1");
    for (int i = 0; i < kListChannels; ++i) {
      // A cleared name must not come back from the file on the next load.
      if (m_names[i].empty())
        doc.RemoveKey(section, ChannelKey(m_index, i, "NAME"));
      else
        doc.Set(section, ChannelKey(m_index, i, "NAME"), text::ToUtf8(m_names[i]));
      doc.Set(section, ChannelKey(m_index, i, "ENABLE"), std::to_string(m_flags[i]));
    }
    return true;
  });
  return written ? 1 : 0;
}

std::u16string CChannelList::GetName(int i) const { return IsChannel(i) ? m_names[i] : std::u16string(); }

void CChannelList::SetName(int i, std::u16string text) {
  if (IsChannel(i)) m_names[i] = std::move(text);
}

int CChannelList::GetEnable(int i) const { return IsChannel(i) ? m_flags[i] : 0; }

int CChannelList::SetEnable(int i, int value) {
  if (IsChannel(i)) m_flags[i] = value;
  return i;
}

void CChannelList::Clear() {
  ClearNames();
  m_flags.fill(0);
}

void CChannelList::ClearNames() { m_names.fill({}); }

void CChannelList::CopyFrom(const CChannelList* other) {
  if (!other || other == this) return;
  m_names = other->m_names;
  m_listName = other->m_listName;
  m_flags = other->m_flags;
}

int CChannelList::GetEnabledCount() const {
  int n = 0;
  for (int32_t f : m_flags) n += f != 0;
  return n;
}

std::vector<int32_t> CChannelList::GetEnabledIndices() const {
  std::vector<int32_t> out;
  for (int i = 0; i < kListChannels; ++i)
    if (m_flags[i] != 0) out.push_back(i);
  return out;
}

std::vector<std::u16string> CChannelList::GetEnabledNames() const {
  std::vector<std::u16string> out;
  for (int i = 0; i < kListChannels; ++i) {
    if (m_flags[i] == 0) continue;
    std::u16string name = DisplayName(i);
    if (name.size() > static_cast<size_t>(kEnabledNameLength)) name.resize(kEnabledNameLength);
    out.push_back(std::move(name));
  }
  return out;
}

SearchList CChannelList::GetSearchList() const { return {GetEnabledIndices(), GetEnabledNames()}; }

std::u16string CChannelList::DisplayName(int i) const {
  if (!IsChannel(i)) return {};
  if (!m_names[i].empty()) return m_names[i];
  std::u16string preset = PresetName(m_index, i);
  return preset.empty() ? UhfName(i) : preset;
}

std::vector<int32_t> StatusesOf(const SearchList& list, const ChannelFlags& flags) {
  std::vector<int32_t> out;
  out.reserve(list.indices.size());
  for (int32_t c : list.indices) out.push_back(c >= 0 && c < kListChannels ? flags[c] : 0);
  return out;
}

}  // namespace tevalo::channels
