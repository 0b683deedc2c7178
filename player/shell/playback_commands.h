// The playback panel's rows of the main window's dispatch table: the panel's own buttons (1082-1089)
// and the menu's recording-playback items (32878-32882) reach the panel only while it exists and is
// shown.
#pragma once

#include "player/shell/command_table.h"

namespace tevalo::shell {

// What the rows need of the main window and its panel.
class IPlaybackCommandTarget {
 public:
  virtual ~IPlaybackCommandTarget() = default;
  virtual bool PanelShown() const = 0;  // it exists and is shown
  virtual bool RecordingFilePlays() const = 0;
  virtual bool PanelPlayShown() const = 0;  // play shown, pause hidden
  virtual void PanelCommand(int id) = 0;
};

inline constexpr CommandId kPlaybackPanelIds[] = {1082, 1083, 1084, 1085, 1086, 1087, 1089};

inline void BindPlaybackCommands(CCommandTable& table, IPlaybackCommandTarget& target) {
  auto forward = [&target](int id) {
    return [&target, id] {
      if (target.PanelShown()) target.PanelCommand(id);
    };
  };
  for (CommandId id : kPlaybackPanelIds) table.Set(id, forward(static_cast<int>(id)));
  table.Set(32879, forward(1083));
  table.Set(32878, forward(1087));
  table.Set(32881, forward(1086));
  table.Set(32882, forward(1082));
  // Start/pause goes to the button the panel shows, so the panel keeps showing the other one.
  table.Set(32880, [&target] {
    if (target.PanelShown() && target.RecordingFilePlays())
      target.PanelCommand(target.PanelPlayShown() ? 1085 : 1084);
  });
}

}  // namespace tevalo::shell
