// A tail for a test broadcast that makes the stream engine let go of all of it.
//
// Nothing shows that the end of a broadcast has been written until units that follow it have: the
// engine keeps the last two blocks and the last two records queued, a PES ends only where the next
// one on its PID starts, and an access unit only at the next delimiter. The tail goes on with the
// broadcast's continuity counters (a gap would drop the PES in progress) and carries six video and
// (when given a frame) six audio PES stamped about a second after the broadcast's last, then null packets to
// whole blocks. The engine writes in stream order, so once the tail's first units are written,
// everything of the broadcast that it writes at all has been written.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "player/pipeline/programme_map.h"
#include "player/pipeline/section_assembler.h"
#include "player/pipeline/ts_constants.h"
#include "tests/pipeline/engine_support.h"
#include "tests/pipeline/stream_builder.h"

namespace tevalo::test {

struct FlushedStream {
  Bytes ts;                 // the broadcast, the tail, whole 1128-byte blocks
  int64_t videoStamp = -1;  // 27 MHz stamp of the tail's first video unit
  int64_t audioStamp = -1;  // and of its first audio unit; -1 without audio

  // Whether the tail's first units are among the written ones.
  bool Reached(const std::vector<SentMessage>& written) const {
    bool video = false, audio = audioStamp < 0;
    for (const auto& m : written) {
      video = video || (m.type == IPC_VIDEO_FRAME && m.stamp == videoStamp);
      audio = audio || (m.type == IPC_AUDIO_FRAME && m.stamp == audioStamp);
    }
    return video && audio;
  }
  // The written messages without the tail's units.
  std::vector<SentMessage> WithoutTail(const std::vector<SentMessage>& written) const {
    std::vector<SentMessage> out;
    bool video = false, audio = false;
    for (const auto& m : written) {
      video = video || (m.type == IPC_VIDEO_FRAME && m.stamp == videoStamp);
      audio = audio || (m.type == IPC_AUDIO_FRAME && m.stamp == audioStamp);
      if ((m.type == IPC_VIDEO_FRAME && video) || (m.type == IPC_AUDIO_FRAME && audio)) continue;
      out.push_back(m);
    }
    return out;
  }
};

// The broadcast's last intact programme map names the PIDs the tail goes on; nothing when it has
// none. ts is cut to whole packets; audioFrame is one ADTS frame of the broadcast's kind (empty: a
// tail without audio).
inline std::optional<FlushedStream> WithFlushTail(const Bytes& ts, const Bytes& audioFrame = {}) {
  FlushedStream f;
  f.ts.assign(ts.begin(), ts.begin() + std::ptrdiff_t(ts.size() / 188 * 188));
  pipeline::CSectionAssembler sections;
  pipeline::PmtEntries pids;
  sections.SetHandler(pipeline::kPmtPid, [&pids](const uint8_t* s, size_t size) {
    pipeline::PmtEntries e;
    if (pipeline::ParsePmtSection(s, size, e) && e.video != pipeline::kNoPid && e.audio != pipeline::kNoPid)
      pids = e;
  });
  for (size_t at = 0; at + 188 <= f.ts.size(); at += 188)
    if (f.ts[at] == 0x47) sections.FeedPacket(f.ts.data() + at);
  if (pids.video == pipeline::kNoPid) return std::nullopt;
  const uint16_t videoPid = pids.video, audioPid = pids.audio;
  // The last continuity counter and PTS on each PID.
  std::map<uint16_t, int> cc;
  std::map<uint16_t, int64_t> pts = {{videoPid, 0}, {audioPid, 0}};
  for (size_t at = 0; at + 188 <= f.ts.size(); at += 188) {
    const uint8_t* p = f.ts.data() + at;
    const uint16_t pid = pipeline::TsPid(p);
    if (pid != videoPid && pid != audioPid) continue;
    if (p[3] & 0x10) cc[pid] = p[3] & 0x0F;
    size_t pos = 4;
    if (p[3] & 0x20) pos += 1 + size_t(p[4]);
    if (!(p[1] & 0x40) || pos + 14 > 188) continue;
    const uint8_t* h = p + pos;
    if (h[0] != 0 || h[1] != 0 || h[2] != 1 || !(h[7] & 0x80)) continue;
    const int64_t t = (int64_t(h[9] & 0x0E) << 29) | (int64_t(h[10]) << 22) | (int64_t(h[11] & 0xFE) << 14) |
                      (int64_t(h[12]) << 7) | (h[13] >> 1);
    pts[pid] = t;
  }
  TsWriter w;
  for (auto [pid, last] : cc) w.Cc(pid) = uint8_t(last + 1);
  // About a second on, within the 33 bits of a PTS, each on its stream's grid (15 pictures, 25
  // sound frames of 1024 samples at 24 kHz): a stamp off the grid would be taken for damage.
  constexpr int64_t kPtsMask = (int64_t{1} << 33) - 1;
  const int64_t video0 = (pts[videoPid] + 90000) & kPtsMask, audio0 = (pts[audioPid] + 25 * 3840) & kPtsMask;
  for (int k = 0; k < 6; ++k) {
    Append(f.ts, w.Packets(videoPid,
                           Pes(0xE0, AccessUnit(uint8_t(0xA0 + k), false), (video0 + 6000 * k) & kPtsMask)));
    if (!audioFrame.empty())
      Append(f.ts, w.Packets(audioPid, Pes(0xC0, audioFrame, (audio0 + 3840 * k) & kPtsMask)));
  }
  // Two blocks stay queued: let them be nulls only.
  for (int k = 0; k < 12 || f.ts.size() % 1128 != 0; ++k) Append(f.ts, w.Null());
  f.videoStamp = video0 * 300;
  if (!audioFrame.empty()) f.audioStamp = audio0 * 300;
  return f;
}

}  // namespace tevalo::test
