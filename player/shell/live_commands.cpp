#include "player/shell/live_commands.h"

#include "player/shell/channel_code.h"

namespace tevalo::shell {

void BindLiveTvCommands(CCommandTable& table, ILiveTvCommands& t) {
  table.Set(1050, [&t] { t.ExecuteControl(6); });
  table.Set(1051, [&t] { t.ExecuteControl(7); });
  table.Set(1052, [&t] { t.ExecuteControl(8); });
  table.Set(1054, [&t] { t.ExecuteControl(2); });
  table.Set({1073, 32799}, [&t] { t.StopTimeshift(); });
  table.Set({1074, 32798}, [&t] { t.PlayTimeshift(); });
  table.Set({1075, 32797}, [&t] { t.StartTimeshift(); });
  table.Set(1077, [&t] {
    if (t.IsLive() && !t.IsRecording() && !t.IsTimeshiftPaused()) t.StartRecording();
  });
  // The user's stops may ask (a reservation's recording).
  table.Set(1078, [&t] {
    if (t.IsRecording()) t.StopRecording(false);
  });
  table.Set(32877, [&t] {
    if (t.IsRecording())
      t.StopRecording(false);
    else
      t.StartRecording();
  });
  table.Set(32856, [&t] { t.ToggleDualMonoAudio(); });
  table.Set(32883, [&t] { t.LaunchUpdater(); });
}

std::vector<std::u16string> DroppedIepgFiles(const std::vector<std::u16string>& paths) {
  std::vector<std::u16string> out;
  for (const auto& p : paths)
    if (UpperAscii(PathExtension(p)) == u".PL") out.push_back(p);
  return out;
}

}  // namespace tevalo::shell
