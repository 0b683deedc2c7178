// Seeks and the read turn a stop waits for, in a recording followed by a zero tail (what a crash
// leaves on some file systems: written zeros or a hole), beside the same recording without one.
// Run: <build>/bin/zero_tail_bench [folder] [seconds of recording]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "filter/playback/rec_reader.h"
#include "filter/source/rec_writer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kBoundMs = 200;  // what the player allows a seek or a stop

// 15 pictures and ~47 sound frames a second, picture sizes of a 1seg broadcast.
uint32_t WriteRecording(const std::string& path, int seconds) {
  rec::CRecWriter w([](int) { return std::optional<uint64_t>(1ull << 40); });
  const uint8_t config[] = {0x01, 0x42, 0xC0, 0x0D};
  const uint32_t start = 5000;
  if (!w.Start(path, rec::MakeInfoBlock(rec::kVideoInfoType, config),
               rec::MakeInfoBlock(rec::kAudioInfoType, config), start))
    return 0;
  std::mt19937 rng(7);
  std::vector<uint8_t> payload(24000);
  for (auto& b : payload) b = uint8_t(rng());
  uint32_t last = start;
  for (int ms = 0; ms < seconds * 1000; ms += 1) {
    last = start + uint32_t(ms);
    if (ms % 66 == 0) {
      const size_t n = ms % 990 == 0 ? 20000 : 2000 + rng() % 2000;
      w.WriteRecord(rec::kVideoType, int64_t(ms) * 10000, {payload.data(), n}, last);
    }
    if (ms % 21 == 0) w.WriteRecord(rec::kAudioType, int64_t(ms) * 10000, {payload.data(), 200}, last);
  }
  w.Stop(last + 30);
  return last + 30 - start;
}

bool AddTail(const std::string& path, uint64_t bytes, bool sparse) {
  if (sparse) {
    std::error_code ec;
    fs::resize_file(path, fs::file_size(path) + bytes, ec);
    return !ec;
  }
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  const std::vector<char> zeros(1 << 20);
  for (uint64_t n = 0; n < bytes; n += zeros.size()) std::fwrite(zeros.data(), 1, zeros.size(), f);
  return std::fclose(f) == 0;
}

struct Figures {
  double seekMs = 0, seekWorstMs = 0, stopMs = 0;
  uint64_t seekBytes = 0, stopBytes = 0;
  bool ok = true;
};

Figures Measure(const std::string& path, uint32_t durationMs) {
  Figures f;
  // The file's pages are dropped so a tail written as zeros is read from the disk as after a crash.
  if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  rec::CRecReader r;
  if (r.Open(path) != rec::CRecReader::OpenResult::Ok) return Figures{.ok = false};
  std::mt19937 rng(11);
  constexpr int kSeeks = 40;
  for (int i = 0; i < kSeeks; ++i) {
    // Every fourth seek goes to the last moments, nearest the tail.
    const uint64_t target = i % 4 == 3 ? durationMs - 1 - rng() % 500 : rng() % durationMs;
    const uint64_t before = r.BytesRead();
    const auto t0 = Clock::now();
    if (!r.SeekToTime(target)) f.ok = false;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    f.seekMs += ms / kSeeks;
    f.seekWorstMs = std::max(f.seekWorstMs, ms);
    f.seekBytes = std::max(f.seekBytes, r.BytesRead() - before);
  }
  // The read thread's turn past the last record: the one a stop waits for.
  r.SeekToTime(durationMs - 1);
  rec::Record record;
  rec::CRecReader::ReadResult result;
  do {
    const uint64_t before = r.BytesRead();
    const auto t0 = Clock::now();
    result = r.ReadRecord(record);
    f.stopMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    f.stopBytes = r.BytesRead() - before;
  } while (result == rec::CRecReader::ReadResult::Record);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  const int seconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 60;
  const std::string clean = (dir / "zero-tail-clean.rec").string();
  const std::string tailed = (dir / "zero-tail-x.rec").string();
  const uint32_t duration = WriteRecording(clean, seconds);
  if (!duration) {
    std::fprintf(stderr, "cannot write %s\n", clean.c_str());
    return 1;
  }
  struct Tail {
    const char* name;
    uint64_t bytes;
    bool sparse;
  };
  const Tail tails[] = {{"16 MB zeros", 16ull << 20, false},
                        {"64 MB zeros", 64ull << 20, false},
                        {"5 GB hole", 5ull << 30, true}};
  std::printf("recording: %d s, %.1f MB; %d seeks per file, the worst read turn after the last record\n",
              seconds, double(fs::file_size(clean)) / (1 << 20), 40);
  std::printf("%-14s %10s %10s %12s %10s %12s %8s %8s\n", "tail", "seek ms", "worst ms", "seek bytes",
              "stop ms", "stop bytes", "x clean", "x 200ms");
  const Figures ref = Measure(clean, duration);
  auto print = [&](const char* name, const Figures& f) {
    std::printf("%-14s %10.3f %10.3f %12llu %10.3f %12llu %8.2f %8.3f%s\n", name, f.seekMs, f.seekWorstMs,
                (unsigned long long)f.seekBytes, f.stopMs, (unsigned long long)f.stopBytes,
                ref.seekMs > 0 ? f.seekMs / ref.seekMs : 0.0, std::max(f.seekWorstMs, f.stopMs) / kBoundMs,
                f.ok ? "" : "  (a seek failed)");
  };
  print("none", ref);
  int status = ref.ok ? 0 : 1;
  for (const Tail& t : tails) {
    fs::copy_file(clean, tailed, fs::copy_options::overwrite_existing);
    if (!AddTail(tailed, t.bytes, t.sparse)) {
      std::printf("%-14s cannot be made here\n", t.name);
      continue;
    }
    const Figures f = Measure(tailed, duration);
    print(t.name, f);
    if (!f.ok) status = 1;
    fs::remove(tailed);
  }
  fs::remove(clean);
  return status;
}
