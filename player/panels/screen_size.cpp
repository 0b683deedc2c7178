#include "player/panels/screen_size.h"

#include <QGuiApplication>
#include <QScreen>

namespace tevalo::panels {
namespace {
std::function<QSize()>& Function() {
  static std::function<QSize()> function;
  return function;
}
}  // namespace

QSize ScreenSize() {
  if (Function()) return Function()();
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize();
}

void SetScreenSizeFunction(std::function<QSize()> function) { Function() = std::move(function); }

}  // namespace tevalo::panels
