// The player program: one instance per user; a second start hands its argument to the first.
#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "controls/font_aliases.h"
#include "platform/kernel/error.h"
#include "platform/kernel/instance_lock.h"
#include "player/resources/player_resources.h"
#include "player/shell/player_app.h"
#include "player/shell/window_features.h"

using namespace tevalo::shell;

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// Ctrl-C and SIGTERM close the player as its close button does, so settings are saved and a
// recording ends cleanly; the handler only wakes the GUI thread.
void CloseOnSignals(CPlayerDlg& dlg) {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &dlg);
  QObject::connect(notifier, &QSocketNotifier::activated, &dlg, [&dlg] {
    char c;
    while (::read(g_signalPipe[0], &c, 1) > 0) {
    }
    dlg.RequestClose();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const StartArgument argument = ParseStartArgument(argc, argv);
  auto lock = std::make_unique<tvk::SingleInstanceLock>(kInstanceMutexName);
  if (!lock->Acquired() && lock->LastError() == tvk::ERROR_ALREADY_EXISTS &&
      !RunAsSecondInstance(argument, lock))
    return 0;

  LoadFontAliases();
  QApplication app(argc, argv);
  InstallPlayerResources();

  CPlayerApp::Options options;
  options.dialog.argument = argument;
  options.attach = [](CPlayerDlg& dlg) {
    AttachWindowFeatures(dlg);
    CloseOnSignals(dlg);
  };
  CPlayerApp theApp(std::move(options));
  return theApp.InitInstance();
}
