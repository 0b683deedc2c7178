// panels_bench [rounds]: GUI-thread CPU time in a second of the main window's moving parts (three
// running strips, one scrolling; a caption screen with its countdown; the channel-change animation),
// beside a second of the same window with nothing running, alternating in the same process. Runs on
// the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <time.h>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "controls/resources.h"
#include "gif_writer.h"
#include "player/panels/caption_window.h"
#include "player/panels/gif_static.h"
#include "player/panels/ticker_static.h"

using namespace tevalo::panels;

namespace {

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// GUI-thread CPU milliseconds over one second of the event loop.
double MeasureSecond() {
  QEventLoop loop;
  QTimer::singleShot(1000, &loop, &QEventLoop::quit);
  const double start = ThreadCpuMs();
  loop.exec();
  return ThreadCpuMs() - start;
}

CaptionScreen SampleScreen() {
  const std::u16string texts[] = {u"こんばんは。", u"ニュースをお伝えします", u"大雨に注意"};
  const int colours[] = {8, 4, 2};
  CaptionScreen s{};
  for (size_t i = 0; i < 3; ++i) {
    s[i].lineCount = 3;
    s[i].crFlag = i == 0 ? 1 : 2;
    s[i].colour = colours[i];
    std::copy(texts[i].begin(), texts[i].end(), s[i].text);
  }
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  SetGifResolver([](unsigned id) { return gif_test::PlayerAnimation(id); });

  QWidget window;
  window.resize(346, 440);
  CTickerStatic name(&window, 1046), programme(&window, 1047), status(&window, 1048);
  name.setGeometry(13, 34, 193, 15);
  programme.setGeometry(23, 303, 300, 15);
  status.setGeometry(23, 323, 300, 15);
  name.SetIndex(0);
  programme.SetIndex(1);
  status.SetIndex(2);
  CCaptionWnd caption(&window);
  caption.setGeometry(23, 243, 300, 60);
  CGifStatic animation(&window, 1104);
  if (!animation.LoadFromResource(507)) {
    std::fprintf(stderr, "panels_bench: the animation does not load\n");
    return 1;
  }
  animation.move(AnimationPlacement(window.size()).topLeft());
  window.show();
  QApplication::processEvents();

  auto start = [&] {
    name.SetText("チャンネル : ＮＨＫ総合", 0);
    programme.SetText("   <現在の番組> * ニュース・気象情報 (19:00:00 ～ 19:30:00)    今日のニュースと天気",
                      1);
    status.SetText("受信中", 0);
    for (CTickerStatic* s : {&name, &programme, &status}) s->StartScroll(true, -1);
    caption.SetCaption(SampleScreen());
    animation.Draw();
  };
  auto stop = [&] {
    for (CTickerStatic* s : {&name, &programme, &status}) s->StartScroll(false, 0);
    caption.ClearCaption();
    animation.Stop();
    MeasureSecond();  // let the last ticks pass
  };

  std::vector<double> idle, running;
  for (int r = 0; r < rounds; ++r) {
    idle.push_back(MeasureSecond());
    start();
    running.push_back(MeasureSecond());
    stop();
  }
  const double idleMs = Median(idle);
  const double runMs = Median(running);
  std::printf("GUI-thread CPU per second, median of %d rounds\n", rounds);
  std::printf("  idle window          %8.2f ms\n", idleMs);
  std::printf("  strips+caption+GIF   %8.2f ms  (%.1f%% of one core)\n", runMs, runMs / 10.0);
  std::printf("  added by the widgets %8.2f ms; running / idle = %.1f\n", runMs - idleMs,
              idleMs > 0 ? runMs / idleMs : 0.0);
  return 0;
}
