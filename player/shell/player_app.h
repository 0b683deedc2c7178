// The application object: version events, the splash, then the main window's modal run. The
// single-instance check and the hand-over to a running player happen in main() before it exists.
#pragma once

#include <QRect>
#include <functional>
#include <memory>

#include "platform/kernel/instance_lock.h"
#include "platform/kernel/sync.h"
#include "player/shell/player_dlg.h"

namespace tevalo::shell {

inline constexpr char kInstanceMutexName[] = "Global\\{719967F0-DCC6-49b5-9C61-DE91175C3187}";
inline constexpr char kRecentVersionEvent[] = "RECENT_VERSION_EVENT";
inline constexpr char kOldVersionEvent[] = "OLD_VERSION_EVENT";
inline constexpr char16_t kTrayTimerWindowTitle[] = u"TRAYICONTIMER";
inline constexpr int kSplashMs = 2000;
inline constexpr int kHandOverAttempts = 100;  // 100 ms apart
inline constexpr unsigned kHandOverTimeoutMs = 1000;

// A second start: hands the argument to the running player (restore, then code 16). Returns true
// when this start must run as the player after all (the first one is gone; `lock` then holds it).
bool RunAsSecondInstance(const StartArgument& argument, std::unique_ptr<tvk::SingleInstanceLock>& lock);

class CPlayerApp {
 public:
  struct Options {
    CPlayerDlg::Options dialog;
    int splashMs = kSplashMs;
    // Called with the main window before its modal run: the window features bind here.
    std::function<void(CPlayerDlg&)> attach;
  };

  explicit CPlayerApp(Options options);
  ~CPlayerApp();
  static CPlayerApp* Instance();

  // The start; returns the process's exit code (0 also when a newer version is being installed).
  int InitInstance();
  CPlayerDlg* MainWindow() const { return m_pMainWnd; }

  int m_bChannelPanelShown = 0;
  int m_bPlaybackPanelShown = 0;
  int m_bPlaylistShown = 0;
  QRect m_rcMainWindow;

 private:
  Options m_options;
  tvk::Handle m_recentVersionEvent;
  tvk::Handle m_oldVersionEvent;
  CPlayerDlg* m_pMainWnd = nullptr;
};

}  // namespace tevalo::shell
