// The main window's set-up and closing as ordered step lists (plain logic): the window runs them in
// this order, one action per step, and tests read the order without a window.
#pragma once

#include <string_view>
#include <vector>

#include "player/shell/start_argument.h"

namespace tevalo::shell {

enum class InitStep {
  kBaseInit,                 // centred; topmost only when "ALWAYS" asks for it (after the settings)
  kTrayWait,                 // "+tray": 2 s
  kQuit,                     // "+x": ends the dialog; nothing else is set up or written
  kClearMedia,               // the current-media names
  kCheckScreen,              // no screen: the start fails
  kSetIcon,                  //
  kStartStartupThread,       // cannot start: the start fails
  kCreatePlaylistWindow,     // hook
  kRegisterWindow,           // the "Tevalo" window: the second instance and the updater find it
  kResetBottomBar,           // hook
  kLoadPaths,                //
  kCreateReservationSheet,   // hook
  kLoadSkinButtons,          // hook
  kClearStrips,              //
  kPlaceWindow,              // 346 x 380, z-order by "ALWAYS"
  kLoadSettings,             // settings, area, channel list, search kind
  kPlaceWindowAgain,         //
  kShowSearchAnimation,      //
  kApplyStartView,           // hook
  kApplyVolume,              // hook
  kFollowWindow,             // hook
  kDropExpiredReservations,  // hook
  kReadIepgArgument,         // a file argument only
  kStartTuner,               // open and search
  kLoadReservations,         // hook: "reserv.dat" and timer 106
  kInhibitScreenSaver,       //
  kBindCloseShortcut,        // Alt+F4, this window only
  kRegisterDualMonoMessage,  //
  kPlaceWindowLast,          //
};

enum class CloseStep {
  kBeginClose,           // watchdog timers, closing mark, hidden, recording stopped unasked, quit event
  kStopStartupThread,    //
  kStopChannelSearch,    // joins the search thread
  kCloseMediaGraph,      //
  kCloseStreamChannel,   //
  kClearChannelEntries,  //
  kSaveSettings,         // settings and channel locks
  kStopPlayback,         // the stream threads
  kDestroyPanels,        // hook: after every thread that updates them
  kCloseTuner,           //
  kReleaseScreenSaver,   //
  kEndClose,             // nothing queued runs any more
};

std::vector<InitStep> InitSteps(StartKind argument);
std::vector<CloseStep> CloseSteps();
std::string_view StepName(InitStep step);
std::string_view StepName(CloseStep step);

}  // namespace tevalo::shell
