#include "player/shell/player_app.h"

#include <gst/gst.h>

#include <QEventLoop>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <thread>

#include "platform/kernel/instance_lock.h"
#include "platform/window/window.h"
#include "player/panels/about_dlg.h"

Q_DECLARE_LOGGING_CATEGORY(lcPlayerWindow)

namespace tevalo::shell {
namespace {

CPlayerApp* g_app = nullptr;

}  // namespace

bool RunAsSecondInstance(const StartArgument& argument, std::unique_ptr<tvk::SingleInstanceLock>& lock) {
  win::HWND target = nullptr;
  HandOverOps ops;
  ops.findWindow = [&] { return (target = win::FindWindowW(nullptr, kPlayerWindowTitle)) != nullptr; };
  ops.tryTakeLock = [&] {
    auto retry = std::make_unique<tvk::SingleInstanceLock>(kInstanceMutexName);
    if (!retry->Acquired()) return false;
    lock = std::move(retry);
    return true;
  };
  ops.restore = [&] { win::PostMessageW(target, win::WM_SYSCOMMAND, win::SC_RESTORE, 0); };
  ops.sendArgument = [&](const std::vector<uint8_t>& payload) {
    win::COPYDATASTRUCT data{COPYDATA_IEPG_FILE, static_cast<uint32_t>(payload.size()),
                             const_cast<uint8_t*>(payload.data())};
    uintptr_t result = 0;
    win::SendMessageTimeoutW(target, win::WM_COPYDATA, 0, reinterpret_cast<win::LPARAM>(&data),
                             win::SMTO_BLOCK, kHandOverTimeoutMs, &result);
  };
  ops.waitStep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
  return HandOverToRunningPlayer(argument, ops, kHandOverAttempts) == HandOverResult::kRunAsFirst;
}

CPlayerApp::CPlayerApp(Options options) : m_options(std::move(options)) { g_app = this; }

CPlayerApp::~CPlayerApp() {
  if (g_app == this) g_app = nullptr;
}

CPlayerApp* CPlayerApp::Instance() { return g_app; }

int CPlayerApp::InitInstance() {
  if (win::HWND tray = win::FindWindowW(nullptr, kTrayTimerWindowTitle))
    win::SendMessageW(tray, win::WM_CLOSE, 0, 0);

  GError* error = nullptr;
  if (!gst_init_check(nullptr, nullptr, &error)) {
    if (error) g_error_free(error);
    QMessageBox::warning(nullptr, QString(), QStringLiteral("DirectX  - CoInitialize Failed!"));
    return 1;
  }

  // The updater opens and sets these: a newer version is being installed, or was just installed.
  m_recentVersionEvent = tvk::CreateEvent(false, false, kRecentVersionEvent);
  m_oldVersionEvent = tvk::CreateEvent(false, false, kOldVersionEvent);

  auto splash = std::make_unique<panels::CAboutDlg>();
  splash->OnInitDialog();
  splash->show();
  qCInfo(lcPlayerWindow) << "splash";

  const uint32_t versionState =
      m_recentVersionEvent && m_oldVersionEvent
          ? tvk::WaitForMultipleObjects({m_recentVersionEvent, m_oldVersionEvent}, false, 0)
          : tvk::WAIT_TIMEOUT;
  if (versionState == tvk::WAIT_OBJECT_0 + 1) {
    qCInfo(lcPlayerWindow) << "a newer version is being installed";
    return 0;
  }

  // A local loop, so the splash paints and a click on it closes it.
  {
    QEventLoop loop;
    QTimer::singleShot(m_options.splashMs, &loop, &QEventLoop::quit);
    loop.exec();
  }
  splash->hide();
  splash.reset();

  CPlayerDlg dlg(m_options.dialog);
  m_pMainWnd = &dlg;
  if (m_options.dialog.argument.kind == StartKind::kReservation) dlg.m_bCloseAfterRecording = 1;
  if (m_options.attach) m_options.attach(dlg);
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return 0;
}

}  // namespace tevalo::shell
