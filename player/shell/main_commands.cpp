#include "player/shell/main_commands.h"

namespace tevalo::shell {

CMainWindowLogic::CMainWindowLogic(IMainWindowActions& actions, IPrompter& prompter, Settings settings)
    : m_actions(actions),
      m_prompter(prompter),
      m_view(settings.lastView, settings.captionShown),
      m_volume(
          settings.volume, settings.muted,
          {[this](long v) { m_actions.SetGraphVolume(v); }, [this](int p) { m_actions.SetVolumeSlider(p); },
           [this](bool muted) { m_actions.SetMuteLook(muted); }}),
      m_alwaysOnTop(settings.alwaysOnTop),
      m_epgOn(settings.epgOn) {}

void CMainWindowLogic::BindCommands(CCommandTable& t) {
  t.Set(1039, [this] { m_actions.Minimize(); });
  t.Set(1041, [this] { EnterFullScreen(); });
  t.Set({1042, 32829}, [this] { m_actions.PostClose(); });
  t.Set(1061, [this] { m_volume.Mute(); });
  t.Set(1062, [this] { m_volume.Unmute(); });
  t.Set({1065, 32864}, [this] { ReceptionOn(); });
  t.Set({1066, 32865}, [this] { ReceptionOff(); });
  t.Set({1067, 32861}, [this] { Step(ChannelStep::kDown); });
  t.Set({1068, 32860}, [this] { Step(ChannelStep::kUp); });
  t.Set({1069, 32862}, [this] { Step(ChannelStep::kForward); });
  t.Set({1070, 32863}, [this] { Step(ChannelStep::kBack); });
  t.Set(1072, [this] { ToggleFullScreen(); });
  t.Set(32800, [this] { m_volume.Step(kVolumeStep); });
  t.Set(32838, [this] { m_volume.Step(-kVolumeStep); });
  t.Set(32801, [this] { m_volume.ToggleMute(); });
  t.Set(32833, [this] { ToggleAlwaysOnTop(); });
  t.Set(32875, [this] { ToggleCaption(); });
  t.Set(32884, [this] { ToggleEpg(); });
  t.Set(32830, [this] { SetNormalSize(); });
  t.Set(32831, [this] { SetLargeSize(); });
  t.Set(32832, [this] { Maximize(); });
}

bool CMainWindowLogic::OnKey(const KeyPress& press, CCommandTable& table) {
  KeyOutcome out = TranslateKey(press, m_view.FullScreen());
  switch (out.kind) {
    case KeyOutcome::Kind::kPass:
      return false;
    case KeyOutcome::Kind::kSwallow:
      return true;
    case KeyOutcome::Kind::kCommand:
    case KeyOutcome::Kind::kPanelCommand:
      // Panel commands go through the table's rows for the same menu items.
      table.Dispatch(out.id);
      return true;
    case KeyOutcome::Kind::kAction:
      break;
  }
  switch (out.action) {
    case KeyAction::kLeaveFullScreen:
      LeaveFullScreen();
      break;
    case KeyAction::kChannelUpDirect:
      m_actions.StepChannel(ChannelStep::kUp);
      break;
    case KeyAction::kChannelDownDirect:
      m_actions.StepChannel(ChannelStep::kDown);
      break;
    case KeyAction::kReceptionToggle:
      m_reception ? ReceptionOff() : ReceptionOn();
      break;
    default:
      // The searches and the timeshift toggle belong to other panels.
      if (m_keyHook) m_keyHook(out.action);
      break;
  }
  return true;
}

bool CMainWindowLogic::ConfirmClose() {
  if (!m_actions.State().recording) return true;
  return m_prompter.Ask({kTextQuitWhileRecording, kMessageTitle, Prompt::Buttons::kYesNo});
}

void CMainWindowLogic::OnSysMinimize() {
  m_volume.Minimize();
  m_minimizing = true;
}

bool CMainWindowLogic::OnActivate() {
  if (m_minimizing) return false;
  m_volume.Restore();
  return true;
}

void CMainWindowLogic::EnterFullScreen() {
  if (m_view.FullScreen()) return;
  m_actions.ApplyView(m_view.EnterFullScreen(m_actions.WindowRect(), m_actions.ScreenSize()));
}

void CMainWindowLogic::LeaveFullScreen() {
  if (!m_view.FullScreen()) return;
  m_actions.ApplyView(m_view.LeaveFullScreen(m_actions.WindowRect(), m_actions.VideoHeight()));
}

void CMainWindowLogic::ToggleFullScreen() { m_view.FullScreen() ? LeaveFullScreen() : EnterFullScreen(); }

void CMainWindowLogic::SetNormalSize() {
  m_actions.ApplyView(m_view.SetNormalView(m_actions.WindowRect(), m_actions.VideoHeight()));
}

void CMainWindowLogic::SetLargeSize() {
  auto rect = m_view.SetLargeView(m_actions.WindowRect(), m_actions.State().sourceMode, m_actions.Ready(),
                                  m_actions.TunerFound(), m_actions.VideoHeight());
  if (rect) m_actions.ApplyView(*rect);
}

void CMainWindowLogic::ToggleAlwaysOnTop() {
  m_alwaysOnTop = !m_alwaysOnTop;
  m_actions.SetTopmost(m_alwaysOnTop);
}

void CMainWindowLogic::ReceptionOn() {
  m_reception = true;
  m_actions.EnableReceptionControls(true);
  m_actions.StartTuner();
}

void CMainWindowLogic::ReceptionOff() {
  m_reception = false;
  m_actions.StopFilePlayback();
  if (m_actions.TunerOpen()) {
    int index = m_actions.SelectedRowTunerIndex();
    if (index >= 0 && index < 50) m_actions.ScanSingleChannel(index);
  }
  m_actions.EnableReceptionControls(false);
}

void CMainWindowLogic::ToggleCaption() {
  CoreState s = m_actions.State();
  if (s.sourceMode == SourceMode::kRecording) return;
  if (m_actions.TimeshiftPaused() && m_actions.TimeshiftRuns() && s.levelBars > 0) {
    m_prompter.Ask({kTextNoCaptionInTimeshift, kMessageTitle, Prompt::Buttons::kOk});
    return;
  }
  m_actions.ApplyView(m_view.ToggleCaption(m_actions.WindowRect()));
}

void CMainWindowLogic::ToggleEpg() {
  m_epgOn = !m_epgOn;
  if (m_actions.State().sourceMode != SourceMode::kRecording) m_actions.ShowProgrammeStrip(m_epgOn);
  m_actions.EpgDisplayChanged(m_epgOn);
}

void CMainWindowLogic::Maximize() {
  if (m_actions.HasGraph()) m_actions.Maximize();
}

void CMainWindowLogic::Step(ChannelStep step) {
  CoreState s = m_actions.State();
  if (s.recording) {
    m_prompter.Ask({kTextChannelLockedWhileRecording, kMessageTitle, Prompt::Buttons::kOk});
    m_actions.ReselectCurrentChannelRow();
    return;
  }
  if (s.sourceMode == SourceMode::kRecording || s.opening || s.searching) return;
  m_actions.StepChannel(step);
}

std::map<CommandId, bool> CMainWindowLogic::MenuTicks(bool playbackPanelShown, bool channelPanelShown,
                                                      bool dualMonoSub) const {
  return {{32867, playbackPanelShown}, {32810, channelPanelShown}, {32875, m_view.CaptionShown()},
          {32856, dualMonoSub},        {32833, m_alwaysOnTop},     {32884, m_epgOn}};
}

}  // namespace tevalo::shell
