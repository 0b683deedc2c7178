// engine_bench [stream.ts] [live seconds]
//
// 1. The demultiplexer and the framer over the whole file in memory (no threads, no sleeps), in
//    MB/s, beside `ffmpeg -i FILE -c copy -f null -` on the same file (best of three runs each).
// 2. The running engine (its four threads) fed at the broadcast's pace: CPU time of the engine's
//    threads per second of input, beside `ffmpeg -re -i FILE -t SECONDS -c copy -f null -`.
// Default file: the longest test broadcast.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "player/pipeline/es_framer.h"
#include "player/pipeline/stream_engine.h"
#include "player/pipeline/ts_demux.h"

using namespace tevalo::pipeline;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path LongestFixture() {
  fs::path best;
  uintmax_t size = 0;
  for (const auto& e : fs::recursive_directory_iterator(TEVALO_FIXTURES_DIR)) {
    if (e.path().filename() != "stream.ts") continue;
    if (e.file_size() > size) {
      size = e.file_size();
      best = e.path();
    }
  }
  return best;
}

double BitrateOf(const fs::path& ts) {
  std::ifstream in(ts.parent_path() / "manifest.json");
  if (in) {
    const auto m = nlohmann::json::parse(in, nullptr, false);
    if (!m.is_discarded() && m.contains("ts") && m["ts"].contains("bitrate"))
      return m["ts"]["bitrate"].get<double>();
  }
  return 282000;
}

struct CountingOutput : IFramerOutput {
  uint64_t frames = 0, bytes = 0, formats = 0;
  void WriteFrame(const uint8_t* m, size_t size) override {
    ++frames;
    bytes += size;
    (void)m;
  }
  void SendStreamFormats(int, const StreamFormatMessage&, const StreamFormatMessage&) override { ++formats; }
};

// The demultiplexer hands each PES straight to the framer, as the delivery thread would.
struct DirectSink : IStreamPacketSink {
  CEsFramer* framer = nullptr;
  void PushPacket(std::unique_ptr<StreamPacket> p) override {
    if (p->kind == 1)
      framer->FrameVideo(p->data.data(), p->data.size(), p->stamp);
    else
      framer->FrameAudio(p->data.data(), p->data.size(), p->stamp);
  }
};

struct PassResult {
  uint64_t frames;
};

PassResult DemuxAndFrame(const std::vector<uint8_t>& ts) {
  StreamPids pids;
  CProgramMap map(pids);
  CPmtSearchBuffer search(map);
  size_t pos = 0;
  for (; pos + kTsBlockSize <= ts.size(); pos += kTsBlockSize)
    if (search.PushBlock(ts.data() + pos, kTsBlockSize)) break;
  CountingOutput out;
  CEsFramer framer(out);
  DirectSink sink;
  sink.framer = &framer;
  CNullTextDecoders text;
  CTsDemux demux(pids, map, sink, text);
  for (size_t p = 0; p + kTsBlockSize <= ts.size(); p += kTsBlockSize)
    demux.PushBlock(ts.data() + p, kTsBlockSize);
  return {out.frames};
}

struct ChildRun {
  double wall = 0;
  double cpu = 0;  // user + system
  int status = -1;
};

ChildRun RunFfmpeg(const std::vector<std::string>& args) {
  ChildRun r;
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  wait4(pid, &status, 0, &use);
  r.wall = std::chrono::duration<double>(Clock::now() - start).count();
  r.cpu = use.ru_utime.tv_sec + use.ru_utime.tv_usec / 1e6 + use.ru_stime.tv_sec + use.ru_stime.tv_usec / 1e6;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  return r;
}

// Blocks at the broadcast's pace, looping the file.
class PacedSource : public ITsBlockSource {
 public:
  PacedSource(const std::vector<uint8_t>& ts, double bitrate)
      : m_ts(ts), m_interval(kTsBlockSize * 8 / bitrate) {}
  int GetTSStream(uint8_t* buffer, int* count) override {
    const double due = std::chrono::duration<double>(Clock::now() - m_start).count() / m_interval;
    const int64_t available = int64_t(due) - m_sent;
    if (count) *count = int(std::max<int64_t>(0, available));
    if (available <= 0) return 0;
    const size_t blocks = m_ts.size() / kTsBlockSize;
    std::memcpy(buffer, m_ts.data() + (m_sent % blocks) * kTsBlockSize, kTsBlockSize);
    ++m_sent;
    return 1;
  }
  int64_t Sent() const { return m_sent; }

 private:
  const std::vector<uint8_t>& m_ts;
  double m_interval;
  Clock::time_point m_start = Clock::now();
  int64_t m_sent = 0;
};

struct NullSink : IFrameSink {
  std::atomic<uint64_t> frames{0};
  bool WriteStreamFrame(const uint8_t*, size_t) override {
    ++frames;
    return true;
  }
  bool WriteStreamFormats(const StreamFormatMessage&, const StreamFormatMessage&) override { return true; }
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path file = argc > 1 ? fs::path(argv[1]) : LongestFixture();
  const double liveSeconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  const std::vector<uint8_t> ts = ReadFile(file);
  if (ts.size() < 10 * kTsBlockSize) {
    std::fprintf(stderr, "engine_bench: cannot read a stream from %s\n", file.c_str());
    return 1;
  }
  const double mb = ts.size() / 1e6;
  std::printf("file %s, %.2f MB\n", file.c_str(), mb);

  // 1. In memory.
  double best = 1e9;
  uint64_t frames = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    frames = DemuxAndFrame(ts).frames;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  const double engineRate = mb / best;
  double ffBest = 1e9;
  bool ffOk = true;
  for (int run = 0; run < 3; ++run) {
    const ChildRun r = RunFfmpeg({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i",
                                  file.string(), "-c", "copy", "-f", "null", "-"});
    ffOk &= r.status == 0;
    ffBest = std::min(ffBest, r.wall);
  }
  // ffmpeg's start-up: the same command on the file's first ten blocks.
  const fs::path head = fs::temp_directory_path() / ("engine_bench_head_" + std::to_string(getpid()) + ".ts");
  {
    std::ofstream out(head, std::ios::binary);
    out.write(reinterpret_cast<const char*>(ts.data()), 10 * kTsBlockSize);
  }
  double startup = 1e9;
  for (int run = 0; run < 3; ++run)
    startup = std::min(startup, RunFfmpeg({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i",
                                           head.string(), "-c", "copy", "-f", "null", "-"})
                                    .wall);
  fs::remove(head);
  std::printf("demux + framing in memory: %.1f MB/s (%llu frames, best of 5)\n", engineRate,
              (unsigned long long)frames);
  if (ffOk) {
    const double net = std::max(1e-3, ffBest - startup);
    std::printf(
        "ffmpeg -c copy -f null:     %.1f MB/s wall, %.1f MB/s without its %.0f ms start-up (best of 3)\n",
        mb / ffBest, mb / net, 1000 * startup);
    std::printf("ratio engine / ffmpeg:      %.1f (wall), %.1f (without start-up)\n",
                engineRate / (mb / ffBest), engineRate / (mb / net));
  } else {
    std::printf("ffmpeg: not run (missing or failed)\n");
  }

  // 2. Live.
  const double bitrate = BitrateOf(file);
  PacedSource source(ts, bitrate);
  NullSink host;
  CStreamEngine engine(host, source);
  std::mutex lock;
  double cpu = 0;
  engine.SetThreadObserver([&](CStreamEngine::ThreadId, bool started) {
    if (started) return;
    std::lock_guard g(lock);
    cpu += ThreadCpuSeconds();
  });
  engine.InitStreamEngine();
  engine.CreateStreamEvents();
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  std::this_thread::sleep_for(std::chrono::duration<double>(liveSeconds));
  engine.StopStreamThreads();
  const double input = source.Sent() * kTsBlockSize * 8 / bitrate;
  std::printf("live engine: %.2f ms CPU per second of input (%.1f s of input at %.0f bit/s, %llu frames)\n",
              1000 * cpu / input, input, bitrate, (unsigned long long)host.frames.load());
  const ChildRun live =
      RunFfmpeg({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-i", file.string(), "-t",
                 std::to_string(liveSeconds), "-c", "copy", "-f", "null", "-"});
  if (live.status == 0) {
    std::printf("ffmpeg -re -c copy:  %.2f ms CPU per second of input\n", 1000 * live.cpu / liveSeconds);
    std::printf("ratio engine / ffmpeg CPU: %.2f\n", (cpu / input) / (live.cpu / liveSeconds));
  }
  return 0;
}
