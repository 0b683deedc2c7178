// The player program: one instance per user; a second start hands its argument to the first.
#include <QApplication>
#include <memory>

#include "controls/font_aliases.h"
#include "platform/kernel/error.h"
#include "platform/kernel/instance_lock.h"
#include "player/resources/player_resources.h"
#include "player/shell/player_app.h"
#include "player/shell/window_features.h"

using namespace tevalo::shell;

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
  options.attach = [](CPlayerDlg& dlg) { AttachWindowFeatures(dlg); };
  CPlayerApp theApp(std::move(options));
  return theApp.InitInstance();
}
