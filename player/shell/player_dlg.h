// The main window: the widgets of dialog 103 over the player core. It holds widgets and the settings
// it loads and saves; the core owns the tuner, graph, threads and timers. Set-up and closing run the
// ordered steps of window_steps.h; the other window features attach through Hooks (in the order the
// steps call them) and bind their commands into Commands().
#pragma once

#include <QPoint>
#include <QRect>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls/base_dialog.h"
#include "player/shell/command_table.h"
#include "player/shell/player_core.h"
#include "player/shell/player_view.h"
#include "player/shell/settings_store.h"
#include "player/shell/start_argument.h"
#include "player/shell/window_adapter.h"
#include "player/shell/window_steps.h"

class CHoverButton;
class CScreenSaverInhibitor;
class QKeyEvent;
class QLabel;

namespace tevalo::panels {
class CBlinkLabel;
class CCaptionWnd;
class CGifStatic;
class CSkinSlider;
class CTickerStatic;
}  // namespace tevalo::panels

namespace tevalo::shell {

class CMainWindowView;
using panels::CBlinkLabel;
using panels::CCaptionWnd;
using panels::CGifStatic;
using panels::CSkinSlider;
using panels::CTickerStatic;

class CPlayerDlg : public COstrelBaseDialog, public CNullPlayerView {
  Q_OBJECT
 public:
  struct Options {
    CPlayerCore::Options core;  // a config path given here replaces the installation's
    StartArgument argument;
    // Each set-up and close step's name as it runs (tests, diagnostics).
    std::function<void(std::string_view step)> trace;
    // Registers the "Tevalo" window (off for tests that run several windows side by side).
    bool registerWindow = true;
    // Inhibits the screen saver on the session bus (off: no D-Bus at all, for tests).
    bool useSessionBus = true;
    // The skinned view under the controls (off: plain controls, for thread-checked runs, where Qt's
    // own uninstrumented painting threads would read as races).
    bool skin = true;
  };

  // Where the other window features attach; GUI thread, called in the set-up and close order.
  struct Hooks {
    std::function<void()> createPlaylistWindow;
    std::function<void()> resetBottomBar;
    std::function<void()> createReservationSheet;
    std::function<void()> loadSkinButtons;
    std::function<void(int view)> applyStartView;  // 1 compact, 2 full screen (0 never comes)
    std::function<void(int volume, bool muted)> applyVolume;
    std::function<void()> followWindow;
    std::function<void()> dropExpiredReservations;
    std::function<void(const std::u16string& path)> readIepgFile;  // the argument and code 16
    std::function<void()> loadReservations;                        // "reserv.dat", timer 106
    std::function<std::optional<int>(int preselected)> askArea;    // the area dialog
    std::function<bool(int area)> loadChannelList;                 // true: an enabled channel
    std::function<void()> saveLists;  // channel lists and reservations, when settings are saved
    std::function<void()> destroyPanels;
    // A key-down on the window: true when it was consumed.
    std::function<bool(QKeyEvent* event)> keyPressed;
    // A close request (WM_CLOSE, the window manager's close): false keeps the player open.
    std::function<bool()> confirmClose;
    std::function<void(QPoint global)> contextMenu;  // menu 273
    std::function<void(int position)> volumeMoving;  // the volume slider is dragged
    std::function<void(int hotIndex)> refillPlaylist;
    std::function<void()> resetPlaybackPanel;
    std::function<void(const std::u16string& fileName)> showPlaybackFile;
    std::function<void(bool recording)> recordingShown;  // the REC label lit or put out
    std::function<void(const std::vector<ChannelEntry>& entries)> refreshChannelPanel;
    std::function<void()> hideChannelPanel;
    std::function<void(int index, bool locked)> channelLockChanged;
  };

  explicit CPlayerDlg(Options options, QWidget* parent = nullptr);
  ~CPlayerDlg() override;

  bool OnInitDialog() override;
  // The one dispatch of buttons, menu items and keys; ids nobody bound do nothing.
  DispatchResult OnCommand(CommandId id);
  // Closes the window: the close steps, then the modal run ends. Safe to call twice.
  void OnClose();
  // Closes as the close button does but without the close question, also while start-up still
  // runs or a prompt is up (Ctrl-C, SIGTERM): open prompts are answered as cancelled.
  void RequestClose();

  CPlayerCore& Core() { return *m_core; }
  CCommandTable& Commands() { return m_commands; }
  Hooks& GetHooks() { return m_hooks; }
  // A feature that lives as long as the window's core: destroyed before it, after the close steps.
  void Own(std::shared_ptr<void> feature) { m_features.push_back(std::move(feature)); }
  // Questions to the user (null: none can be asked).
  IPrompter* Prompter() const { return m_options.core.prompter; }

  // Settings store.
  void LoadPaths();
  void LoadSettings();
  void SaveSettings();
  void LoadChannelLocks();
  void SaveChannelLocks();
  std::u16string ReadCurrentChannel() const;
  const PlayerSettings& Settings() const { return m_settings; }
  PlayerSettings& Settings() { return m_settings; }
  const InstallPaths& Paths() const { return m_paths; }

  // Child controls by identifier (null for an id the window has not).
  QWidget* Control(int id) const;
  CTickerStatic* Strip(StripKind kind) const;
  CCaptionWnd* CaptionWindow() const { return m_caption; }
  CGifStatic* AnimationControl() const { return m_animation; }
  CSkinSlider* VolumeSlider() const { return m_volume; }
  CBlinkLabel* RecordingIndicator() const { return m_recIndicator; }
  CHoverButton* Button(int id) const;
  // The skin under the controls: frame, level bars, bottom-bar icons; its layout places them.
  CMainWindowView* View() const { return m_view; }

  // The "Tevalo" window's messages (WM_CLOSE, WM_SYSCOMMAND restore, and the core's).
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  win::HWND WindowHandle() const;

  int m_bCloseAfterRecording = 0;
  int m_nSavedVolume = kVolumeMax;
  int m_bAreaChosen = 0;
  int m_nDualMonoMessage = 0;
  QRect m_rcWindow;

  // IPlayerView: what this window shows itself; the rest is the live-TV view's.
  void SetStripText(StripKind kind, const std::u16string& text, int ticks) override;
  void ClearStrip(StripKind kind) override;
  void ShowCaption(const CaptionScreen& screen) override;
  void ShowAnimation(Animation id) override;
  void HideAnimation() override;
  void PostQuit() override;
  void ShowLevelBars(int bars) override;
  void ShowVideoArea(bool playing) override;
  void ShowRecording(bool recording) override;
  void ShowRecordWriting(bool writing) override;
  void RefillPlaylist(int hotIndex) override;
  void ResetPlaybackPanel() override;
  void ShowPlaybackFile(const std::u16string& fileName) override;
  void RefreshChannelPanel(const std::vector<ChannelEntry>& entries) override;
  void HideChannelPanel() override;
  void ChannelLockChanged(int index, bool locked) override;
  void StateChanged(const CoreState& state) override;

 signals:
  // The set-up could not finish (no screen, no start-up thread); the text says why.
  void StartFailed(const QString& text);

 protected:
  void DoDataExchange() override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;

 private:
  bool RunInitStep(InitStep step);
  void RunCloseStep(CloseStep step);
  void PlaceWindow(bool show);
  void HostView();
  void Trace(std::string_view step) const;
  void Fail(const QString& text);

  Options m_options;
  // Before the core: the graph's renderer thread may hand it pictures until the core is gone.
  std::unique_ptr<IVideoOutput> m_pictures;
  std::u16string m_configOverride;
  Hooks m_hooks;
  CCommandTable m_commands;
  std::unique_ptr<CPlayerCore> m_core;
  std::unique_ptr<CWindowAdapter> m_adapter;
  std::unique_ptr<win::Window> m_window;
  std::unique_ptr<CScreenSaverInhibitor> m_inhibitor;
  std::vector<std::shared_ptr<void>> m_features;

  InstallPaths m_paths;
  PlayerSettings m_settings;
  bool m_settingsLoaded = false;
  bool m_placed = false;
  bool m_closing = false;
  bool m_closed = false;
  bool m_initDone = false;
  bool m_closeRequested = false;
  QTimer* m_promptCloser = nullptr;

  std::map<int, QWidget*> m_controls;
  CTickerStatic* m_strips[3] = {};
  CCaptionWnd* m_caption = nullptr;
  CGifStatic* m_animation = nullptr;
  CSkinSlider* m_volume = nullptr;
  QLabel* m_volumeText = nullptr;
  CBlinkLabel* m_recIndicator = nullptr;
  CMainWindowView* m_view = nullptr;
};

}  // namespace tevalo::shell
