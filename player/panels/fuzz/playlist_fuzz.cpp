// Any bytes as the playlist file: every path it gives through the row texts the window shows, and
// the list it makes played from first to last.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/panels/playlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto paths =
      tevalo::panels::ParsePlaylistFile(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& path : paths) {
    tevalo::panels::RowTextsOf(path);
    tevalo::panels::FileNameOf(path);
  }
  tevalo::panels::CPlaylist list;
  list.Replace(paths);
  for (int32_t i = 0; i >= 0; i = list.NextPlayIndex()) {
    list.SetPlayIndex(i);
    list.PlayingPath();
  }
  return 0;
}
