// A fixture's pictures with ER-BSAC sound in place of its AAC, as a player would send a stream whose
// audio configuration names object type 22: 44100 Hz stereo units over the same span, silent frames
// (max_sfb 0) alternating with frames whose data needs models the decoder does not carry.
#pragma once

#include <algorithm>

#include "filter/bsac/tests/bsac_test_util.h"
#include "graph_util.h"

namespace testgraph {

inline constexpr int kBsacRate = 44100;

inline Stream WithBsacSound(const Stream& s) {
  Stream out;
  out.video_config = s.video_config;
  out.audio_config = {0xB2, 0x11, 0xFF, 0x00, 0x00};
  bsac::StreamTables t;
  bsac::bsac_init_tables(t, kBsacRate, 1024, 2);
  bsac::SideInfo silent;
  silent.channels = 2;
  bsac::SideInfo content = silent;
  content.max_sfb = 20;
  content.header.base_band = 4;
  const Bytes units[2] = {bsactest::WriteFrame(silent, t, nullptr),
                          bsactest::WriteFrame(content, t, nullptr)};

  int64_t first = INT64_MAX, last = INT64_MIN;
  for (const Unit& u : s.units) {
    if (u.type == 260) first = std::min(first, u.pts90);
    last = std::max(last, u.pts90);
    if (u.type == 259) out.units.push_back(u);
  }
  for (int64_t k = 0;; ++k) {
    const int64_t pts = first + k * 1024 * 90000 / kBsacRate;
    if (pts > last) break;
    out.units.push_back({260, pts, units[k % 2]});
  }
  std::stable_sort(out.units.begin(), out.units.end(), [](const Unit& a, const Unit& b) {
    return a.pts90 != b.pts90 ? a.pts90 < b.pts90 : a.type > b.type;
  });
  return out;
}

}  // namespace testgraph
