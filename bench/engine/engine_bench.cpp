// engine_bench [stream.ts] [MB] [live seconds]
//
// 1. Demultiplexing and framing in memory: the programme-map search, the demultiplexer and the framer
//    (no threads, no sleeps) over the file looped to at least MB megabytes (default 110), beside
//    libavformat's MPEG-TS demuxer with its parsers, in this process, reading the same bytes from
//    memory and splitting them into access units and ADTS frames. Runs alternate; the best CPU time
//    of each counts (wall time is shown too).
// 2. The running engine (its four threads) fed at the broadcast's pace: CPU time of the engine's
//    threads per second of input, beside what the same seconds cost each side in step 1.
// Default file: the longest test broadcast.
extern "C" {
#include <libavformat/avformat.h>
}

#include <time.h>

#include <algorithm>
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

#include "bench/demux_all.h"
#include "ipc/filter_protocol.h"
#include "ipc/little_endian.h"
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

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

struct CountingOutput : IFramerOutput {
  uint64_t video = 0, audio = 0, formats = 0;
  void WriteFrame(const uint8_t* m, size_t) override {
    ++(ipcle::GetI32(m) == IPC_VIDEO_FRAME ? video : audio);
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
      framer->FrameAudio(p->data.data(), p->data.size(), p->stamp, p->cut);
  }
};

struct Pass {
  double wall = 0, cpu = 0;
  uint64_t video = 0, audio = 0;
};

Pass OurDemux(const std::vector<uint8_t>& ts) {
  const auto w0 = Clock::now();
  const double c0 = ThreadCpuSeconds();
  CountingOutput out;
  CEsFramer framer(out);
  DirectSink sink;
  sink.framer = &framer;
  tevalo::bench::DemuxAll(ts.data(), ts.size(), sink);
  return {std::chrono::duration<double>(Clock::now() - w0).count(), ThreadCpuSeconds() - c0, out.video,
          out.audio};
}

struct MemoryReader {
  const std::vector<uint8_t>* data;
  size_t pos = 0;
  static int Read(void* opaque, uint8_t* buf, int size) {
    auto* r = static_cast<MemoryReader*>(opaque);
    const size_t n = std::min<size_t>(size_t(size), r->data->size() - r->pos);
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buf, r->data->data() + r->pos, n);
    r->pos += n;
    return int(n);
  }
};

// libavformat's MPEG-TS demuxer over the same bytes; its parsers cut access units and ADTS frames.
Pass LibavformatDemux(const std::vector<uint8_t>& ts) {
  const auto w0 = Clock::now();
  const double c0 = ThreadCpuSeconds();
  Pass r;
  MemoryReader reader{&ts};
  constexpr int kBuffer = 64 * 1024;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBuffer));
  AVIOContext* io = avio_alloc_context(buffer, kBuffer, 0, &reader, &MemoryReader::Read, nullptr, nullptr);
  AVFormatContext* fmt = avformat_alloc_context();
  fmt->pb = io;
  if (avformat_open_input(&fmt, nullptr, av_find_input_format("mpegts"), nullptr) == 0) {
    AVPacket* pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
      const AVMediaType type = fmt->streams[pkt->stream_index]->codecpar->codec_type;
      if (type == AVMEDIA_TYPE_VIDEO) ++r.video;
      if (type == AVMEDIA_TYPE_AUDIO) ++r.audio;
      av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
  } else {
    avformat_free_context(fmt);
  }
  av_freep(&io->buffer);
  avio_context_free(&io);
  r.wall = std::chrono::duration<double>(Clock::now() - w0).count();
  r.cpu = ThreadCpuSeconds() - c0;
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

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_QUIET);  // the loop's seams are discontinuities it would report
  const fs::path file = argc > 1 ? fs::path(argv[1]) : LongestFixture();
  const double wantMb = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 110.0;
  const double liveSeconds = argc > 3 ? std::atof(argv[3]) : 10.0;
  const std::vector<uint8_t> one = ReadFile(file);
  if (one.size() < 10 * kTsBlockSize || one.size() % kTsPacketSize != 0) {
    std::fprintf(stderr, "engine_bench: %s is no stream of whole packets\n", file.c_str());
    return 1;
  }
  std::vector<uint8_t> ts;
  ts.reserve(size_t(wantMb * 1e6) + one.size());
  while (ts.size() < wantMb * 1e6) ts.insert(ts.end(), one.begin(), one.end());
  ts.resize(ts.size() / kTsBlockSize * kTsBlockSize);
  const double mb = ts.size() / 1e6;
  const double bitrate = BitrateOf(file);
  std::printf("input: %s looped %zu times, %.1f MB (%.0f s of broadcast at %.0f bit/s)\n", file.c_str(),
              ts.size() / one.size(), mb, ts.size() * 8 / bitrate, bitrate);

  // 1. In memory, alternating.
  Pass ours{1e9, 1e9}, theirs{1e9, 1e9};
  for (int run = 0; run < 3; ++run) {
    const Pass a = OurDemux(ts);
    const Pass b = LibavformatDemux(ts);
    ours = {std::min(ours.wall, a.wall), std::min(ours.cpu, a.cpu), a.video, a.audio};
    theirs = {std::min(theirs.wall, b.wall), std::min(theirs.cpu, b.cpu), b.video, b.audio};
  }
  std::printf("demux + framing in memory (best of 3, alternating):\n");
  std::printf("  engine       %7.1f MB/s CPU, %7.1f MB/s wall (%llu video units, %llu audio frames)\n",
              mb / ours.cpu, mb / ours.wall, (unsigned long long)ours.video, (unsigned long long)ours.audio);
  std::printf("  libavformat  %7.1f MB/s CPU, %7.1f MB/s wall (%llu video packets, %llu audio packets)\n",
              mb / theirs.cpu, mb / theirs.wall, (unsigned long long)theirs.video,
              (unsigned long long)theirs.audio);
  std::printf("  ratio engine / libavformat: %.2f (CPU), %.2f (wall)\n", theirs.cpu / ours.cpu,
              theirs.wall / ours.wall);

  // 2. Live.
  PacedSource source(one, bitrate);
  NullSink host;
  CStreamEngine engine(host, source);
  std::mutex lock;
  double cpu = 0;
  engine.SetThreadObserver([&](CStreamEngine::ThreadId, bool started) {
    std::lock_guard g(lock);
    cpu += started ? -ThreadCpuSeconds() : ThreadCpuSeconds();
  });
  engine.InitStreamEngine();
  engine.CreateStreamEvents();
  engine.SetLiveSource(true);
  engine.StartStreamThreads();
  engine.StartUsbRead();
  std::this_thread::sleep_for(std::chrono::duration<double>(liveSeconds));
  engine.StopStreamThreads();
  const double input = source.Sent() * kTsBlockSize * 8 / bitrate;
  const double perSecond = bitrate / 8 / 1e6;  // MB of input per second of broadcast
  std::printf("live engine (four threads, paced): %.2f ms CPU per second of input (%.1f s, %llu frames)\n",
              1000 * cpu / input, input, (unsigned long long)host.frames.load());
  std::printf(
      "  the same second in memory: engine %.3f ms, libavformat %.3f ms; threads and pacing cost %.1fx\n",
      1000 * perSecond * ours.cpu / mb, 1000 * perSecond * theirs.cpu / mb,
      (cpu / input) / (perSecond * ours.cpu / mb));
  return 0;
}
