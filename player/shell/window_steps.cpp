#include "player/shell/window_steps.h"

namespace tevalo::shell {

std::vector<InitStep> InitSteps(StartKind argument) {
  using S = InitStep;
  std::vector<S> steps{S::kBaseInit};
  if (argument == StartKind::kTray) steps.push_back(S::kTrayWait);
  if (argument == StartKind::kExit) {
    steps.push_back(S::kQuit);
    return steps;
  }
  steps.insert(
      steps.end(),
      {S::kClearMedia, S::kCheckScreen, S::kSetIcon, S::kStartStartupThread, S::kCreatePlaylistWindow,
       S::kRegisterWindow, S::kResetBottomBar, S::kLoadPaths, S::kCreateReservationSheet, S::kLoadSkinButtons,
       S::kClearStrips, S::kPlaceWindow, S::kLoadSettings, S::kPlaceWindowAgain, S::kShowSearchAnimation,
       S::kApplyStartView, S::kApplyVolume, S::kFollowWindow, S::kDropExpiredReservations});
  if (argument == StartKind::kFile) steps.push_back(S::kReadIepgArgument);
  steps.insert(steps.end(), {S::kStartTuner, S::kLoadReservations, S::kInhibitScreenSaver,
                             S::kBindCloseShortcut, S::kRegisterDualMonoMessage, S::kPlaceWindowLast});
  return steps;
}

std::vector<CloseStep> CloseSteps() {
  using S = CloseStep;
  return {S::kBeginClose,         S::kStopStartupThread,   S::kStopChannelSearch,  S::kCloseMediaGraph,
          S::kCloseStreamChannel, S::kClearChannelEntries, S::kSaveSettings,       S::kStopPlayback,
          S::kDestroyPanels,      S::kCloseTuner,          S::kReleaseScreenSaver, S::kEndClose};
}

std::string_view StepName(InitStep step) {
  switch (step) {
    case InitStep::kBaseInit:
      return "BaseInit";
    case InitStep::kTrayWait:
      return "TrayWait";
    case InitStep::kQuit:
      return "Quit";
    case InitStep::kClearMedia:
      return "ClearMedia";
    case InitStep::kCheckScreen:
      return "CheckScreen";
    case InitStep::kSetIcon:
      return "SetIcon";
    case InitStep::kStartStartupThread:
      return "StartStartupThread";
    case InitStep::kCreatePlaylistWindow:
      return "CreatePlaylistWindow";
    case InitStep::kRegisterWindow:
      return "RegisterWindow";
    case InitStep::kResetBottomBar:
      return "ResetBottomBar";
    case InitStep::kLoadPaths:
      return "LoadPaths";
    case InitStep::kCreateReservationSheet:
      return "CreateReservationSheet";
    case InitStep::kLoadSkinButtons:
      return "LoadSkinButtons";
    case InitStep::kClearStrips:
      return "ClearStrips";
    case InitStep::kPlaceWindow:
      return "PlaceWindow";
    case InitStep::kLoadSettings:
      return "LoadSettings";
    case InitStep::kPlaceWindowAgain:
      return "PlaceWindowAgain";
    case InitStep::kShowSearchAnimation:
      return "ShowSearchAnimation";
    case InitStep::kApplyStartView:
      return "ApplyStartView";
    case InitStep::kApplyVolume:
      return "ApplyVolume";
    case InitStep::kFollowWindow:
      return "FollowWindow";
    case InitStep::kDropExpiredReservations:
      return "DropExpiredReservations";
    case InitStep::kReadIepgArgument:
      return "ReadIepgArgument";
    case InitStep::kStartTuner:
      return "StartTuner";
    case InitStep::kLoadReservations:
      return "LoadReservations";
    case InitStep::kInhibitScreenSaver:
      return "InhibitScreenSaver";
    case InitStep::kBindCloseShortcut:
      return "BindCloseShortcut";
    case InitStep::kRegisterDualMonoMessage:
      return "RegisterDualMonoMessage";
    case InitStep::kPlaceWindowLast:
      return "PlaceWindowLast";
  }
  return "?";
}

std::string_view StepName(CloseStep step) {
  switch (step) {
    case CloseStep::kBeginClose:
      return "BeginClose";
    case CloseStep::kStopStartupThread:
      return "StopStartupThread";
    case CloseStep::kStopChannelSearch:
      return "StopChannelSearch";
    case CloseStep::kCloseMediaGraph:
      return "CloseMediaGraph";
    case CloseStep::kCloseStreamChannel:
      return "CloseStreamChannel";
    case CloseStep::kClearChannelEntries:
      return "ClearChannelEntries";
    case CloseStep::kSaveSettings:
      return "SaveSettings";
    case CloseStep::kStopPlayback:
      return "StopPlayback";
    case CloseStep::kDestroyPanels:
      return "DestroyPanels";
    case CloseStep::kCloseTuner:
      return "CloseTuner";
    case CloseStep::kReleaseScreenSaver:
      return "ReleaseScreenSaver";
    case CloseStep::kEndClose:
      return "EndClose";
  }
  return "?";
}

}  // namespace tevalo::shell
