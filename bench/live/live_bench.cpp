// live_bench [seconds]: the live road on the stick stand-in with the sample broadcast.
//  - zap time: channel change request to the new graph's first rendered picture, over 20 changes,
//    beside the stream's IDR interval (the floor a decoder has to wait for);
//  - CPU time per second of live playback, beside gst-launch-1.0 playbin playing the same stream
//    file into the same kind of sinks (BGRx pictures into a syncing sink, sound into a syncing
//    fake sink), run in the same process tree right after; the simulator's own CPU is not counted;
//  - peak memory (maximum resident set).
#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/path/utf.h"
#include "player/shell/player_core.h"
#include "player/shell/window_adapter.h"
#include "sim_client.h"

using namespace tevalo::shell;

namespace {

// Runs the event loop (sleeping between events) until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, int ms) {
  QEventLoop loop;
  QTimer poll, limit;
  bool ok = done();
  if (ok) return true;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) {
      ok = true;
      loop.quit();
    }
  });
  QObject::connect(&limit, &QTimer::timeout, [&] { loop.quit(); });
  poll.start(5);
  limit.setSingleShot(true);
  limit.start(ms);
  loop.exec();
  return ok;
}

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU ticks of each thread of this process.
std::map<std::string, long> ThreadTicks() {
  std::map<std::string, long> ticks;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(e.path() / "stat");
    std::string line;
    std::getline(in, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::atol(field.c_str());
      if (i == 15) stime = std::atol(field.c_str());
    }
    ticks[e.path().filename().string()] = utime + stime;
  }
  return ticks;
}

double ManifestNumber(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  const size_t at = text.find("\"" + key + "\"");
  if (at == std::string::npos) return 0;
  return std::atof(text.c_str() + text.find(':', at) + 1);
}

// CPU seconds that gst-launch-1.0 playbin spends on `seconds` of the file.
double PlaybinCpu(const std::string& file, int seconds) {
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string uri = "uri=file://" + file;
    execlp("timeout", "timeout", "-s", "INT", std::to_string(seconds).c_str(), "gst-launch-1.0", "-q",
           "playbin", uri.c_str(), "video-sink=videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true",
           "audio-sink=fakesink sync=true", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage u{};
  wait4(pid, &status, 0, &u);
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 124)) return -1;
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
  char dirTemplate[] = "/tmp/tevalo-live-bench-XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  const std::string fixtures = TEVALO_FIXTURE_DIR;
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  setenv("TEVALO_NAMESPACE", "live_bench", 1);
  setenv("GST_PLUGIN_PATH", TEVALO_PLUGIN_DIR, 1);
  setenv("GST_REGISTRY", (dir + "/gst-registry.bin").c_str(), 1);
  setenv("TEVALO_AUDIO_SINK", "fakesink", 1);
  {
    std::ofstream reg(dir + "/registry.ini");
    reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"User_Dir\"=\"" << dir << "/\"\n\"rec_Dir\"=\"" << dir
        << "\"\n";
    reg << "[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"halviksrc\"\n";
  }
  setenv("TEVALO_REGISTRY", (dir + "/registry.ini").c_str(), 1);
  QCoreApplication app(argc, argv);
  gst_init(nullptr, nullptr);

  tunersim::SimProcess::Options so;
  for (int uhf : {27, 26, 25}) {
    so.args.push_back("--channel");
    so.args.push_back(std::to_string(uhf) + "=" + fixtures + "/sample/ch" + std::to_string(uhf) +
                      "/stream.ts");
  }
  tunersim::SimProcess sim(so);

  CNullPlayerView view;
  CHeadlessVideoOutput video;
  CPlayerCore::Options o;
  o.video = &video;
  o.configPath = tevalo::text::ToUtf16(dir + "/config.ini");
  auto controller = std::make_unique<CPlayerCore>(view, o);
  CWindowAdapter adapter(*controller);
  controller->StartStartupThread();
  auto window = RegisterPlayerWindow(adapter);
  controller->AttachWindow(window->hwnd());
  controller->StartDeviceWatcher();
  controller->StartTuner();
  auto playing = [&](const IMediaGraph* old) {
    auto g = controller->MediaGraph();
    return g && g.get() != old && !controller->State().opening && g->GetFrameRate() > 0;
  };
  if (!PumpUntil([&] { return playing(nullptr); }, 30000)) {
    std::fprintf(stderr, "live_bench: nothing plays\n");
    return 1;
  }

  // CPU per second of live playback.
  PumpUntil([] { return false; }, 2000);
  const auto ticks0 = ThreadTicks();
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t pictures0 = video.Count();
  PumpUntil([] { return false; }, seconds * 1000);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpuLive = (CpuSeconds(RUSAGE_SELF) - cpu0) / wall;
  const uint64_t pictures = video.Count() - pictures0;
  // The busiest thread alone: on the stand-in this is the tuner library's stream thread, which polls
  // the stick without pause.
  double busiest = 0;
  for (const auto& [tid, t] : ThreadTicks()) {
    const auto before = ticks0.find(tid);
    busiest = std::max(busiest, double(t - (before == ticks0.end() ? 0 : before->second)));
  }
  busiest = busiest / sysconf(_SC_CLK_TCK) / wall;

  // Zap time over 20 changes.
  const std::u16string codes[] = {u"13131", u"12121", u"14141"};
  std::vector<double> zaps;
  for (int i = 0; i < 20; ++i) {
    auto old = controller->MediaGraph();
    const auto z0 = std::chrono::steady_clock::now();
    controller->ChangeChannel(codes[i % 3], false);
    if (!PumpUntil([&] { return playing(old.get()); }, 20000)) {
      std::fprintf(stderr, "live_bench: change %d did not play\n", i);
      return 1;
    }
    zaps.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - z0).count());
  }
  controller->Shutdown();
  window.reset();
  controller.reset();
  sim.stop();
  rusage self{};
  getrusage(RUSAGE_SELF, &self);

  const std::string file = fixtures + "/sample/ch27/stream.ts";
  const double cpuPlaybin = PlaybinCpu(file, seconds) / seconds;

  std::sort(zaps.begin(), zaps.end());
  const std::string manifest = fixtures + "/sample/ch27/manifest.json";
  const double fps = ManifestNumber(manifest, "fps");
  const double gop = ManifestNumber(manifest, "gop_frames");
  std::printf("live playback: %d s, %llu pictures rendered\n", seconds, (unsigned long long)pictures);
  std::printf("zap time over 20 changes: median %.0f ms, worst %.0f ms, best %.0f ms; IDR interval %.0f ms\n",
              zaps[zaps.size() / 2], zaps.back(), zaps.front(), fps > 0 ? gop / fps * 1000 : 0.0);
  std::printf("CPU per second of playback: tevalo %.3f s, playbin %.3f s, ratio %.2f\n", cpuLive, cpuPlaybin,
              cpuPlaybin > 0 ? cpuLive / cpuPlaybin : 0.0);
  std::printf("  of which the busiest thread %.3f s; the rest %.3f s, ratio %.2f\n", busiest,
              cpuLive - busiest, cpuPlaybin > 0 ? (cpuLive - busiest) / cpuPlaybin : 0.0);
  std::printf("peak memory (max RSS): %ld MB\n", self.ru_maxrss / 1024);
  std::filesystem::remove_all(dir);
  return 0;
}
