// The main window's own commands (view sizes and toggles, volume and mute, always on top,
// reception on and off, the caption strip, the EPG display, channel steps, close) as rows of the
// window's command table, and the keys that reach them. CMainWindowLogic keeps the state these
// commands change; IMainWindowActions is what they need of the window and the core (the window
// implements it; tests fake it).
#pragma once

#include <functional>
#include <map>
#include <string>

#include "player/shell/command_table.h"
#include "player/shell/core_types.h"
#include "player/shell/key_table.h"
#include "player/shell/main_geometry.h"
#include "player/shell/prompter.h"
#include "player/shell/view_state.h"
#include "player/shell/volume.h"

namespace tevalo::shell {

inline constexpr char16_t kTextChannelLockedWhileRecording[] =
    u"録画中にはチャンネルを変えることができません。";
inline constexpr char16_t kTextQuitWhileRecording[] = u"録画中です。プレーヤーを終了しますか。";
inline constexpr char16_t kTextNoCaptionInTimeshift[] = u"タイムシフトの中なので始めることがないです";

enum class ChannelStep { kUp, kDown, kForward, kBack };

class IMainWindowActions {
 public:
  virtual ~IMainWindowActions() = default;
  // ---- reading ----
  virtual CoreState State() const = 0;
  virtual bool HasGraph() const = 0;
  virtual bool TimeshiftRuns() const = 0;
  virtual bool TimeshiftPaused() const = 0;
  virtual Rect WindowRect() const = 0;
  virtual Size ScreenSize() const = 0;
  virtual int VideoHeight() const = 0;  // 0 while no picture size is known
  virtual bool TunerFound() const = 0;
  virtual bool Ready() const = 0;
  // ---- the window ----
  virtual void Minimize() = 0;
  virtual void PostClose() = 0;
  // The view state changed: place the window at rect and show what the view shows.
  virtual void ApplyView(Rect rect) = 0;
  virtual void SetTopmost(bool topmost) = 0;
  // Hidden, then topmost over the whole screen.
  virtual void Maximize() = 0;
  virtual void ShowProgrammeStrip(bool shown) = 0;
  // The programme list window (later); the EPG flag changed.
  virtual void EpgDisplayChanged(bool on) = 0;
  // ---- graph volume, slider, mute look ----
  virtual void SetGraphVolume(long volume) = 0;
  virtual void SetVolumeSlider(int position) = 0;
  virtual void SetMuteLook(bool muted) = 0;
  // ---- reception ----
  virtual void StartTuner() = 0;
  virtual void StopFilePlayback() = 0;
  virtual bool TunerOpen() const = 0;
  virtual int SelectedRowTunerIndex() const = 0;  // -1: none
  virtual void ScanSingleChannel(int tunerIndex) = 0;
  virtual void EnableReceptionControls(bool enabled) = 0;
  // ---- the channel panel ----
  virtual void StepChannel(ChannelStep step) = 0;
  virtual void ReselectCurrentChannelRow() = 0;
};

class CMainWindowLogic {
 public:
  struct Settings {
    LastView lastView = LastView::kNormal;
    bool captionShown = false;
    int volume = kVolumeMax;
    bool muted = false;
    bool alwaysOnTop = false;
    bool epgOn = true;
  };

  CMainWindowLogic(IMainWindowActions& actions, IPrompter& prompter, Settings settings);
  CMainWindowLogic(const CMainWindowLogic&) = delete;
  CMainWindowLogic& operator=(const CMainWindowLogic&) = delete;

  // Binds this window's rows into the one command table.
  void BindCommands(CCommandTable& table);
  // A key-down on the window or its panels: true when it was consumed (acted on or swallowed).
  bool OnKey(const KeyPress& press, CCommandTable& table);
  // Where the key actions of other panels go (the searches, the timeshift toggle).
  void SetKeyActionHook(std::function<void(KeyAction)> hook) { m_keyHook = std::move(hook); }
  // The close request while recording asks first; false keeps the player open.
  bool ConfirmClose();

  // Minimising silences the sound and, for half a second (the window's one-shot timer), keeps the
  // activation that comes with it from restoring the window.
  void OnSysMinimize();
  void OnMinimizeGuardElapsed() { m_minimizing = false; }
  void OnSysRestore() { m_volume.Restore(); }
  // The application is activated: true when the window should be restored (the sound comes back).
  bool OnActivate();
  bool Minimizing() const { return m_minimizing; }

  // Commands (also reached through the table).
  void ToggleFullScreen();
  void EnterFullScreen();
  void LeaveFullScreen();
  void SetNormalSize();
  void SetLargeSize();
  void ToggleAlwaysOnTop();
  void ReceptionOn();
  void ReceptionOff();
  void ToggleCaption();
  void ToggleEpg();
  void Maximize();
  void Step(ChannelStep step);

  CViewState& View() { return m_view; }
  const CViewState& View() const { return m_view; }
  CVolumeControl& Volume() { return m_volume; }
  bool AlwaysOnTop() const { return m_alwaysOnTop; }
  bool Reception() const { return m_reception; }
  bool EpgOn() const { return m_epgOn; }

  // Menu 273's ticks, by command id; the panels' and the sound channel's states come from outside.
  std::map<CommandId, bool> MenuTicks(bool playbackPanelShown, bool channelPanelShown,
                                      bool dualMonoSub) const;

 private:
  IMainWindowActions& m_actions;
  IPrompter& m_prompter;
  CViewState m_view;
  CVolumeControl m_volume;
  bool m_alwaysOnTop;
  bool m_reception = true;
  bool m_epgOn;
  bool m_minimizing = false;
  std::function<void(KeyAction)> m_keyHook;
};

}  // namespace tevalo::shell
