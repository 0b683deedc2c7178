// What the player core shows: the main window's strips, animation, level bars, video area, panels,
// recording indicator and notices. The core calls a view on the GUI thread only, in the order the
// core produced the calls, and never waits for them; a view only presents (it calls the core back
// for anything that changes state).
#pragma once

#include <string>
#include <vector>

#include "player/pipeline/text/text_types.h"
#include "player/shell/channel_code.h"
#include "player/shell/core_types.h"

namespace tevalo::shell {

class IPlayerView {
 public:
  virtual ~IPlayerView() = default;

  // A strip shows text (channel, programme or status); ticks kStripUntilReplaced or the strip
  // timer's ticks.
  virtual void SetStripText(StripKind kind, const std::u16string& text, int ticks) = 0;
  // Empties a strip or the caption window.
  virtual void ClearStrip(StripKind kind) = 0;
  // The eight lines of a caption screen for the caption window.
  virtual void ShowCaption(const CaptionScreen& screen) = 0;
  virtual void ShowAnimation(Animation id) = 0;
  virtual void HideAnimation() = 0;
  // The level indicator with this many bars (0..4).
  virtual void ShowLevelBars(int bars) = 0;
  // The video area and the playing state (graph built) or their end.
  virtual void ShowVideoArea(bool playing) = 0;
  // The programme strip is shown when the EPG display is on.
  virtual void ShowProgrammeStripIfEpgOn() = 0;

  // The channel panel.
  virtual void RefreshChannelPanel(const std::vector<ChannelEntry>& entries) = 0;
  virtual void HideChannelPanel() = 0;
  // A channel's lock mark changed: its row repaints (the entries already hold the mark).
  virtual void ChannelLockChanged(int /*index*/, bool /*locked*/) {}
  // The playback panel's play button back to "play", its slider to the start.
  virtual void ResetPlaybackPanel() = 0;
  // A recording opened: the playback panel shows its file name and its buttons in the playing state.
  virtual void ShowPlaybackFile(const std::u16string& fileName) { (void)fileName; }
  // The playlist window's rows again, hot row given (a file was queued while media opened).
  virtual void RefillPlaylist(int hotIndex) { (void)hotIndex; }

  // The record buttons and the blinking "REC" indicator.
  virtual void ShowRecording(bool recording) = 0;
  // The recording goes on but its records are not being written (low space or a failed write), or
  // are written again. Comes only while recording, once per change.
  virtual void ShowRecordWriting(bool writing) { (void)writing; }
  // A message for the user that no user action asked for (an OK box that does not wait).
  virtual void ShowNotice(const std::u16string& text, const std::u16string& title) = 0;
  // The core's state changed (after the calls that show the change).
  virtual void StateChanged(const CoreState& state) = 0;
  // The program ends (the tuner could not be opened while tuning).
  virtual void PostQuit() = 0;
};

// Shows nothing: the base of tools, benches and tests that present only part of it.
class CNullPlayerView : public IPlayerView {
 public:
  void SetStripText(StripKind, const std::u16string&, int) override {}
  void ClearStrip(StripKind) override {}
  void ShowCaption(const CaptionScreen&) override {}
  void ShowAnimation(Animation) override {}
  void HideAnimation() override {}
  void ShowLevelBars(int) override {}
  void ShowVideoArea(bool) override {}
  void ShowProgrammeStripIfEpgOn() override {}
  void RefreshChannelPanel(const std::vector<ChannelEntry>&) override {}
  void HideChannelPanel() override {}
  void ResetPlaybackPanel() override {}
  void ShowRecording(bool) override {}
  void ShowNotice(const std::u16string&, const std::u16string&) override {}
  void StateChanged(const CoreState&) override {}
  void PostQuit() override {}
};

}  // namespace tevalo::shell
