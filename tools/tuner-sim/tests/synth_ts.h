// A small synthetic transport stream for tests: PAT, a programme map, video with PCR, PTS and DTS,
// audio with PTS and some stuffing, at a constant rate.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace synth {

inline constexpr int kPmtPid = 0x1FC8, kVideoPid = 0x0111, kAudioPid = 0x0112;

struct Options {
  std::size_t packets = 600;
  double bitrate = 400'000;
  int64_t first_pcr = 27'000'000;  // 27 MHz ticks
  int pcr_every = 8;               // video packets between PCRs
};

inline void put_ts(uint8_t* p, int prefix, int64_t v) {
  p[0] = uint8_t((prefix << 4) | ((v >> 29) & 0x0E) | 1);
  p[1] = uint8_t(v >> 22);
  p[2] = uint8_t(((v >> 14) & 0xFE) | 1);
  p[3] = uint8_t(v >> 7);
  p[4] = uint8_t(((v << 1) & 0xFE) | 1);
}

inline void put_pcr(uint8_t* p, int64_t v) {
  int64_t base = (v / 300) & ((int64_t{1} << 33) - 1), ext = v % 300;
  p[0] = uint8_t(base >> 25);
  p[1] = uint8_t(base >> 17);
  p[2] = uint8_t(base >> 9);
  p[3] = uint8_t(base >> 1);
  p[4] = uint8_t(((base & 1) << 7) | 0x7E | (ext >> 8));
  p[5] = uint8_t(ext);
}

inline std::vector<uint8_t> make(const Options& o = {}) {
  const double ticks_per_packet = 188 * 8 * 27e6 / o.bitrate;
  const int64_t wrap = (int64_t{1} << 33) * 300;
  std::vector<uint8_t> out(o.packets * 188);
  std::map<int, int> cc;
  int video_count = 0;
  for (std::size_t i = 0; i < o.packets; ++i) {
    uint8_t* p = &out[i * 188];
    std::memset(p, 0xFF, 188);
    int pid;
    switch (i % 16) {
      case 0:
        pid = 0;
        break;
      case 1:
        pid = kPmtPid;
        break;
      case 5:
      case 13:
        pid = kAudioPid;
        break;
      case 9:
        pid = 0x1FFF;
        break;
      default:
        pid = kVideoPid;
        break;
    }
    const int64_t pcr = (o.first_pcr + int64_t(double(i) * ticks_per_packet)) % wrap;
    const int64_t pts = (pcr / 300 + 9000) & ((int64_t{1} << 33) - 1);
    bool start =
        pid <= 1 || pid == kPmtPid || pid == kAudioPid || (pid == kVideoPid && video_count % 10 == 0);
    p[0] = 0x47;
    p[1] = uint8_t((start ? 0x40 : 0) | (pid >> 8));
    p[2] = uint8_t(pid);
    std::size_t pos = 4;
    int afc = 1;
    if (pid == kVideoPid && video_count % o.pcr_every == 0) {
      afc = 3;
      p[4] = 7;
      p[5] = 0x10;
      put_pcr(p + 6, pcr);
      pos = 12;
    }
    p[3] = uint8_t((afc << 4) | (pid == 0x1FFF ? 0 : cc[pid]));
    if (pid != 0x1FFF) cc[pid] = (cc[pid] + 1) & 15;
    if (pid == 0 || pid == kPmtPid) {
      p[pos] = 0;                     // pointer field
      p[pos + 1] = pid == 0 ? 0 : 2;  // table id
      p[pos + 2] = 0xB0;
      p[pos + 3] = 0x0D;
    } else if (pid == kVideoPid && start) {
      const uint8_t h[] = {0, 0, 1, 0xE0, 0, 0, 0x80, 0xC0, 10};
      std::memcpy(p + pos, h, sizeof h);
      put_ts(p + pos + 9, 3, pts + 3003);
      put_ts(p + pos + 14, 1, pts);
    } else if (pid == kAudioPid) {
      const uint8_t h[] = {0, 0, 1, 0xC0, 0, 0, 0x80, 0x80, 5};
      std::memcpy(p + pos, h, sizeof h);
      put_ts(p + pos + 9, 2, pts);
    } else if (pid == kVideoPid) {
      for (std::size_t k = pos; k < 188; ++k) p[k] = uint8_t(i + k);
    }
    if (pid == kVideoPid) ++video_count;
  }
  return out;
}

inline void write(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace synth
