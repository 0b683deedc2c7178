#include "player/panels/playlist.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/path/utf.h"

namespace tevalo::panels {

bool CPlaylist::Append(std::u16string path) {
  std::lock_guard lock(m_lock);
  if (static_cast<std::int32_t>(m_paths.size()) >= kMaxEntries) return false;
  m_paths.push_back(std::move(path));
  return true;
}

void CPlaylist::Replace(std::vector<std::u16string> paths) {
  if (paths.size() > static_cast<std::size_t>(kMaxEntries)) paths.resize(kMaxEntries);
  std::lock_guard lock(m_lock);
  m_paths = std::move(paths);
  m_playIndex = 0;
  BuildPlayOrderLocked();
}

bool CPlaylist::Enqueue(std::u16string path) {
  std::lock_guard lock(m_lock);
  const bool added = static_cast<std::int32_t>(m_paths.size()) < kMaxEntries;
  if (added) m_paths.push_back(std::move(path));
  m_playIndex = 0;
  BuildPlayOrderLocked();
  return added;
}

void CPlaylist::Clear() {
  std::lock_guard lock(m_lock);
  m_paths.clear();
  m_order.clear();
  m_playIndex = 0;
}

void CPlaylist::Remove(std::vector<std::int32_t> indices) {
  std::lock_guard lock(m_lock);
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  // From the last index down, so the earlier ones still name their entries.
  for (auto it = indices.rbegin(); it != indices.rend(); ++it)
    if (*it >= 0 && *it < static_cast<std::int32_t>(m_paths.size())) m_paths.erase(m_paths.begin() + *it);
  BuildPlayOrderLocked();
  const auto count = static_cast<std::int32_t>(m_paths.size());
  m_playIndex = std::clamp(m_playIndex, 0, std::max(0, count - 1));
}

void CPlaylist::BuildPlayOrder() {
  std::lock_guard lock(m_lock);
  BuildPlayOrderLocked();
}

void CPlaylist::BuildPlayOrderLocked() {
  m_order.resize(m_paths.size());
  for (std::size_t i = 0; i < m_order.size(); ++i) m_order[i] = static_cast<std::int32_t>(i);
}

std::int32_t CPlaylist::Count() const {
  std::lock_guard lock(m_lock);
  return static_cast<std::int32_t>(m_paths.size());
}

std::vector<std::u16string> CPlaylist::Paths() const {
  std::lock_guard lock(m_lock);
  return m_paths;
}

std::u16string CPlaylist::PathAt(std::int32_t index) const {
  std::lock_guard lock(m_lock);
  if (index < 0 || index >= static_cast<std::int32_t>(m_paths.size())) return {};
  return m_paths[index];
}

std::int32_t CPlaylist::PlayIndex() const {
  std::lock_guard lock(m_lock);
  return m_playIndex;
}

void CPlaylist::SetPlayIndex(std::int32_t index) {
  std::lock_guard lock(m_lock);
  m_playIndex = index;
}

std::u16string CPlaylist::PlayingPath() const {
  std::lock_guard lock(m_lock);
  if (m_playIndex < 0 || m_playIndex >= static_cast<std::int32_t>(m_order.size())) return {};
  const std::int32_t at = m_order[m_playIndex];
  if (at < 0 || at >= static_cast<std::int32_t>(m_paths.size())) return {};
  return m_paths[at];
}

std::int32_t CPlaylist::NextPlayIndex() const {
  std::lock_guard lock(m_lock);
  const std::int32_t next = m_playIndex + 1;
  return next >= 0 && next < static_cast<std::int32_t>(m_order.size()) ? next : -1;
}

CPlaylist& Playlist() {
  static CPlaylist list;
  return list;
}

std::u16string FileNameOf(std::u16string_view path) {
  const auto slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

PlaylistRow RowTextsOf(std::u16string_view path) {
  PlaylistRow row;
  const std::u16string file = FileNameOf(path);
  if (file.size() >= 4) row.name = file.substr(0, file.size() - 4);
  // The extension is the file name's: a dot in a folder name is not one.
  const auto dot = file.find_last_of(u'.');
  if (dot != std::u16string::npos) row.ext = file.substr(dot + 1);
  return row;
}

std::int32_t PlaylistRowToPlay(const std::vector<std::int32_t>& selectedRows, std::int32_t selectionMark) {
  if (selectedRows.empty()) return -1;
  if (std::find(selectedRows.begin(), selectedRows.end(), selectionMark) != selectedRows.end())
    return selectionMark;
  return *std::min_element(selectedRows.begin(), selectedRows.end());
}

std::u16string TakePlaylistPlay(const CPlaylist& list, bool& playRequest) {
  if (!playRequest) return {};
  playRequest = false;
  return list.PlayingPath();
}

std::vector<std::u16string> ParsePlaylistFile(std::string_view bytes) {
  std::vector<std::u16string> paths;
  while (!bytes.empty()) {
    const auto lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes = lf == std::string_view::npos ? std::string_view{} : bytes.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    paths.push_back(text::ToUtf16(line));
  }
  return paths;
}

std::vector<std::u16string> ReadPlaylistFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ParsePlaylistFile(bytes);
}

std::string PlaylistFilePath(const std::string& installDir) { return installDir + "plist.lst"; }

}  // namespace tevalo::panels
