// The main window's rows for live television, recording, playback and timeshift, bound into its one
// command table, and the small plain rules those commands use.
#pragma once

#include <string>
#include <vector>

#include "player/shell/command_table.h"

namespace tevalo::shell {

// What the rows call (the core, or a fake in tests). GUI thread.
class ILiveTvCommands {
 public:
  virtual ~ILiveTvCommands() = default;
  virtual int ExecuteControl(unsigned kind) = 0;
  virtual bool StartTimeshift() = 0;
  virtual bool PlayTimeshift() = 0;
  virtual void StopTimeshift() = 0;
  virtual void StartRecording() = 0;
  virtual void StopRecording(bool noPrompt) = 0;
  virtual bool IsRecording() const = 0;
  virtual bool IsLive() const = 0;
  virtual bool IsTimeshiftPaused() const = 0;
  virtual void ToggleDualMonoAudio() = 0;
  virtual bool LaunchUpdater() = 0;
};

// 1050/1051/1052/1054, 1073-1075, 32797-32799, 1077/1078, 32877, 32856, 32883.
void BindLiveTvCommands(CCommandTable& table, ILiveTvCommands& target);

// The dropped files read as iEPG files: extension ".pl" in any case; paths of any length.
std::vector<std::u16string> DroppedIepgFiles(const std::vector<std::u16string>& paths);

}  // namespace tevalo::shell
