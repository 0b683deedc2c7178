// The settings store: the installation's folders (read-only values) and "config.ini" in the user
// folder, read and written as plain values. No window, no tuner: the main window applies them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "player/shell/core_types.h"
#include "player/shell/volume.h"
#include "tuner/wrapper/tdmb_dll.h"

namespace tevalo::shell {

inline constexpr char16_t kConfigFileName[] = u"config.ini";
inline constexpr int kAreaCount = 47;
inline constexpr int kFirstStartArea = 7;

struct InstallPaths {
  std::u16string installDir;  // "install_Dir" as read
  std::u16string userDir;     // "User_Dir" as read
  std::u16string configPath;  // userDir joined with "config.ini"; "config.ini" when userDir is empty
};

// Reads the folders from the installation values; a missing value leaves its folder empty, so the
// files are then looked for in the current folder.
InstallPaths LoadPaths();

struct PlayerSettings {
  int always = 0;
  int volume = kVolumeMax;  // 0..900
  int muted = 0;
  int defaultView = 0;  // 0 normal, 1 compact, 2 full screen
  int lastView = 0;
  int startViewLast = 0;
  int useTrayMode = 0;  // kept and written back
  int areaIndex = -1;   // 0..46, -1 none chosen yet
  int taskId = 0;
  std::u16string userPass;  // without its two marker characters

  // The view to start in.
  int StartView() const { return startViewLast ? lastView : defaultView; }
};

// Missing keys give the defaults; out-of-range values are brought into range (volume clamped, an
// area outside the table is none). USERPASS is read only when readUserPass is set.
PlayerSettings ReadSettings(const std::u16string& configPath, bool readUserPass);

// Writes the [SETUP] keys (not USERPASS). While muted, savedVolume (the position before muting) is
// written as the volume. False when the file cannot be written.
bool WriteSettings(const std::u16string& configPath, const PlayerSettings& settings, int savedVolume);

// The search the start runs, decided once the area is known and its channel list loaded.
struct StartSearch {
  SearchKind kind = SearchKind::kArea;
  int areaIndex = kFirstStartArea;
  bool areaChosen = false;  // asked on a first start
};
// askArea: the area dialog with the preselected area; nullopt when it ended without a choice.
// loadChannelList: loads the area's list, true when it holds an enabled channel.
StartSearch DecideStartSearch(int storedArea,
                              const std::function<std::optional<int>(int preselected)>& askArea,
                              const std::function<bool(int area)>& loadChannelList);

// "%d_LOCK" of every channel index (default 0, any nonzero value reads as 1).
std::array<int, kChannelCount> ReadChannelLocks(const std::u16string& configPath);
// Writes the locks that are known; an unknown one (nullopt) keeps what the file holds.
bool WriteChannelLocks(const std::u16string& configPath,
                       const std::function<std::optional<int>(int index)>& lockOf);

}  // namespace tevalo::shell
