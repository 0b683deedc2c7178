// The process-wide list of recordings: filled by the open dialog, queued opens and the start-up list
// file, shown by the playlist window, played by index. Plain logic: no display, no threads of its own
// (the GUI thread and the core's open step reach it under its lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tevalo::panels {

class CPlaylist {
 public:
  static constexpr std::int32_t kMaxEntries = 8000;

  // Appends a path; false (nothing added) once the list holds kMaxEntries.
  bool Append(std::u16string path);
  // The open dialog's choice replaces the list: count and play index start over, order rebuilt.
  void Replace(std::vector<std::u16string> paths);
  // A file queued while an open step runs: appended, play index 0, order rebuilt.
  bool Enqueue(std::u16string path);
  void Clear();

  // Removes the given entries (any order, duplicates and out-of-range indices ignored), keeps the
  // rest in order, rebuilds the order and keeps the play index inside the list.
  void Remove(std::vector<std::int32_t> indices);

  // play order[i] = i.
  void BuildPlayOrder();

  std::int32_t Count() const;
  std::vector<std::u16string> Paths() const;
  // The path at a list position; empty outside the list.
  std::u16string PathAt(std::int32_t index) const;

  std::int32_t PlayIndex() const;
  void SetPlayIndex(std::int32_t index);
  // The path the play index names through the play order; empty when it names none.
  std::u16string PlayingPath() const;
  // The play index of the entry after the playing one; -1 after the last.
  std::int32_t NextPlayIndex() const;

 private:
  void BuildPlayOrderLocked();

  mutable std::mutex m_lock;
  std::vector<std::u16string> m_paths;
  std::vector<std::int32_t> m_order;
  std::int32_t m_playIndex = 0;
};

// The one playlist of the process.
CPlaylist& Playlist();

// The rows the list shows for a path: the file name (after the last '\' or '/') less its last four
// characters ("" when shorter), and the text after its last '.' ("" without one).
struct PlaylistRow {
  std::u16string name;
  std::u16string ext;
  bool operator==(const PlaylistRow&) const = default;
};
PlaylistRow RowTextsOf(std::u16string_view path);
// The file name a path shows as while it plays (after the last '\' or '/').
std::u16string FileNameOf(std::u16string_view path);

// The row a double click plays: the selection mark when it names a selected row, else the first
// selected row; -1 without a selection.
std::int32_t PlaylistRowToPlay(const std::vector<std::int32_t>& selectedRows, std::int32_t selectionMark);

// The main window's answer to the playlist window's play request: nothing unless the window asked
// (the request is used up) and the play index names an entry; else the path to open.
std::u16string TakePlaylistPlay(const CPlaylist& list, bool& playRequest);

// "plist.lst": one path a line, LF ends a line and a CR before it goes, bytes read as UTF-8; empty
// lines are skipped and an unterminated last line is kept.
std::vector<std::u16string> ParsePlaylistFile(std::string_view bytes);
// Reads and parses the file; an unreadable or missing file gives no paths.
std::vector<std::u16string> ReadPlaylistFile(const std::string& path);
// The file's place: the installation folder with "plist.lst" appended directly.
std::string PlaylistFilePath(const std::string& installDir);

}  // namespace tevalo::panels
