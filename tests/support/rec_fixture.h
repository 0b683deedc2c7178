// A .rec recording of the basic test broadcast, written as the live recorder writes, and the frame
// code of the picture at a file time: for tests and benchmarks of playback and seeking.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/source/rec_writer.h"
#include "ipc/filter_protocol.h"
#include "fixture_units.h"

namespace tevalo::test::rec_fixture {

using Bytes = std::vector<uint8_t>;

// The SPS and PPS of an access unit, each with its start code.
inline Bytes ParameterSets(const Bytes& au) {
  Bytes out;
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) starts.push_back(i + 3);
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t begin = starts[k];
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : au.size();
    while (end > begin && au[end - 1] == 0) --end;
    const int type = au[begin] & 0x1F;
    if (type == 7 || type == 8) {
      out.insert(out.end(), {0, 0, 0, 1});
      out.insert(out.end(), au.begin() + begin, au.begin() + end);
    }
  }
  return out;
}

// The basic fixture: 64 pictures at 15 a second, a key picture every 15, one pass 384000 ticks.
constexpr int64_t kLoop90 = 384000;
constexpr int64_t kPicture90 = 6000;
constexpr int kPicturesPerLoop = 64;
constexpr int kKeyInterval = 15;

// The basic fixture, `loops` passes, written as the live recorder writes; its length in ms.
// lastPictureCode receives the frame code of its last picture; firstPicture90, when given, the
// file time of the first picture in 90 kHz ticks.
inline uint32_t WriteRecording(const std::string& path, int loops, int* lastPictureCode,
                               int64_t* firstPicture90 = nullptr) {
  struct Unit {
    uint32_t type;
    int64_t pts;
    Bytes bytes;
  };
  std::vector<Unit> units;
  Bytes videoConfig, audioConfig;
  for (auto& u : tevalo::test::ReadUnits(tevalo::test::FixturePath("basic", "video.units"))) {
    if (videoConfig.empty()) videoConfig = ParameterSets(u.bytes);
    units.push_back({IPC_VIDEO_FRAME, u.pts, std::move(u.bytes)});
  }
  for (auto& u : tevalo::test::ReadUnits(tevalo::test::FixturePath("basic", "audio.units"))) {
    if (audioConfig.empty()) audioConfig.assign(u.bytes.begin(), u.bytes.begin() + 7);
    units.push_back({IPC_AUDIO_FRAME, u.pts, std::move(u.bytes)});
  }
  *lastPictureCode = int(std::count_if(units.begin(), units.end(),
                                       [](const Unit& u) { return u.type == IPC_VIDEO_FRAME; })) -
                     1;
  std::stable_sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) {
    return a.pts != b.pts ? a.pts < b.pts : a.type > b.type;
  });
  rec::CRecWriter writer([](int) { return std::optional<uint64_t>(1ull << 40); });
  const uint32_t start = 5000;
  if (!writer.Start(path, rec::MakeInfoBlock(rec::kVideoInfoType, videoConfig),
                    rec::MakeInfoBlock(rec::kAudioInfoType, audioConfig), start))
    return 0;
  const int64_t p0 = units.front().pts;
  if (firstPicture90)
    for (const auto& u : units)
      if (u.type == IPC_VIDEO_FRAME) {
        *firstPicture90 = u.pts - p0;
        break;
      }
  uint32_t last = start;
  for (int l = 0; l < loops; ++l)
    for (const auto& u : units) {
      const int64_t p = u.pts - p0 + l * kLoop90;
      last = start + uint32_t(p / 90) + 1;
      writer.WriteRecord(u.type, p * 1000 / 9, u.bytes, last);
    }
  writer.Stop(last + 30);
  return last + 30 - start;
}

// The frame code of the picture at a file time in tenths: the first that begins there or later.
inline int CodeAt(int tenths, int64_t firstPicture90) {
  const int64_t t90 = int64_t(tenths) * 9000 - firstPicture90;
  if (t90 <= 0) return 0;
  return int((t90 + kPicture90 - 1) / kPicture90 % kPicturesPerLoop);
}

// Pictures the shown one lies before the expected one, across a pass's wrap; negative when after.
inline int PicturesBefore(int expected, int shown) {
  int back = (expected - shown + kPicturesPerLoop) % kPicturesPerLoop;
  return back > kPicturesPerLoop / 2 ? back - kPicturesPerLoop : back;
}

}  // namespace tevalo::test::rec_fixture
