// Elementary-stream pieces and a small 1seg-shaped transport stream for the engine tests.
#pragma once

#include <vector>

#include "tests/pipeline/ts_writer.h"

namespace tevalo::test {

inline const Bytes kAud4 = {0, 0, 0, 1, 0x09, 0xF0};
inline const Bytes kPps = {0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80};

inline Bytes Nal(uint8_t header, size_t n, uint8_t seed) {
  Bytes b = {0, 0, 0, 1, header};
  for (size_t i = 0; i < n; ++i) b.push_back(uint8_t(0x20 + (seed + i) % 0x50));  // no zero bytes
  return b;
}

inline Bytes WithStartCode(const Bytes& nal) {
  Bytes b = {0, 0, 0, 1};
  Append(b, nal);
  return b;
}

// One access unit as broadcast: 4-byte-start-code delimiter, optional SPS/PPS, a slice.
inline Bytes AccessUnit(uint8_t seed, bool idr, const Bytes& sps = Sps(1, 30)) {
  Bytes au = kAud4;
  if (idr) {
    Append(au, WithStartCode(sps));
    Append(au, kPps);
  }
  Append(au, Nal(idr ? 0x65 : 0x41, 300 + seed, seed));
  return au;
}

struct Unit {
  Bytes bytes;
  int64_t pts;  // 90 kHz
};

// A stream of `frames` video frames at 15 fps and AAC at 24 kHz (three ADTS frames per PES), a PMT
// before every IDR. video/audio receive the units in order.
struct BuiltStream {
  Bytes ts;
  std::vector<Unit> video;
  std::vector<Unit> audio;
};

inline BuiltStream BuildStream(int frames, uint16_t videoPid = 0x0100, uint16_t audioPid = 0x0110,
                               int64_t pts0 = 90000) {
  BuiltStream s;
  TsWriter w;
  const Bytes pmt = PmtSection({{0x1B, videoPid, {}}, {0x0F, audioPid, {}}, {0x06, 0x0130, {}}});
  int64_t audioPts = pts0;
  for (int k = 0; k < frames; ++k) {
    const bool idr = k % 15 == 0;
    if (idr) Append(s.ts, w.Packets(0x1FC8, pmt, true));
    const int64_t pts = pts0 + 6000 * k;
    Bytes au = AccessUnit(uint8_t(k), idr);
    s.video.push_back({au, pts});
    TsWriter::Options pcr{0, true};
    Append(s.ts, w.Packets(videoPid, Pes(0xE0, au, pts, k % 2 == 1), false, pcr));
    // Audio runs ahead of video by about a frame: three frames of 3840 every 11520.
    while (audioPts < pts + 6000) {
      Bytes pes;
      for (int f = 0; f < 3; ++f) {
        Bytes frame = Adts(180 + (k * 3 + f) % 40, uint8_t(0x10 + (k + f) % 0x60));
        s.audio.push_back({frame, audioPts + 3840 * f});
        Append(pes, frame);
      }
      Append(s.ts, w.Packets(audioPid, Pes(0xC0, pes, audioPts)));
      audioPts += 3 * 3840;
    }
  }
  return s;
}

}  // namespace tevalo::test
