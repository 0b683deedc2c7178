// Loads any bytes as the animation control does and runs the animation through every frame twice.
#include <QGuiApplication>
#include <cstdlib>

#include "player/panels/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QGuiApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "panels_gif_fuzz";
    static char* argv[] = {name, nullptr};
    return new QGuiApplication(argc, argv);
  }();
  (void)app;
  tevalo::panels::GifAnimation animation;
  if (!animation.Load({data, size}, Qt::gray)) return 0;
  if (!animation.Animated()) {
    animation.ShowStill();
    return 0;
  }
  animation.Begin();
  for (size_t i = 0; i < 2 * animation.Frames().size(); ++i) animation.Next();
  return 0;
}
