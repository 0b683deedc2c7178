// The main window's timers over the real core: what they read and change of the core comes from
// CPlayerCore, what they show and the timeshift's pause from the window (IMainTimerWindow).
#pragma once

#include "player/shell/main_timers.h"
#include "player/shell/player_core.h"

namespace tevalo::shell {

class IMainTimerWindow {
 public:
  virtual ~IMainTimerWindow() = default;
  virtual bool NormalLayout() const = 0;
  virtual bool ProgrammeStripEnabled() const = 0;
  virtual bool PlaybackPanelReady() const = 0;
  virtual void TogglePause() = 0;
  virtual void PlaceVideo(bool hide) = 0;
  virtual void RepaintFrame() = 0;
  virtual void ShowProgrammeStrip(bool shown) = 0;
  virtual void ShowRecordingClock(const std::u16string& text) = 0;
  virtual void ShowPlaybackPosition(int64_t tenths, const std::u16string& text) = 0;
  virtual void PostSessionUnlock() = 0;
};

class CCoreTimerHost final : public IMainTimerHost {
 public:
  CCoreTimerHost(CPlayerCore& core, IPlayerView& view, IMainTimerWindow& window)
      : m_core(core), m_view(view), m_window(window) {}

  CoreState State() const override { return m_core.State(); }
  bool HasTuner() const override { return true; }
  bool TunerOpen() const override { return m_core.TunerOpen(); }
  int ReadSignal() override { return m_core.ReadSignalValue(); }
  bool HasGraph() const override { return m_core.MediaGraph() != nullptr; }
  int FrameRate() const override;
  bool Position(int64_t* tenths) override;
  int64_t Duration() override;
  bool NormalLayout() const override { return m_window.NormalLayout(); }
  bool ProgrammeStripEnabled() const override { return m_window.ProgrammeStripEnabled(); }
  bool PlaybackPanelReady() const override { return m_window.PlaybackPanelReady(); }
  // One flag for the user's timeshift pause and the no-signal one: the core's.
  bool TimeshiftPaused() const override { return m_core.IsTimeshiftPaused(); }
  bool RecordingFolderHasSpace() override { return m_core.RecordingFolderHasSpace(); }
  // The core tells the view of the new bars itself.
  void SetLevel(int signal, int bars) override { m_core.UpdateLevel(signal, bars); }
  void ShowLevelBars(int) override {}
  void SetTimeshiftPaused(bool paused) override { m_core.SetTimeshiftPaused(paused); }
  void TogglePause() override { m_window.TogglePause(); }
  void PlaceVideo(bool hide) override { m_window.PlaceVideo(hide); }
  void RepaintFrame() override { m_window.RepaintFrame(); }
  void ShowAnimation(Animation id) override { m_view.ShowAnimation(id); }
  void HideAnimation() override { m_view.HideAnimation(); }
  void ShowProgrammeStrip(bool shown) override { m_window.ShowProgrammeStrip(shown); }
  void SetChannelLock(int index, int value) override;
  void ShowRecordingClock(const std::u16string& text) override { m_window.ShowRecordingClock(text); }
  void ShowPlaybackPosition(int64_t tenths, const std::u16string& text) override {
    m_window.ShowPlaybackPosition(tenths, text);
  }
  void WritePing() override { m_core.WritePing(); }
  void SetRecordingInterrupted() override { m_core.MarkRecordingInterrupted(); }
  void PostSessionUnlock() override { m_window.PostSessionUnlock(); }
  void StopRecordingSilently() override { m_core.StopRecording(true); }
  void ChangeChannel(const std::u16string& code) override { m_core.ChangeChannel(code, false); }
  void StopReception() override { m_core.StopReception(); }
  void StartAreaSearch() override { m_core.BeginSearch(SearchKind::kArea); }

 private:
  CPlayerCore& m_core;
  IPlayerView& m_view;
  IMainTimerWindow& m_window;
};

}  // namespace tevalo::shell
