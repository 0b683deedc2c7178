// The player's window on the live road beside the headless live road: CPU seconds per second of
// stream while the sample broadcast plays, the window (in this process, shown on the display) and
// then `tevalo-live --headless` (a child), each on a freshly started stand-in, side by side with the
// ratio. Needs a display: run it under Xvfb (xvfb-run -a window_bench [seconds]).
#include <gst/gst.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "controls/font_aliases.h"
#include "platform/path/utf.h"
#include "player/resources/player_resources.h"
#include "player/shell/player_dlg.h"
#include "player/shell/window_features.h"
#include "sim_client.h"

using namespace tevalo::shell;

namespace {

constexpr int kFramesPerSecond = 15;  // the sample broadcast's pictures
constexpr uint64_t kSettleFrames = 2 * kFramesPerSecond;

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

double SelfCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ChildCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  unsigned long utime = 0, stime = 0;
  // Fields 14 and 15 (user and system ticks), counted from the state after the name.
  if (std::sscanf(line.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                  &stime) != 2)
    return -1;
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

std::unique_ptr<tunersim::SimProcess> StartSampleBroadcast() {
  tunersim::SimProcess::Options o;
  o.args = {"--config", TEVALO_SOURCE_DIR "/tools/tuner-sim/sample-broadcast.conf"};
  return std::make_unique<tunersim::SimProcess>(o);
}

struct Run {
  double cpu = 0;
  double streamSeconds = 0;
  double PerStreamSecond() const { return streamSeconds > 0 ? cpu / streamSeconds : 0; }
};

// Runs the event loop until done() (checked every 100 ms, so the wait itself costs nothing).
bool RunUntil(const std::function<bool()>& done, int limitSeconds) {
  QEventLoop loop;
  QTimer poll;
  int ticks = 0;
  bool ok = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) {
      ok = true;
      loop.quit();
    } else if (++ticks > limitSeconds * 10) {
      loop.quit();
    }
  });
  poll.start(100);
  loop.exec();
  return ok;
}

// The window as the program runs it: dialog, features, start-up steps, the area search, live.
bool MeasureWindow(const std::string& config, int seconds, Run* run) {
  auto sim = StartSampleBroadcast();
  CPlayerDlg::Options options;
  options.core.configPath = tevalo::text::ToUtf16(config);
  options.useSessionBus = false;
  auto dlg = std::make_unique<CPlayerDlg>(options);
  AttachWindowFeatures(*dlg);
  if (!dlg->OnInitDialog()) return false;
  auto written = [&] { return dlg->Core().Counts().videoWritten; };
  bool ok = RunUntil([&] { return written() >= kSettleFrames && dlg->isVisible(); }, 300);
  if (ok) {
    const double cpu0 = SelfCpuSeconds();
    const uint64_t f0 = written();
    ok = RunUntil([&] { return written() >= f0 + uint64_t(seconds) * kFramesPerSecond; }, seconds * 20 + 120);
    run->cpu = SelfCpuSeconds() - cpu0;
    run->streamSeconds = double(written() - f0) / kFramesPerSecond;
  }
  dlg->OnClose();
  dlg.reset();
  sim->stop();
  return ok;
}

// tevalo-live --headless as a child; its per-second lines carry the frames written so far.
bool MeasureHeadless(int seconds, Run* run) {
  auto sim = StartSampleBroadcast();
  int out[2];
  if (pipe(out) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    const std::string limit = std::to_string(seconds * 20 + 300);
    execl(TEVALO_BIN_DIR "/tevalo-live", "tevalo-live", "--headless", "--seconds", limit.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  char line[512];
  uint64_t f0 = 0, last = 0;
  double cpu0 = -1;
  bool ok = false;
  while (std::fgets(line, sizeof line, lines)) {
    const char* sent = std::strstr(line, "frames sent ");
    unsigned long long frames = 0;
    if (!sent || std::sscanf(sent, "frames sent %llu video", &frames) != 1) continue;
    last = frames;
    if (cpu0 < 0) {
      if (frames < kSettleFrames) continue;
      cpu0 = ChildCpuSeconds(pid);
      f0 = frames;
    } else if (frames >= f0 + uint64_t(seconds) * kFramesPerSecond) {
      run->cpu = ChildCpuSeconds(pid) - cpu0;
      ok = cpu0 >= 0 && run->cpu >= 0;
      break;
    }
  }
  run->streamSeconds = double(last - f0) / kFramesPerSecond;
  kill(pid, SIGINT);
  while (std::fgets(line, sizeof line, lines)) {
  }
  fclose(lines);
  waitpid(pid, nullptr, 0);
  sim->stop();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
  char dirTemplate[] = "/tmp/tevalo-window-bench-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  setenv("TEVALO_NAMESPACE", "window_bench", 1);
  setenv("GST_PLUGIN_PATH", TEVALO_PLUGIN_DIR, 1);
  setenv("GST_REGISTRY", (dir + "/gst-registry.bin").c_str(), 1);
  setenv("TEVALO_AUDIO_SINK", "fakesink", 1);  // no sound device under Xvfb: the same sink for both
  setenv("TEVALO_REGISTRY", (dir + "/registry.ini").c_str(), 1);
  const std::string user = dir + "/user";
  const std::string install = std::string(TEVALO_BIN_DIR "/tevalo-regwrite install --install-dir ") +
                              TEVALO_BIN_DIR + " --user-dir " + user + " --rec-dir " + dir +
                              "/rec >/dev/null";
  std::filesystem::create_directories(user);
  if (std::system(install.c_str()) != 0) {
    std::fprintf(stderr, "window_bench: tevalo-regwrite failed\n");
    return 1;
  }
  // The stored area: the start searches it without asking.
  const std::string config = user + "/config.ini";
  std::ofstream(config) << "[SETUP]\nAREA_NUM=7\n";

  LoadFontAliases();
  QApplication app(argc, argv);
  InstallPlayerResources();
  gst_init(nullptr, nullptr);
  std::printf("window_bench: %d s of stream each on the sample broadcast, platform %s, load %s\n", seconds,
              qPrintable(QGuiApplication::platformName()), LoadAverage().c_str());
  Run window, headless;
  const bool windowOk = MeasureWindow(config, seconds, &window);
  const bool headlessOk = MeasureHeadless(seconds, &headless);
  std::printf("  tevalo (window shown)      %6.2f CPU s over %5.1f s of stream: %.3f CPU s per s%s\n",
              window.cpu, window.streamSeconds, window.PerStreamSecond(),
              windowOk ? "" : "  (did not finish)");
  std::printf("  tevalo-live --headless     %6.2f CPU s over %5.1f s of stream: %.3f CPU s per s%s\n",
              headless.cpu, headless.streamSeconds, headless.PerStreamSecond(),
              headlessOk ? "" : "  (did not finish)");
  if (headless.PerStreamSecond() > 0)
    std::printf("  ratio window / headless    %.2f\n", window.PerStreamSecond() / headless.PerStreamSecond());
  std::printf("  load after %s\n", LoadAverage().c_str());
  std::filesystem::remove_all(dir);
  return windowOk && headlessOk ? 0 : 1;
}
