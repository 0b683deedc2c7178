// What the updater shares with the installed player: the installation values it reads, the player's
// window title, single-instance lock and version events, and the layout of the update host.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tevalo::updater {

inline constexpr char16_t kPlayerWindowTitle[] = u"Tevalo";
inline constexpr char kPlayerInstanceLock[] = "Global\\{719967F0-DCC6-49b5-9C61-DE91175C3187}";
inline constexpr char kRecentVersionEvent[] = "RECENT_VERSION_EVENT";
inline constexpr char kOldVersionEvent[] = "OLD_VERSION_EVENT";
// The player program in the installation folder.
inline constexpr char kPlayerProgram[] = "tevalo";

inline constexpr char kUpdateRoot[] = "/Update/1SEG/KANORU/";
inline constexpr char kUpdatePassword[] = "qzrkw5831";
inline constexpr char kDefaultUpdateHost[] = "update.tevalo.example";
inline constexpr char kDefaultUpdateUser[] = "tevalo";
inline constexpr uint16_t kDefaultUpdatePort = 21;

// The update host as installation left it ("Update_Host", "Update_User", "Update_Port",
// "Update_Passive" under the program's key), with the built-in values for what is missing.
struct UpdateServer {
  QString host;
  uint16_t port = kDefaultUpdatePort;
  QString user;
  QString password;
  bool passive = false;
};
UpdateServer ReadUpdateServer();

// "Install_Dir" (not empty) and "Version" of the installed player; read-only access.
std::optional<QString> ReadInstallDir();
std::optional<QString> ReadInstalledVersion();

// Waits until no process holds the player's single-instance lock, at most timeoutMs. A player whose
// window is gone keeps the lock while it shuts its tuner down; a new start before that would find
// neither a window to hand over to nor a free lock. False when the lock stayed taken.
bool WaitForPlayerExit(uint32_t timeoutMs);

}  // namespace tevalo::updater
