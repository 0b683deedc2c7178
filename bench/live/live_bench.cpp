// live_bench [seconds] [changes]: the live road on the stick stand-in with the sample broadcast.
//  - CPU time of the player process per second of live playback (the stand-in, a child process, is
//    not counted), beside gst-launch-1.0 playbin playing the same stream file into the same kind of
//    sinks (BGRx pictures into a syncing sink, sound into a syncing fake sink) over the same seconds
//    of the same run; the busiest thread's share; the stick commands per second;
//  - channel changes from the loop start and from a random point of the loop (the phase of the
//    key-picture interval a real tune meets): each change's timeline from the request (graph opened,
//    tuned, first stick unit, the tune's first key picture handed on whole by the stick, stream
//    headers, first video frame written to the filter, first picture rendered, playing), and the
//    median and worst zap (request to first picture) of each, beside
//    playbin fed the same bytes through appsrc from the same start at the same pace;
//  - the random-phase changes again with a player that restarts its stream threads at each change;
//  - peak memory (maximum resident set).
//
// live_bench memory [seconds]: the resident set every 10 s while live television plays, while it is
// paused (the stick keeps delivering) and after it plays again, with each phase's growth per minute.
//
// live_bench sync [seconds] [other.rec ...]: flash-to-beep distance on the A/V sync broadcast, taken
// from the buffer times at the two sink inputs (the renderer's pictures, the audio stage's sound):
// live, tuned where a key picture comes before the sound stamped after it, while the filter records;
// then that recording played through the playback element, and each other recording given.
//
// live_bench weak-sync [seconds]: the sync broadcast looped to the seconds given, beside the same
// stream damaged by tools/fixturegen/weak_signal.py (seed 18), each played live: each beep's onset
// against where it may begin in the stream given the damaged sound frames, and each stretch of
// missing sound against the frames the damage touched.
#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device.h"
#include "platform/path/utf.h"
#include "player/shell/player_core.h"
#include "player/shell/window_adapter.h"
#include "sim_client.h"
#include "tests/support/flash_beep.h"
#include "ts_loop.h"

using namespace tevalo::shell;
using Clock = std::chrono::steady_clock;

namespace {

double MsSince(Clock::time_point t0, Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t - t0).count();
}

// Counts the pictures and notes when the first ones after Arm() came.
class TimedOutput : public CHeadlessVideoOutput {
 public:
  static constexpr size_t kNoted = 9;  // the first picture and the eight after it

  void OnPicture(const uint8_t* bgrx, int width, int height, int stride, int64_t ptsNs) override {
    {
      std::lock_guard lock(m_arrivalLock);
      if (m_arrivals.size() < kNoted) m_arrivals.push_back(Clock::now());
    }
    CHeadlessVideoOutput::OnPicture(bgrx, width, height, stride, ptsNs);
  }
  void Arm() {
    std::lock_guard lock(m_arrivalLock);
    m_arrivals.clear();
  }
  std::vector<Clock::time_point> Arrivals() const {
    std::lock_guard lock(m_arrivalLock);
    return m_arrivals;
  }
  bool Seen() const { return !Arrivals().empty(); }
  Clock::time_point First() const { return Arrivals().front(); }

 private:
  mutable std::mutex m_arrivalLock;
  std::vector<Clock::time_point> m_arrivals;
};

// Runs the event loop until done() or the time is up; done() is asked every 2 ms.
bool PumpUntil(const std::function<bool()>& done, int ms) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll, limit;
  bool ok = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) {
      ok = true;
      loop.quit();
    }
  });
  QObject::connect(&limit, &QTimer::timeout, [&] { loop.quit(); });
  poll.start(2);
  limit.setSingleShot(true);
  limit.start(ms);
  loop.exec();
  return ok;
}

// Runs the event loop for ms without polling anything (the CPU window).
void PumpFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// utime + stime ticks of a /proc/.../stat line.
long StatTicks(const std::filesystem::path& stat, std::string* name = nullptr) {
  std::ifstream in(stat);
  std::string line;
  std::getline(in, line);
  const size_t open = line.find('('), close = line.rfind(')');
  if (close == std::string::npos || open == std::string::npos) return -1;
  if (name) *name = line.substr(open + 1, close - open - 1);
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

struct ThreadUse {
  std::string name;
  long ticks = 0;
};

std::map<std::string, ThreadUse> ThreadTicks() {
  std::map<std::string, ThreadUse> ticks;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
    ThreadUse u;
    u.ticks = StatTicks(e.path() / "stat", &u.name);
    if (u.ticks >= 0) ticks[e.path().filename().string()] = u;
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

// gst-launch-1.0 playbin on the file, as a child process.
pid_t StartPlaybin(const std::string& file) {
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string uri = "uri=file://" + file;
    execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "playbin", uri.c_str(),
           "video-sink=videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true",
           "audio-sink=fakesink sync=true", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One channel change; every step in ms from the request, -1 when it was not seen.
// `key`: when the stick had handed on the first key picture of the tune in full, the floor of what
// follows it.
struct Timeline {
  double opened = -1, tuned = -1, firstUnit = -1, key = -1, headers = -1, firstFrame = -1, firstPicture = -1,
         playing = -1;
  double gap = -1;  // the longest wait between the first pictures (a stutter after the first one)
};

// Whether packet `i` of the loop begins a picture's PES; `key` tells whether a sequence header
// (a key picture) is in it.
bool PictureStart(const tunersim::TsLoop& loop, uint64_t i, bool* key) {
  uint8_t p[tunersim::kPacketSize];
  loop.packet(i, p);
  if (p[0] != 0x47 || !(p[1] & 0x40) || !(p[3] & 0x10)) return false;
  size_t o = 4;
  if (p[3] & 0x20) o += 1 + size_t(p[4]);
  if (o + 9 > sizeof p || p[o] || p[o + 1] || p[o + 2] != 1 || (p[o + 3] & 0xF0) != 0xE0) return false;
  if (key) {
    *key = false;
    for (size_t j = o + 9 + p[o + 8]; j + 3 < sizeof p && !*key; ++j)
      *key = !p[j] && !p[j + 1] && p[j + 2] == 1 && (p[j + 3] & 0x1F) == 7;
  }
  return true;
}

// Ms from a stream start at packet `first` until the stick has handed on the first key picture
// whole: its PES ends where the next picture's begins, and the stick hands packets on in whole
// transfers. -1 when none comes within two loops.
double KeyPictureDeliveredMs(const tunersim::TsLoop& loop, uint64_t first) {
  const uint64_t limit = first + 2 * loop.packet_count();
  uint64_t i = first;
  for (bool key = false; i < limit && !(PictureStart(loop, i, &key) && key);) ++i;
  uint64_t end = i + 1;
  while (end < limit && !PictureStart(loop, end, nullptr)) ++end;
  if (end >= limit) return -1;
  const uint64_t transfers = (end - first) / tunersim::kUnitsPerTransfer + 1;
  return (loop.start_ticks(first + transfers * tunersim::kUnitsPerTransfer) - loop.start_ticks(first)) *
         1000.0 / double(tunersim::kPcrHz);
}

// The same change for a plain GStreamer pipeline: playbin fed through appsrc with the bytes the
// stand-in serves from packet `first` on, at the pace it serves them. Returns the ms from the first
// byte to the first picture at the video sink, or -1.
double ReferenceZap(const tunersim::TsLoop& loop, uint64_t first) {
  struct State {
    std::atomic<GstElement*> src{nullptr};
    std::atomic<Clock::rep> picture{0};
  } state;
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* video = gst_parse_bin_from_description(
      "videoconvert ! video/x-raw,format=BGRx ! fakesink name=v sync=true signal-handoffs=true", TRUE,
      nullptr);
  GstElement* audio = gst_element_factory_make("fakesink", nullptr);
  if (!playbin || !video || !audio) return -1;
  g_object_set(audio, "sync", TRUE, nullptr);
  g_object_set(playbin, "uri", "appsrc://", "video-sink", video, "audio-sink", audio, nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(video), "v");
  g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer p) {
                     auto* st = static_cast<State*>(p);
                     Clock::rep none = 0;
                     st->picture.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
                   }),
                   &state);
  gst_object_unref(sink);
  g_signal_connect(playbin, "source-setup", G_CALLBACK(+[](GstElement*, GstElement* src, gpointer p) {
                     static_cast<State*>(p)->src = src;
                   }),
                   &state);
  gst_element_set_state(playbin, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(playbin);
  double zap = -1;
  for (int i = 0; i < 5000 && !state.src.load(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  GstElement* src = state.src.load();
  const auto t0 = Clock::now();
  const double start = loop.start_ticks(first);
  uint64_t next = first;
  while (src && Clock::now() - t0 < std::chrono::seconds(15)) {
    if (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
      gst_message_unref(m);
      break;
    }
    if (const Clock::rep at = state.picture.load()) {
      zap = MsSince(t0, Clock::time_point(Clock::duration(at)));
      break;
    }
    const double due = start + std::chrono::duration<double>(Clock::now() - t0).count() * tunersim::kPcrHz;
    uint64_t end = next;
    while (loop.start_ticks(end) <= due) ++end;
    if (end > next) {
      GstBuffer* buf = gst_buffer_new_allocate(nullptr, (end - next) * tunersim::kPacketSize, nullptr);
      GstMapInfo map;
      gst_buffer_map(buf, &map, GST_MAP_WRITE);
      for (uint64_t i = next; i < end; ++i) loop.packet(i, map.data + (i - next) * tunersim::kPacketSize);
      gst_buffer_unmap(buf, &map);
      GstFlowReturn flow = GST_FLOW_OK;
      g_signal_emit_by_name(src, "push-buffer", buf, &flow);
      gst_buffer_unref(buf);
      next = end;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  gst_object_unref(bus);
  gst_element_set_state(playbin, GST_STATE_NULL);
  gst_object_unref(playbin);
  return zap;
}

// Runtime folder, installation values and plug-ins of a bench run; the folder is removed at the end.
struct BenchEnv {
  std::string dir;
  BenchEnv() {
    char dirTemplate[] = "/tmp/tevalo-live-bench-XXXXXX";
    dir = mkdtemp(dirTemplate);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("TEVALO_NAMESPACE", "live_bench", 1);
    // Another build's filters (TEVALO_BENCH_PLUGINS) make a recording to compare with this build's.
    const char* plugins = std::getenv("TEVALO_BENCH_PLUGINS");
    setenv("GST_PLUGIN_PATH", plugins && *plugins ? plugins : TEVALO_PLUGIN_DIR, 1);
    setenv("GST_REGISTRY", (dir + "/gst-registry.bin").c_str(), 1);
    setenv("TEVALO_AUDIO_SINK", "fakesink", 1);
    std::ofstream reg(dir + "/registry.ini");
    reg << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tevalo]\n\"User_Dir\"=\"" << dir << "/\"\n\"rec_Dir\"=\"" << dir
        << "\"\n";
    reg << "[HKEY_CLASSES_ROOT\\x-dmb]\n\"Source Filter\"=\"halviksrc\"\n";
    reg << "[HKEY_CLASSES_ROOT\\Media Type\\Extensions\\.rec]\n\"Source Filter\"=\"halvikfsrc\"\n";
    setenv("TEVALO_REGISTRY", (dir + "/registry.ini").c_str(), 1);
  }
  ~BenchEnv() { std::filesystem::remove_all(dir); }
};

// The core of the bench's installation with the "Tevalo" window, started in the main window's
// order; its pictures to `video`, its sound (when given) to `sound`.
struct BenchPlayer {
  BenchPlayer(IPlayerView& view, const std::string& dir, IVideoOutput* video,
              tevalo::test::FlashBeepProbe* sound = nullptr, bool watchDevices = true,
              CMediaGraph::AudioTap alsoTap = {}, bool restartStreams = false) {
    CPlayerCore::Options o;
    o.video = video;
    o.restartStreamsOnChange = restartStreams;
    o.configPath = tevalo::text::ToUtf16(dir + "/config.ini");
    if (sound)
      o.audioTap = [sound, alsoTap](const int16_t* s, size_t f, int c, int r, int64_t pts) {
        sound->OnSound(s, f, c, r, pts);
        if (alsoTap) alsoTap(s, f, c, r, pts);
      };
    core = std::make_unique<CPlayerCore>(view, o);
    adapter = std::make_unique<CWindowAdapter>(*core);
    core->StartStartupThread();
    window = RegisterPlayerWindow(*adapter);
    core->AttachWindow(window->hwnd());
    if (watchDevices) core->StartDeviceWatcher();
  }
  ~BenchPlayer() {
    core->Shutdown();
    window.reset();
  }
  CPlayerCore* operator->() { return core.get(); }
  std::unique_ptr<CPlayerCore> core;
  std::unique_ptr<CWindowAdapter> adapter;
  std::unique_ptr<tevalo::win::Window> window;
};

int RunSync(const BenchEnv& env, int seconds, const std::vector<std::string>& others);
int RunMemory(const BenchEnv& env, int seconds);
int RunWeakSync(const BenchEnv& env, int seconds);

}  // namespace

int main(int argc, char** argv) {
  BenchEnv env;
  QCoreApplication app(argc, argv);
  gst_init(nullptr, nullptr);
  if (argc > 1 && std::string(argv[1]) == "memory")
    return RunMemory(env, argc > 2 ? std::max(20, std::atoi(argv[2])) : 300);
  if (argc > 1 && std::string(argv[1]) == "weak-sync")
    return RunWeakSync(env, argc > 2 ? std::max(10, std::atoi(argv[2])) : 60);
  if (argc > 1 && std::string(argv[1]) == "sync")
    return RunSync(env, argc > 2 ? std::max(5, std::atoi(argv[2])) : 12,
                   std::vector<std::string>(argv + std::min(argc, 3), argv + argc));
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
  const int changes = argc > 2 ? std::max(3, std::atoi(argv[2])) : 20;
  const std::string& dir = env.dir;
  const std::string fixtures = TEVALO_FIXTURE_DIR;

  tunersim::SimProcess::Options so;
  for (int uhf : {27, 26, 25}) {
    so.args.push_back("--channel");
    so.args.push_back(std::to_string(uhf) + "=" + fixtures + "/sample/ch" + std::to_string(uhf) +
                      "/stream.ts");
  }
  tunersim::SimProcess sim(so);

  CNullPlayerView view;
  TimedOutput video;
  auto player = std::make_unique<BenchPlayer>(view, dir, &video);
  BenchPlayer* controller = player.get();
  auto playing = [&](const IMediaGraph* old) {
    auto g = (*controller)->MediaGraph();
    return g && g.get() != old && !(*controller)->State().opening && g->GetFrameRate() > 0;
  };
  auto startTuner = [&] {
    (*controller)->StartTuner();
    if (PumpUntil([&] { return playing(nullptr); }, 30000)) return true;
    std::fprintf(stderr, "live_bench: nothing plays\n");
    return false;
  };
  if (!startTuner()) return 1;

  // CPU per second of live playback, with playbin playing the same file over the same seconds.
  const std::string file = fixtures + "/sample/ch27/stream.ts";
  const pid_t playbin = StartPlaybin(file);
  const std::filesystem::path playbinStat = "/proc/" + std::to_string(playbin) + "/stat";
  PumpFor(2000);  // both past their start-up
  const auto ticks0 = ThreadTicks();
  const long playbin0 = StatTicks(playbinStat);
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
  const uint64_t commands0 = sim.status().commands;
  const auto t0 = Clock::now();
  const uint64_t pictures0 = video.Count();
  PumpFor(seconds * 1000);
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpuLive = (CpuSeconds(RUSAGE_SELF) - cpu0) / wall;
  const uint64_t commands = sim.status().commands - commands0;
  const long playbin1 = StatTicks(playbinStat);
  const uint64_t pictures = video.Count() - pictures0;
  const double tick = double(sysconf(_SC_CLK_TCK));
  const double cpuPlaybin = playbin0 >= 0 && playbin1 >= playbin0 ? (playbin1 - playbin0) / tick / wall : -1;
  kill(playbin, SIGINT);
  int status = 0;
  waitpid(playbin, &status, 0);
  ThreadUse busiest;
  for (const auto& [tid, use] : ThreadTicks()) {
    const auto before = ticks0.find(tid);
    const long used = use.ticks - (before == ticks0.end() ? 0 : before->second.ticks);
    if (used > busiest.ticks) busiest = {use.name, used};
  }
  const double busiestShare = busiest.ticks / tick / wall;

  std::map<int, tunersim::TsLoop> loopOf;
  for (int uhf : {27, 26, 25})
    loopOf.emplace(uhf, tunersim::TsLoop::load(fixtures + "/sample/ch" + std::to_string(uhf) + "/stream.ts"));

  // Channel changes, first from the loop start, then from random points of the loop; last from random
  // points again with a player whose changes stop and restart the stream threads.
  const std::u16string codes[] = {u"13131", u"12121", u"14141"};
  struct Series {
    const char* label;
    const char* start;  // the stand-in's tune start
  };
  const Series series[] = {{"0", "0"}, {"random", "random"}, {"restart", "random"}};
  std::map<std::string, std::vector<Timeline>> runs;
  for (const Series& run : series) {
    const char* start = run.label;
    if (std::string(run.label) == "restart") {
      player->core->Shutdown();
      player.reset();
      player = std::make_unique<BenchPlayer>(view, dir, &video, nullptr, true, CMediaGraph::AudioTap{}, true);
      controller = player.get();
      if (!startTuner()) return 1;
    }
    sim.set_tune_start(run.start);
    for (int i = 0; i < changes; ++i) {
      auto old = (*controller)->MediaGraph();
      auto before = (*controller)->Counts();
      const auto st = sim.status();
      const auto z0 = Clock::now();
      // The stand-in's log clock on ours: its status was answered just before z0.
      const double simAtZ0 = double(st.ms);
      (*controller)->ChangeChannel(codes[i % 3], false);
      Timeline t;
      const bool ok = PumpUntil(
          [&] {
            const double now = MsSince(z0, Clock::now());
            auto g = (*controller)->MediaGraph();
            if (t.opened < 0 && g && g != old) {
              t.opened = now;
              video.Arm();  // the old graph's pictures do not count
            }
            const auto c = (*controller)->Counts();
            if (t.headers < 0 && c.formatHandOvers > before.formatHandOvers) t.headers = now;
            // Frames of the old channel may still be written until its headers go.
            if (t.headers >= 0 && t.firstFrame < 0 && c.videoWritten > before.videoWritten)
              t.firstFrame = now;
            if (t.headers < 0) before.videoWritten = c.videoWritten;
            if (t.opened >= 0 && t.firstPicture < 0 && video.Seen())
              t.firstPicture = MsSince(z0, video.First());
            if (t.playing < 0 && playing(old.get())) t.playing = now;
            // The zap ends at the first picture, which may come just after the graph reports playing.
            return t.playing >= 0 && t.firstPicture >= 0;
          },
          20000);
      if (!ok) {
        std::fprintf(stderr, "live_bench: change %d (start %s) did not play\n", i, start);
        return 1;
      }
      if (PumpUntil([&] { return video.Arrivals().size() >= TimedOutput::kNoted; }, 10000)) {
        const auto a = video.Arrivals();
        for (size_t k = 1; k < a.size(); ++k) t.gap = std::max(t.gap, MsSince(a[k - 1], a[k]));
      }
      for (const auto& r : sim.log(st.commands)) {
        const double at = double(r.ms) - simAtZ0;
        if (t.tuned < 0 && r.code == 7) t.tuned = at;
        if (t.tuned >= 0 && t.firstUnit < 0 && r.code == 13 && r.outcome.rfind("data", 0) == 0) {
          t.firstUnit = at;
          break;
        }
      }
      const auto tuned = sim.status();
      if (t.tuned >= 0 && loopOf.count(tuned.channel)) {
        const double key = KeyPictureDeliveredMs(loopOf.at(tuned.channel), tuned.first_packet);
        if (key >= 0) t.key = t.tuned + key;
      }
      runs[start].push_back(t);
    }
  }
  player->core->Shutdown();
  sim.stop();
  rusage self{};
  getrusage(RUSAGE_SELF, &self);

  // The reference, once the player is gone: the same starts, the channels' files in turn.
  std::vector<const tunersim::TsLoop*> loops;
  for (int uhf : {26, 25, 27}) loops.push_back(&loopOf.at(uhf));
  std::mt19937_64 rng{std::random_device{}()};
  std::map<std::string, std::vector<double>> reference;
  for (const char* start : {"0", "random"})
    for (int i = 0; i < changes; ++i) {
      const auto& loop = *loops[i % loops.size()];
      const uint64_t first = std::string(start) == "0" ? 0 : rng() % loop.packet_count();
      reference[start].push_back(ReferenceZap(loop, first));
    }

  const std::string manifest = fixtures + "/sample/ch27/manifest.json";
  const double fps = ManifestNumber(manifest, "fps");
  const double gop = ManifestNumber(manifest, "gop_frames");
  const double idrMs = fps > 0 ? gop / fps * 1000 : 0.0;
  std::printf("live playback: %.1f s, %llu pictures rendered, %.0f stick commands per second\n", wall,
              (unsigned long long)pictures, commands / wall);
  std::printf("CPU per second of playback: tevalo %.3f s, playbin %.3f s (same seconds), ratio %.2f\n",
              cpuLive, cpuPlaybin, cpuPlaybin > 0 ? cpuLive / cpuPlaybin : 0.0);
  std::printf("  busiest thread \"%s\" %.3f s (%.0f%% of the process)\n", busiest.name.c_str(), busiestShare,
              cpuLive > 0 ? 100 * busiestShare / cpuLive : 0.0);
  std::printf("channel changes (ms from the request; key-picture interval %.0f ms):\n", idrMs);
  std::printf("  %-7s %3s %7s %7s %7s %7s %7s %7s %7s %7s %7s\n", "start", "#", "opened", "tuned", "unit",
              "key", "headers", "frame", "picture", "playing", "gap");
  for (const Series& run : series) {
    const char* start = run.label;
    const auto& list = runs[start];
    for (size_t i = 0; i < list.size(); ++i) {
      const Timeline& t = list[i];
      std::printf("  %-7s %3zu %7.0f %7.0f %7.0f %7.0f %7.0f %7.0f %7.0f %7.0f %7.0f\n", start, i, t.opened,
                  t.tuned, t.firstUnit, t.key, t.headers, t.firstFrame, t.firstPicture, t.playing, t.gap);
    }
  }
  for (const Series& run : series) {
    const char* start = run.label;
    const auto& list = runs[start];
    auto column = [&](double Timeline::*m) {
      std::vector<double> v;
      for (const auto& t : list) v.push_back(t.*m);
      return v;
    };
    const auto zaps = column(&Timeline::firstPicture);
    std::printf(
        "  median  %-7s opened %.0f, tuned %.0f, unit %.0f, key %.0f, headers %.0f, frame %.0f, picture "
        "%.0f\n",
        start, Median(column(&Timeline::opened)), Median(column(&Timeline::tuned)),
        Median(column(&Timeline::firstUnit)), Median(column(&Timeline::key)),
        Median(column(&Timeline::headers)), Median(column(&Timeline::firstFrame)),
        Median(column(&Timeline::firstPicture)));
    std::printf("zap from %s over %zu changes: median %.0f ms, worst %.0f ms, best %.0f ms\n",
                std::string(start) == "0"        ? "the loop start"
                : std::string(start) == "random" ? "a random phase, stream threads kept"
                                                 : "a random phase, stream threads restarted",
                zaps.size(), Median(zaps), *std::max_element(zaps.begin(), zaps.end()),
                *std::min_element(zaps.begin(), zaps.end()));
    // From the stick's first unit, the player's part of the change compares with the reference's.
    std::vector<double> fromUnit;
    for (const auto& t : list)
      if (t.firstUnit >= 0 && t.firstPicture >= 0) fromUnit.push_back(t.firstPicture - t.firstUnit);
    // After the stick has handed on the key picture, the rest is the player's.
    std::vector<double> fromKey;
    for (const auto& t : list)
      if (t.key >= 0 && t.firstPicture >= 0) fromKey.push_back(t.firstPicture - t.key);
    std::printf("  key picture handed on to first picture: median %.0f ms, worst %.0f ms\n", Median(fromKey),
                fromKey.empty() ? -1.0 : *std::max_element(fromKey.begin(), fromKey.end()));
    const auto gaps = column(&Timeline::gap);
    std::printf("  longest wait between the first %zu pictures: median %.0f ms, worst %.0f ms\n",
                TimedOutput::kNoted, Median(gaps), *std::max_element(gaps.begin(), gaps.end()));
    const auto& ref = reference[run.start];
    std::printf(
        "  first unit to first picture: median %.0f ms; playbin fed the same bytes at the same pace, "
        "first byte to first picture: median %.0f ms, worst %.0f ms, best %.0f ms\n",
        Median(fromUnit), Median(ref), *std::max_element(ref.begin(), ref.end()),
        *std::min_element(ref.begin(), ref.end()));
  }
  std::printf("peak memory (max RSS): %ld MB\n", self.ru_maxrss / 1024);
  return 0;
}

namespace {

// Flash pictures at the renderer and beep onsets at the audio stage, by their buffer times; each
// picture's time with the frame number drawn into it (-1: unreadable).
struct SyncProbe : CHeadlessVideoOutput {
  tevalo::test::FlashBeepProbe probe;
  std::mutex codeLock;
  std::map<int64_t, int> codes;
  void OnPicture(const uint8_t* p, int w, int h, int stride, int64_t pts) override {
    CHeadlessVideoOutput::OnPicture(p, w, h, stride, pts);
    probe.OnPicture(p, w, h, stride, pts);
    const int code = tevalo::test::ReadFrameCodeBgrx(p, w, h, stride);
    std::lock_guard lock(codeLock);
    codes[pts] = code;
  }
};

void PrintOffsets(const char* what, std::vector<double> v) {
  if (v.empty()) {
    std::printf("  %-34s no flash with a beep\n", what);
    return;
  }
  std::sort(v.begin(), v.end());
  std::printf("  %-34s %2zu flashes: beep %+6.1f ms median, %+6.1f .. %+6.1f ms\n", what, v.size(), Median(v),
              v.front(), v.back());
}

std::vector<double> PlayRecording(const std::string& dir, const std::string& path) {
  CNullPlayerView view;
  SyncProbe probe;
  auto controller = std::make_unique<BenchPlayer>(view, dir, &probe, &probe.probe, false);
  (*controller)->PlayUrl(tevalo::text::ToUtf16(path));
  if (!PumpUntil([&] { return probe.Count() > 0 && !(*controller)->State().opening; }, 15000)) return {};
  int duration = 0;
  if (auto g = (*controller)->MediaGraph()) g->GetDuration(&duration);
  PumpUntil(
      [&] {
        int position = 0;
        auto g = (*controller)->MediaGraph();
        return g && g->GetPosition(&position) == 1 && position >= duration;
      },
      duration * 100 + 5000);
  controller.reset();
  return probe.probe.Offsets();
}

int RunSync(const BenchEnv& env, int seconds, const std::vector<std::string>& others) {
  const std::string& dir = env.dir;
  const std::string recording = dir + "/sync.rec";
  std::ofstream(dir + "/config.ini") << "[RECControl]\nFileName=" << recording << "\n";
  // Packet 150 of the sync broadcast: its key picture and the next picture come before the next
  // sound, which is stamped after them.
  tunersim::SimProcess::Options so;
  so.args = {"--channel", std::string("27=") + TEVALO_FIXTURE_DIR + "/avsync/stream.ts", "--tune-start",
             "150"};
  tunersim::SimProcess sim(so);

  CNullPlayerView view;
  SyncProbe probe;
  auto controller = std::make_unique<BenchPlayer>(view, dir, &probe, &probe.probe);
  (*controller)->StartTuner();
  if (!PumpUntil(
          [&] {
            auto g = (*controller)->MediaGraph();
            return g && !(*controller)->State().opening && g->GetFrameRate() > 0;
          },
          30000)) {
    std::fprintf(stderr, "live_bench: the sync broadcast does not play\n");
    return 1;
  }
  // The recording control messages, as the player writes them.
  (*controller)->Channel().WriteRecord(true);
  PumpFor(seconds * 1000);
  (*controller)->Channel().WriteRecord(false);
  PumpFor(500);  // the recorder's last turns
  const auto live = probe.probe.Offsets();
  controller.reset();
  sim.stop();

  std::printf("flash-to-beep distance on the A/V sync broadcast (buffer times at the sink inputs):\n");
  PrintOffsets("live", live);
  PrintOffsets("its recording, played back", PlayRecording(dir, recording));
  for (const auto& other : others) PrintOffsets(other.c_str(), PlayRecording(dir, other));
  if (!others.empty()) return 0;
  const std::string kept = "/tmp/tevalo-sync-" + std::to_string(getpid()) + ".rec";
  std::filesystem::copy_file(recording, kept, std::filesystem::copy_options::overwrite_existing);
  std::printf("  the recording is kept as %s\n", kept.c_str());
  return 0;
}

// Resident set of this process in MB.
double ResidentMb() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct MemoryPhase {
  double first = 0, last = 0, peak = 0, perMinute = 0;
  uint64_t pictures = 0;
};

// Samples the resident set every 10 s for `seconds`; the growth per minute is the slope from the
// first sample to the last.
MemoryPhase SampleMemory(const char* phase, int seconds, const TimedOutput& video) {
  MemoryPhase m;
  const uint64_t pictures0 = video.Count();
  const auto t0 = Clock::now();
  m.first = m.peak = ResidentMb();
  std::printf("  %-7s %5.0f s %7.1f MB\n", phase, 0.0, m.first);
  for (int at = 10; at <= seconds; at += 10) {
    PumpFor(10000);
    const double mb = ResidentMb();
    m.peak = std::max(m.peak, mb);
    std::printf("  %-7s %5.0f s %7.1f MB\n", phase, MsSince(t0, Clock::now()) / 1000, mb);
    std::fflush(stdout);
    m.last = mb;
  }
  const double minutes = MsSince(t0, Clock::now()) / 60000;
  m.perMinute = minutes > 0 ? (m.last - m.first) / minutes : 0;
  m.pictures = video.Count() - pictures0;
  return m;
}

// Memory while live television plays, then while it is paused (the stream keeps arriving), then
// playing again: the resident set every 10 s and its growth per minute in each phase.
int RunMemory(const BenchEnv& env, int seconds) {
  tunersim::SimProcess::Options so;
  so.args = {"--channel", std::string("27=") + TEVALO_FIXTURE_DIR + "/sample/ch27/stream.ts"};
  tunersim::SimProcess sim(so);
  CNullPlayerView view;
  TimedOutput video;
  BenchPlayer controller(view, env.dir, &video);
  controller->StartTuner();
  if (!PumpUntil(
          [&] {
            auto g = controller->MediaGraph();
            return g && !controller->State().opening && g->GetFrameRate() > 0 && video.Count() > 0;
          },
          30000)) {
    std::fprintf(stderr, "live_bench: nothing plays\n");
    return 1;
  }
  PumpFor(5000);  // past the start-up allocations
  std::printf("resident set, sampled every 10 s (%d s per phase):\n", seconds);
  const MemoryPhase playing = SampleMemory("playing", seconds, video);
  controller->PauseMedia();
  if (!PumpUntil([&] { return controller->State().playState == PlayState::kPaused; }, 10000)) {
    std::fprintf(stderr, "live_bench: the pause was not taken\n");
    return 1;
  }
  const MemoryPhase paused = SampleMemory("paused", seconds, video);
  controller->ExecuteControl(static_cast<unsigned>(ControlCommand::kPlayPause));
  const uint64_t before = video.Count();
  const bool resumed = PumpUntil([&] { return video.Count() > before + 15; }, 30000);
  const MemoryPhase after = SampleMemory("resumed", std::min(seconds, 30), video);
  for (const auto& [name, m] :
       {std::pair<const char*, MemoryPhase>{"playing", playing}, {"paused", paused}, {"resumed", after}})
    std::printf("%-7s %6.1f -> %6.1f MB (peak %6.1f), %+6.2f MB per minute, %llu pictures\n", name, m.first,
                m.last, m.peak, m.perMinute, (unsigned long long)m.pictures);
  std::printf("pictures again after the pause: %s\n", resumed ? "yes" : "no");
  controller.core->Shutdown();
  return 0;
}

// The sound delivered: each buffer's span in ns and the ones whose first channel is loud.
struct SoundTimeline {
  std::mutex lock;
  std::vector<std::pair<int64_t, int64_t>> spans;  // start, end in ns
  void OnSound(const int16_t* samples, size_t frames, int channels, int rate, int64_t pts) {
    if (pts < 0 || rate <= 0) return;
    (void)samples;
    (void)channels;
    std::lock_guard l(lock);
    spans.emplace_back(pts, pts + int64_t(frames) * 1000000000LL / rate);
  }
  std::vector<std::pair<int64_t, int64_t>> Sorted() {
    std::lock_guard l(lock);
    std::sort(spans.begin(), spans.end());
    return spans;
  }
};

struct SyncRun {
  std::vector<std::pair<int64_t, double>> marks;  // flash time in ns, beep onset minus flash in ms
  std::pair<std::vector<int64_t>, std::vector<int64_t>> times;  // flashes, beep onsets in ns
  std::map<int64_t, int> codes;                                 // each picture's time in ns and frame number
  std::vector<std::pair<int64_t, int64_t>> sound;               // sorted spans in ns
  size_t flashes = 0, beeps = 0, pictures = 0;
  bool played = false;
};

SyncRun PlayLive(const std::string& dir, const std::string& stream, int seconds) {
  tunersim::SimProcess::Options so;
  so.args = {"--channel", "27=" + stream, "--tune-start", "150"};
  tunersim::SimProcess sim(so);
  CNullPlayerView view;
  SyncProbe probe;
  SoundTimeline sound;
  auto controller = std::make_unique<BenchPlayer>(
      view, dir, &probe, &probe.probe, true,
      [&sound](const int16_t* s, size_t f, int c, int r, int64_t pts) { sound.OnSound(s, f, c, r, pts); });
  (*controller)->StartTuner();
  SyncRun run;
  run.played = PumpUntil(
      [&] {
        auto g = (*controller)->MediaGraph();
        return g && !(*controller)->State().opening && g->GetFrameRate() > 0;
      },
      30000);
  if (run.played) PumpFor(seconds * 1000);
  controller.reset();
  sim.stop();
  run.marks = probe.probe.Marks();
  run.times = probe.probe.Times();
  {
    std::lock_guard lock(probe.codeLock);
    run.codes = probe.codes;
  }
  run.flashes = probe.probe.Flashes();
  run.beeps = probe.probe.Onsets();
  run.pictures = probe.Count();
  run.sound = sound.Sorted();
  return run;
}

// damage.json's "damaged_audio_frames": indices in the clean stream of *frames frames.
std::vector<long> DamagedFrames(const std::string& file, long* frames) {
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t count = text.find("\"audio_frames\"");
  *frames = count == std::string::npos ? 0 : std::atol(text.c_str() + text.find(':', count) + 1);
  const size_t at = text.find("\"damaged_audio_frames\"");
  std::vector<long> out;
  if (at == std::string::npos) return out;
  std::istringstream list(text.substr(text.find('[', at) + 1));
  long n = 0;
  char sep = 0;
  while (list >> n) {
    out.push_back(n);
    if (!(list >> sep) || sep == ']') break;
  }
  return out;
}

// The sync broadcast's timing from its manifest, in 90 kHz ticks from its first picture's stamp. The
// looped file carries the stamps on: loop L starts at L * loop. Sound frame j (counted from the
// file's first, as the generator counts) holds the sound of [(j - delay) * frame, +frame): the first
// frames are the encoder's delay.
struct SyncTiming {
  int64_t loop = 0, picture = 0, frame = 0, beep = 0;
  int delayFrames = 0, flashEvery = 0;
  explicit SyncTiming(const std::string& manifest) {
    loop = int64_t(ManifestNumber(manifest, "pts_period"));
    const double fps = ManifestNumber(manifest, "fps");
    const double rate = ManifestNumber(manifest, "sample_rate");
    const double samples = ManifestNumber(manifest, "samples_per_frame");
    picture = fps > 0 ? int64_t(std::llround(90000 / fps)) : 0;
    frame = rate > 0 ? int64_t(std::llround(samples * 90000 / rate)) : 0;
    beep = int64_t(ManifestNumber(manifest, "beep_ms") * 90);
    delayFrames = samples > 0 ? int(ManifestNumber(manifest, "encoder_delay_samples") / samples) : 0;
    flashEvery = int(ManifestNumber(manifest, "flash_every_frames"));
  }
  bool Valid() const { return loop > 0 && picture > 0 && frame > 0 && flashEvery > 0; }
  int PicturesPerLoop() const { return int(loop / picture); }
  // The first sound frame holding stream time t.
  long FrameAt(int64_t t) const { return long(t / frame) + delayFrames; }
  int64_t FrameStart(long j) const { return (j - delayFrames) * frame; }
};

int64_t NsToTicks(int64_t ns) { return ns * 9 / 100000; }

// Output time (ns) to stream time: the offset, taken from the pictures' own frame numbers. The
// stand-in starts the tune at `startTicks` into the first loop, which picks the first picture's loop.
struct PictureClock {
  int64_t offset = 0;  // stream ticks minus output ticks
  bool valid = false;
  PictureClock(const std::map<int64_t, int>& codes, const SyncTiming& s, int64_t startTicks) {
    for (const auto& [ns, code] : codes) {
      if (code < 0 || code >= s.PicturesPerLoop()) continue;
      const int64_t at = code * s.picture;
      // The loop that puts this picture nearest the tune's start, given that output time starts there.
      const int64_t loops = std::llround(double(NsToTicks(ns) + startTicks - at) / double(s.loop));
      offset = loops * s.loop + at - NsToTicks(ns);
      valid = true;
      return;
    }
  }
  // The stream time of a picture with frame number `code` shown at `ns`.
  int64_t StreamTime(int64_t ns, int code, const SyncTiming& s) const {
    const int64_t guess = NsToTicks(ns) + offset;
    const int64_t loops = std::llround(double(guess - code * s.picture) / double(s.loop));
    return loops * s.loop + code * s.picture;
  }
};

// One flash and its beep, placed in the stream. At the edge of reception the beep's first sound
// frames may be lost, so its sound starts at a later frame; the flash picture may be lost too. Each
// onset is held against where it may begin given the damage: at the beep's own start, or at the start
// of a later beep frame when every frame before it was damaged. What remains is the A/V offset.
struct MarkCheck {
  enum Kind { kWhole, kStartLost, kBeepLost, kBeepMissing, kUnread };
  Kind kind = kUnread;
  int64_t flashNs = 0;
  double measured = 0;   // onset minus flash picture at the sinks, ms
  double expected = 0;   // where the onset may begin, from the flash picture shown, in the clean stream, ms
  double offset = 0;     // measured - expected
  int code = -1;         // the frame number of the flash picture shown
  long beepFrame = -1;   // the beep's first sound frame
  long onsetFrame = -1;  // the frame the onset was taken to begin in
};

std::vector<MarkCheck> CheckMarks(const SyncRun& r, const SyncTiming& s, const PictureClock& clock,
                                  const std::vector<uint8_t>& hit) {
  auto damaged = [&](long j) { return j >= 0 && size_t(j) < hit.size() && hit[size_t(j)]; };
  // Flash frames of one loop, for the neighbours of each flash.
  std::vector<int64_t> schedule;
  for (int k = 0; k < s.PicturesPerLoop(); k += s.flashEvery) schedule.push_back(k * s.picture);
  std::vector<MarkCheck> out;
  const auto& [flashes, onsets] = r.times;
  for (int64_t flashNs : flashes) {
    if (flashNs < flashes.front() + 1000000000LL) continue;  // as the probe's marks
    MarkCheck m;
    m.flashNs = flashNs;
    const auto code = r.codes.find(flashNs);
    m.code = code == r.codes.end() ? -1 : code->second;
    if (m.code < 0 || m.code >= s.PicturesPerLoop()) {
      out.push_back(m);
      continue;
    }
    const int64_t shown = clock.StreamTime(flashNs, m.code, s);
    const int64_t loopStart = shown - m.code * s.picture;
    const int64_t flash = shown - (m.code % s.flashEvery) * s.picture;
    // Where this beep's sound may start, and where the flashes before and after it have theirs.
    m.beepFrame = s.FrameAt(flash);
    std::vector<std::pair<int64_t, long>> starts = {{flash, m.beepFrame}};
    for (long j = m.beepFrame + 1; s.FrameStart(j) < flash + s.beep && damaged(j - 1); ++j)
      starts.emplace_back(s.FrameStart(j), j);
    // The decoder holds back the end of each frame's sound until the next frame decodes: a beep that
    // starts within that end comes out with the next frame.
    constexpr int64_t kDecoderHoldTicks = 960 * 90000 / 48000;
    bool allDamaged = true;
    for (long j = m.beepFrame; s.FrameStart(j) < flash + s.beep; ++j)
      if (j != m.beepFrame || s.FrameStart(j + 1) - flash > kDecoderHoldTicks)
        allDamaged = allDamaged && damaged(j);
    std::vector<int64_t> others;
    for (int64_t loop : {loopStart - s.loop, loopStart, loopStart + s.loop})
      for (int64_t at : schedule)
        if (loop + at != flash) others.push_back(loop + at);
    double best = 1e18;
    for (int64_t onsetNs : onsets) {
      const double ms = (onsetNs - flashNs) / 1e6;
      if (std::fabs(ms) >= 500) continue;
      const double at = double(shown) + ms * 90;
      double other = 1e18;
      for (int64_t o : others) other = std::min(other, std::fabs(at - double(o)));
      for (const auto& [start, j] : starts) {
        const double d = std::fabs(at - double(start));
        if (d >= other || d >= std::fabs(best)) continue;  // nearer another flash's beep: its own
        best = at - double(start);
        m.measured = ms;
        m.expected = double(start - shown) / 90;
        m.onsetFrame = j;
      }
    }
    if (best < 1e17) {
      m.offset = m.measured - m.expected;
      m.kind = m.onsetFrame == m.beepFrame && shown == flash ? MarkCheck::kWhole : MarkCheck::kStartLost;
    } else {
      m.kind = allDamaged ? MarkCheck::kBeepLost : MarkCheck::kBeepMissing;
    }
    out.push_back(m);
  }
  return out;
}

// Each stretch of missing sound as (first missing frame, frames), the frames counted as the
// generator counts them. The sound's own clock: where the intact beeps sound against their flashes'
// stream times (their median), so the frame numbers do not lean on the pictures being in sync.
std::vector<std::pair<long, long>> SilentRuns(const SyncRun& r, const SyncTiming& s,
                                              const std::vector<MarkCheck>& marks,
                                              const PictureClock& clock) {
  std::vector<double> offsets;
  for (const auto& m : marks)
    if (m.kind == MarkCheck::kWhole) {
      const int64_t flash = clock.StreamTime(m.flashNs, m.code, s);
      offsets.push_back(double(flash - NsToTicks(m.flashNs + int64_t(m.measured * 1e6))));
    }
  const int64_t soundOffset = offsets.empty() ? clock.offset : int64_t(std::llround(Median(offsets)));
  std::vector<std::pair<long, long>> runs;
  for (size_t i = 1; i < r.sound.size(); ++i) {
    const int64_t gap = NsToTicks(r.sound[i].first - r.sound[i - 1].second);
    const long n = long(std::llround(double(gap) / double(s.frame)));
    if (n <= 0) continue;
    const int64_t from = NsToTicks(r.sound[i - 1].second) + soundOffset;
    runs.emplace_back(long(std::llround(double(from) / double(s.frame))) + s.delayFrames, n);
  }
  return runs;
}

void PrintMarks(const char* name, const std::vector<MarkCheck>& marks) {
  std::map<MarkCheck::Kind, std::vector<double>> of;
  for (const auto& m : marks) of[m.kind].push_back(m.offset);
  const std::pair<MarkCheck::Kind, const char*> kinds[] = {
      {MarkCheck::kWhole, "flash and beep start whole"},
      {MarkCheck::kStartLost, "beep start or flash picture lost to damage"},
      {MarkCheck::kBeepLost, "every frame with the beep's sound damaged"},
      {MarkCheck::kBeepMissing, "no beep though frames whole"},
      {MarkCheck::kUnread, "flash picture's number unreadable"}};
  for (const auto& [kind, label] : kinds) {
    const auto& v = of[kind];
    if (v.empty()) continue;
    std::printf("  %-6s %-43s %3zu", name, label, v.size());
    if (kind == MarkCheck::kWhole || kind == MarkCheck::kStartLost)
      std::printf(", within 40 ms %3zu (median %+.1f ms, %+.1f .. %+.1f)",
                  size_t(std::count_if(v.begin(), v.end(), [](double o) { return std::fabs(o) <= 40; })),
                  Median(v), *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    std::printf("\n");
  }
  for (const auto& m : marks) {
    if (m.kind == MarkCheck::kWhole && std::fabs(m.offset) <= 40) continue;
    std::printf(
        "         flash %7.3f s picture %2d, beep frame %4ld, onset in %4ld: measured %+7.1f ms, clean "
        "stream "
        "%+6.1f ms, offset %+6.1f ms%s\n",
        m.flashNs / 1e9, m.code, m.beepFrame, m.onsetFrame, m.measured, m.expected, m.offset,
        m.kind == MarkCheck::kBeepLost      ? " (beep lost)"
        : m.kind == MarkCheck::kBeepMissing ? " (BEEP MISSING)"
                                            : "");
  }
}

// The sync broadcast looped to `seconds` with its stamps carried on, then damaged as at the edge of
// reception by the committed generator, both played live the same seconds.
int RunWeakSync(const BenchEnv& env, int seconds) {
  const std::string& dir = env.dir;
  const std::string clean = dir + "/avsync-long.ts";
  const std::string fixture = std::string(TEVALO_FIXTURE_DIR) + "/avsync/stream.ts";
  constexpr uint64_t kTuneStart = 150;  // the stand-in's --tune-start in PlayLive
  int64_t startTicks = 0;
  {
    const auto loop = tunersim::TsLoop::load(fixture);
    const double loopSeconds = double(loop.period_ticks()) / tunersim::kPcrHz;
    const uint64_t packets = uint64_t(std::ceil(seconds / loopSeconds)) * loop.packet_count();
    startTicks = int64_t((loop.start_ticks(kTuneStart) - loop.start_ticks(0)) / 300);
    std::ofstream out(clean, std::ios::binary);
    uint8_t packet[tunersim::kPacketSize];
    for (uint64_t i = 0; i < packets; ++i) {
      loop.packet(i, packet);
      out.write(reinterpret_cast<const char*>(packet), sizeof packet);
    }
  }
  const SyncTiming timing(std::string(TEVALO_FIXTURE_DIR) + "/avsync/manifest.json");
  if (!timing.Valid()) {
    std::fprintf(stderr, "live_bench: the sync broadcast's manifest lacks its timing\n");
    return 1;
  }
  const std::string weakDir = dir + "/weak";
  const std::string generate = "/usr/bin/python3 '" + std::string(TEVALO_SOURCE_ROOT) +
                               "/tools/fixturegen/weak_signal.py' '" + clean + "' '" + weakDir +
                               "' --seed 18 > /dev/null";
  std::filesystem::create_directories(weakDir);
  if (std::system(generate.c_str()) != 0) {
    std::fprintf(stderr, "live_bench: the weak-signal generator failed\n");
    return 1;
  }
  const SyncRun c = PlayLive(dir, clean, seconds);
  const SyncRun w = PlayLive(dir, weakDir + "/stream.ts", seconds);
  long streamFrames = 0;
  const std::vector<long> damaged = DamagedFrames(weakDir + "/damage.json", &streamFrames);
  std::vector<uint8_t> hit(size_t(std::max(0L, streamFrames)), 0);
  for (long n : damaged)
    if (n >= 0 && n < streamFrames) hit[size_t(n)] = 1;
  const double frameMs = double(timing.frame) / 90;

  std::printf("the A/V sync broadcast, %d s live, clean and at the edge of reception (seed 18):\n", seconds);
  for (const auto& [name, r] : {std::pair<const char*, const SyncRun&>{"clean", c}, {"weak", w}}) {
    if (!r.played) {
      std::printf("  %-6s does not play\n", name);
      continue;
    }
    const PictureClock clock(r.codes, timing, startTicks);
    const std::vector<uint8_t> none(hit.size(), 0);
    const auto marks = CheckMarks(r, timing, clock, &r == &w ? hit : none);
    std::printf("  %-6s pictures %5zu  flashes %3zu  beeps %3zu  flashes with a beep %3zu\n", name,
                r.pictures, r.flashes, r.beeps, r.marks.size());
    PrintMarks(name, marks);
    const auto runs = SilentRuns(r, timing, marks, clock);
    long missing = 0, longest = 0;
    for (const auto& [at, n] : runs) {
      missing += n;
      longest = std::max(longest, n);
    }
    std::printf("  %-6s sound missing: %zu runs, longest %ld frames (%.0f ms), in all %.0f ms\n", name,
                runs.size(), longest, longest * frameMs, missing * frameMs);
    if (&r != &w) continue;
    size_t beyond = 0;
    for (const auto& [at, n] : runs) {
      long d = 0;
      for (long k = at; k < at + n; ++k) d += k >= 0 && k < streamFrames && hit[size_t(k)];
      if (n <= d + 1) continue;
      ++beyond;
      std::printf("         silent frames %ld-%ld (%ld), damaged among them %ld; damaged near:", at,
                  at + n - 1, n, d);
      for (long k = at - 6; k < at + n + 6; ++k)
        if (k >= 0 && k < streamFrames && hit[size_t(k)]) std::printf(" %ld", k);
      std::printf("\n");
    }
    std::printf("  %-6s silent runs longer than their damaged frames plus one: %zu of %zu\n", name, beyond,
                runs.size());
  }
  return c.played && w.played ? 0 : 1;
}

}  // namespace
