// A stand-in for the running player: holds the player's single-instance lock and its "Tevalo"
// window. Prints "ready" once other processes can reach it and "close" when asked to close; it then
// keeps the lock a little longer, as the player does while its tuner shuts down, writes
// DIR/standin-exited and ends.
//
//   player-standin DIR
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/kernel/instance_lock.h"
#include "platform/window/window.h"
#include "updater/installation.h"

using namespace tevalo;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: player-standin DIR\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  const std::string marker = std::string(argv[1]) + "/standin-exited";
  tvk::SingleInstanceLock lock(updater::kPlayerInstanceLock);
  if (!lock.Acquired()) {
    std::printf("locked\n");
    return 1;
  }
  win::Window window(updater::kPlayerWindowTitle,
                     [&](win::UINT msg, win::WPARAM, win::LPARAM) -> win::LRESULT {
                       if (msg != win::WM_CLOSE) return 0;
                       std::printf("close\n");
                       std::fflush(stdout);
                       QTimer::singleShot(500, [&] {
                         std::ofstream(marker) << "exited\n";
                         QCoreApplication::quit();
                       });
                       return 0;
                     });
  std::printf(window.ReachableFromOtherProcesses() ? "ready\n" : "unreachable\n");
  std::fflush(stdout);
  return app.exec();  // the lock goes after the marker is written
}
