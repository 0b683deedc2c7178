// What the live controller does to the main window: strips, animations, timers, indicators, and
// the few operations of other parts of the window it calls. The main window implements it; tests
// record it.
//
// Calls come from the GUI thread, and from the start-up thread while it opens media (status texts,
// timers, animation, video area); an implementation queues what must run on its GUI thread and
// never blocks the caller on the GUI thread.
#pragma once

#include <string>
#include <vector>

#include "player/shell/channel_code.h"

namespace tevalo::shell {

// Strip kinds.
inline constexpr int kStripChannel = 1;
inline constexpr int kStripProgramme = 2;
inline constexpr int kStripStatus = 4;
inline constexpr int kStripCaption = 8;

// Animation resources.
inline constexpr int kAnimNoSignal = 505;
inline constexpr int kAnimSearching = 506;
inline constexpr int kAnimChanging = 507;

// Main-window timers these operations arm or stop.
inline constexpr int kTimerPlayback = 102;
inline constexpr int kTimerReservation = 106;
inline constexpr int kTimerSearchLevel = 107;
inline constexpr int kTimerLevel = 500;
inline constexpr int kTimerTimeshift = 504;
inline constexpr int kTimerNoSignal = 505;
inline constexpr int kTimerWatchdog = 998;
inline constexpr int kTimerWatchdogCheck = 997;

class IPlayerView {
 public:
  virtual ~IPlayerView() = default;

  // A strip shows text (kind 1, 2 or 4); ticks -1: until replaced.
  virtual void SetStripText(int kind, const std::u16string& text, int ticks) = 0;
  // Empties a strip (1, 2, 4) or the caption window (8).
  virtual void ClearStrip(int kind) = 0;
  virtual void ShowAnimation(int resourceId) = 0;
  virtual void HideAnimation() = 0;
  virtual void SetTimer(int id, int ms) = 0;
  virtual void KillTimer(int id) = 0;
  // The level indicator with this many bars (0..4).
  virtual void ShowLevelBars(int bars) = 0;
  // The video area and the playing state (graph built) or their end.
  virtual void ShowVideoArea(bool playing) = 0;
  // The programme strip is shown when the EPG display is on.
  virtual void ShowProgrammeStripIfEpgOn() = 0;

  // The channel panel.
  virtual void RefreshChannelPanel(const std::vector<ChannelEntry>& entries) = 0;
  virtual void HideChannelPanel() = 0;
  virtual void ResetPlaybackPanel() = 0;

  // Recording (the window's recording control).
  virtual bool IsRecording() = 0;
  virtual void StartRecording() = 0;
  virtual void StopRecording(bool ask) = 0;

  // An iEPG file handed over by a second instance; the reservation sheet is refreshed after it.
  virtual void ReadIepgFile(const std::u16string& path) = 0;

  virtual void MessageBox(const std::u16string& text, const std::u16string& title) = 0;
  // The program ends (the tuner could not be opened while tuning).
  virtual void PostQuit() = 0;
};

}  // namespace tevalo::shell
