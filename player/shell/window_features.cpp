#include "player/shell/window_features.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QObject>
#include <QScreen>
#include <QTimer>

#include "controls/hover_button.h"
#include "player/panels/blink_label.h"
#include "player/panels/playback_panel.h"
#include "player/panels/playlist_wnd.h"
#include "player/panels/skin_slider.h"
#include "player/shell/channel_panel_host.h"
#include "player/shell/live_commands.h"
#include "player/shell/main_commands.h"
#include "player/shell/main_timer_host.h"
#include "player/shell/main_timers.h"
#include "player/shell/main_window_view.h"
#include "player/shell/message_box_prompter.h"
#include "player/shell/playback_commands.h"
#include "player/shell/playback_panel_host.h"

namespace tevalo::shell {
namespace {

// What the playlist window asks of the main window: its place, and plays and drops through the core.
class CPlaylistHost final : public ::IPlaylistHost {
 public:
  explicit CPlaylistHost(CPlayerDlg& dlg) : m_dlg(dlg) {}
  QRect MainWindowRect() const override { return m_dlg.geometry(); }
  void PlaylistShownChanged(bool) override {}
  void PlayPlaylistEntry(const std::u16string& path) override { m_dlg.Core().PlayPlaylistEntry(path); }
  void DropFiles(const QStringList& paths) override {
    std::vector<std::u16string> files;
    for (const QString& path : paths) files.push_back(path.toStdU16String());
    m_dlg.Core().OnDropFiles(files);
  }

 private:
  CPlayerDlg& m_dlg;
};

// The window's part of the main window's commands and timers, over the dialog and its core.
// The dialog owns it: it goes before the core whose timers it attached to.
class CWindowFeatures final : public QObject,
                              public IMainWindowActions,
                              public IPlaybackCommandTarget,
                              public IMainTimerWindow {
 public:
  explicit CWindowFeatures(CPlayerDlg& dlg)
      : m_dlg(dlg),
        m_ownPrompter(&dlg),
        m_playlistHost(dlg),
        m_logic(*this, dlg.Prompter() ? *dlg.Prompter() : m_ownPrompter, {}),
        m_panelHost(dlg, [this] { return m_logic.View().Compact(); }),
        m_timerHost(dlg.Core(), dlg, *this),
        m_timers(dlg.Core().Timers(), m_timerHost),
        m_channels(dlg, dlg.Prompter() ? *dlg.Prompter() : m_ownPrompter,
                   [this] { return PlaybackAsOther(); }) {}

  void Bind() {
    CCommandTable& table = m_dlg.Commands();
    m_logic.BindCommands(table);
    BindLiveTvCommands(table, m_dlg.Core());
    BindPlaybackCommands(table, *this);
    BindPlaybackPanelToggle(table, [this] { return m_playback.get(); });
    m_panelHost.SetChannelPanel([this] { return m_channels.AsOtherPanel(); },
                                [this] {
                                  if (CChannelPanel* panel = m_channels.PanelIfAny())
                                    panel->OnSelChangeList();
                                });
    m_channels.Bind();
    m_logic.SetKeyActionHook([this](KeyAction action) { m_channels.OnKeyAction(action); });
    auto& hooks = m_dlg.GetHooks();
    hooks.keyPressed = [this](QKeyEvent* event) { return OnKey(event); };
    hooks.confirmClose = [this] { return m_logic.ConfirmClose(); };
    hooks.createPlaylistWindow = [this] {
      m_playlist = std::make_unique<::CPlaylistWnd>(m_playlistHost, &m_dlg);
      m_playlist->Create();
      m_playback = std::make_unique<::CPlaybackPanel>(m_panelHost, &m_dlg);
      m_playback->Create();
    };
    hooks.resetPlaybackPanel = [this] {
      if (m_playback) m_playback->Reset();
    };
    hooks.showPlaybackFile = [this](const std::u16string& fileName) {
      if (!m_playback) return;
      m_playback->SetFileName(QString::fromStdU16String(fileName));
      m_playback->PlayStarted();
    };
    hooks.refillPlaylist = [this](int hotIndex) {
      if (m_playlist) m_playlist->Refill(hotIndex);
    };
    hooks.destroyPanels = [this] {
      m_channels.Destroy();
      m_playback.reset();
      m_playlist.reset();
    };
    hooks.contextMenu = [this](QPoint global) { ShowContextMenu(global); };
    m_dlg.installEventFilter(this);  // docked panels move with the window
    hooks.recordingShown = [this](bool recording) {
      m_timers.OnRecordingChanged(recording);
      if (recording) ShowRecordingClock(FormatClock(0));
    };
    hooks.volumeMoving = [this](int position) { m_logic.Volume().SliderMoving(position); };
    m_dlg.Core().GetHooks().togglePlaylist = [this] {
      if (m_playlist) m_playlist->Toggle();
    };
    // Timeshift swaps the pause button for its play button and lights the stop button.
    m_dlg.Core().GetHooks().showPlayButton = [this](bool play) {
      SetTimeshiftLook([&](ControlState& s) { s.timeshift = !play; });
    };
    m_dlg.Core().GetHooks().showTimeshiftPlayButton = [this](bool shown) {
      SetTimeshiftLook([&](ControlState& s) { s.timeshiftPlay = shown; });
    };
    hooks.applyVolume = [this](int volume, bool muted) {
      m_logic.Volume().SetVolume(volume);
      if (muted) m_logic.Volume().Mute();
    };
  }

  // ---- IMainWindowActions ----
  CoreState State() const override { return m_dlg.Core().State(); }
  bool HasGraph() const override { return m_dlg.Core().MediaGraph() != nullptr; }
  bool TimeshiftRuns() const override { return m_dlg.Core().Playback().TimeshiftActive(); }
  bool TimeshiftPaused() const override { return m_dlg.Core().IsTimeshiftPaused(); }
  Rect WindowRect() const override {
    const QRect r = m_dlg.geometry();
    return {r.x(), r.y(), r.width(), r.height()};
  }
  Size ScreenSize() const override {
    const QScreen* screen = m_dlg.screen() ? m_dlg.screen() : QGuiApplication::primaryScreen();
    if (!screen) return {};
    return {screen->geometry().width(), screen->geometry().height()};
  }
  int VideoHeight() const override { return 0; }
  bool TunerFound() const override { return State().tunerUsable; }
  bool Ready() const override {
    const CoreState s = State();
    return !s.opening && !s.busy && !s.closing;
  }
  void Minimize() override {
    m_logic.OnSysMinimize();
    m_dlg.showMinimized();
    QTimer::singleShot(500, this, [this] { m_logic.OnMinimizeGuardElapsed(); });
  }
  // Posted, so the command's own button finishes its click before the window goes.
  void PostClose() override {
    QTimer::singleShot(0, &m_dlg, [this] { m_dlg.WindowProc(win::WM_CLOSE, 0, 0); });
  }
  void ApplyView(Rect rect) override {
    if (CMainWindowView* view = m_dlg.View()) view->SetControlState(WithView(view->State(), m_logic.View()));
    if (rect.w > 0 && rect.h > 0) m_dlg.setGeometry(rect.x, rect.y, rect.w, rect.h);
  }
  void SetTopmost(bool topmost) override {
    const bool shown = m_dlg.isVisible();
    m_dlg.setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    m_dlg.Settings().always = topmost ? 1 : 0;
    if (shown) m_dlg.show();
  }
  void Maximize() override {
    m_dlg.hide();
    m_dlg.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    m_dlg.showFullScreen();
  }
  void ShowProgrammeStrip(bool shown) override {
    if (QWidget* strip = m_dlg.Control(1047)) strip->setVisible(shown);
  }
  void EpgDisplayChanged(bool on) override {
    SetTimeshiftLook([on](ControlState& s) { s.epgOn = on; });
  }
  void SetGraphVolume(long hundredthsDb) override { m_dlg.Core().SetGraphVolume(hundredthsDb); }
  void SetVolumeSlider(int position) override {
    m_dlg.Settings().volume = position;
    if (CSkinSlider* slider = m_dlg.VolumeSlider()) slider->SetPos(position);
  }
  void SetMuteLook(bool muted) override {
    m_dlg.Settings().muted = muted ? 1 : 0;
    if (CSkinSlider* slider = m_dlg.VolumeSlider()) slider->setEnabled(!muted);
  }
  void StartTuner() override { m_dlg.Core().StartTuner(); }
  void StopFilePlayback() override { m_dlg.Core().StopFilePlayback(); }
  bool TunerOpen() const override { return m_dlg.Core().TunerOpen(); }
  int SelectedRowTunerIndex() const override { return m_channels.SelectedRowTunerIndex(); }
  void ScanSingleChannel(int) override {}
  void EnableReceptionControls(bool enabled) override { m_channels.EnableControls(enabled); }
  void StepChannel(ChannelStep step) override { m_channels.Step(step); }
  void ReselectCurrentChannelRow() override { m_channels.ReselectCurrentChannelRow(); }

  // ---- IPlaybackCommandTarget ----
  bool PanelShown() const override { return m_playback && m_playback->IsShown(); }
  bool RecordingFilePlays() const override { return m_panelHost.Source() == panels::PanelSource::kFile; }
  bool PanelPlayShown() const override {
    const QWidget* play = m_playback ? m_playback->Button(panels::CPlaybackPanelLogic::kPlay) : nullptr;
    return play && play->isVisible();
  }
  void PanelCommand(int id) override {
    if (m_playback) m_playback->OnCommand(id);
  }

  // ---- IMainTimerWindow ----
  bool NormalLayout() const override { return !m_logic.View().Compact() && !m_logic.View().FullScreen(); }
  bool ProgrammeStripEnabled() const override { return true; }
  bool PlaybackPanelReady() const override { return m_playback && !m_playback->IsDragging(); }
  void TogglePause() override {
    m_dlg.Core().ExecuteControl(static_cast<unsigned>(ControlCommand::kPlayPause));
  }
  void PlaceVideo(bool hide) override {
    if (CMainWindowView* view = m_dlg.View()) view->SetVideoHidden(hide);
  }
  void RepaintFrame() override { m_dlg.update(); }
  void ShowRecordingClock(const std::u16string& text) override {
    if (CBlinkLabel* label = m_dlg.RecordingIndicator())
      label->SetWindowText(QString::fromStdU16String(text));
  }
  void ShowPlaybackPosition(int64_t tenths, const std::u16string&) override {
    if (!m_playback) return;
    const int duration = m_panelHost.GetDuration();
    m_playback->SetPlayTime(static_cast<int>(tenths), duration);
    m_playback->SetSlider(static_cast<int>(tenths), duration);
  }
  void PostSessionUnlock() override {
    QTimer::singleShot(0, this, [this] { m_timers.OnSessionUnlock(); });
  }

 private:
  panels::OtherPanel PlaybackAsOther() {
    if (!m_playback) return {};
    const QRect r = m_playback->frameGeometry();
    return {&m_playback->Logic().Dock(),
            {r.left(), r.top(), r.right() + 1, r.bottom() + 1},
            m_playback->IsShown()};
  }

  void ShowContextMenu(QPoint global) {
    QMenu menu(&m_dlg);
    FillContextMenu(menu,
                    m_logic.MenuTicks(PanelShown(), m_channels.Shown(), m_dlg.Core().DualMonoState() == 2));
    if (QAction* chosen = menu.exec(global); chosen && chosen->data().isValid())
      m_dlg.OnCommand(chosen->data().toUInt());
  }

  void SetTimeshiftLook(const std::function<void(ControlState&)>& change) {
    if (CMainWindowView* view = m_dlg.View()) {
      ControlState state = view->State();
      change(state);
      view->SetControlState(state);
    }
  }

  bool OnKey(QKeyEvent* event) {
    KeyPress press;
    press.ctrl = event->modifiers() & Qt::ControlModifier;
    press.alt = event->modifiers() & Qt::AltModifier;
    press.key = KeyOfQt(event->key());
    return m_logic.OnKey(press, m_dlg.Commands());
  }

  static Key KeyOfQt(int key) {
    switch (key) {
      case Qt::Key_Escape:
        return Key::kEscape;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        return Key::kEnter;
      case Qt::Key_Left:
        return Key::kLeft;
      case Qt::Key_Right:
        return Key::kRight;
      case Qt::Key_Up:
        return Key::kUp;
      case Qt::Key_Down:
        return Key::kDown;
      case Qt::Key_F1:
        return Key::kF1;
      default:
        if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
          return KeyOf(static_cast<char>(key));
        return Key::kOther;
    }
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &m_dlg && event->type() == QEvent::Move) {
      m_channels.FollowMainWindow();
      if (m_playback) m_playback->FollowMainWindow(m_dlg.frameGeometry().topLeft());
    }
    return QObject::eventFilter(watched, event);
  }

  CPlayerDlg& m_dlg;
  CMessageBoxPrompter m_ownPrompter;
  CPlaylistHost m_playlistHost;
  CMainWindowLogic m_logic;
  CPlaybackPanelHost m_panelHost;
  CCoreTimerHost m_timerHost;
  CMainTimers m_timers;
  std::unique_ptr<::CPlaylistWnd> m_playlist;
  std::unique_ptr<::CPlaybackPanel> m_playback;
  CChannelPanelHost m_channels;
};

}  // namespace

void BindCloseCommands(CPlayerDlg& dlg) {
  dlg.Commands().Set({1042, 32829}, [&dlg] { dlg.OnClose(); });
}

void AttachWindowFeatures(CPlayerDlg& dlg) {
  auto features = std::make_shared<CWindowFeatures>(dlg);
  features->Bind();
  dlg.Own(std::move(features));
}

}  // namespace tevalo::shell
