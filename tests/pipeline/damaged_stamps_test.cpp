// Stamps at the edge of reception: a flipped bit in a PES's PTS or in an ADTS frame's length must
// not move sound or pictures away from their own time. Every case asserts the exact stamp of each
// frame that comes out.
#include <gtest/gtest.h>

#include <functional>

#include "player/pipeline/es_framer.h"
#include "player/pipeline/stamp_guard.h"
#include "tests/pipeline/stream_builder.h"

using namespace tevalo::pipeline;
using namespace tevalo::test;

namespace {

constexpr int64_t kT = 300;                   // 90 kHz -> 27 MHz
constexpr int64_t kFrame = 3840;              // 1024 samples at 24 kHz, in 90 kHz ticks
constexpr int64_t kPicture = 6000;            // 1/15 s
constexpr int64_t kFrameTicks = kFrame * kT;  // the same in 27 MHz ticks
constexpr int64_t kPictureTicks = kPicture * kT;

struct Out : IFramerOutput {
  std::vector<std::pair<Bytes, int64_t>> audio, video;
  void WriteFrame(const uint8_t* m, size_t) override {
    const int32_t type = int32_t(ipcle::GetU32(m));
    const uint32_t n = ipcle::GetU32(m + 4);
    (type == IPC_AUDIO_FRAME ? audio : video)
        .emplace_back(Bytes(m + 40, m + 40 + n), int64_t(ipcle::GetU64(m + 16)));
  }
  void SendStreamFormats(int, const StreamFormatMessage&, const StreamFormatMessage&) override {}
};

void StartStreaming(CEsFramer& f) {
  const Bytes v = AccessUnit(0, true);
  f.FrameVideo(v.data(), v.size(), 0);
  const Bytes a = Adts(200);
  f.FrameAudio(a.data(), a.size(), 0);
}

int64_t FlipPtsBit(int64_t pts, int bit) { return pts ^ (int64_t{1} << bit); }

}  // namespace

TEST(StampGuard, TakesTheStampsOfARegularStreamAndMendsTheOddOne) {
  const double period = double(kFrameTicks);
  struct Case {
    const char* name;
    std::vector<int64_t> stamps;    // 90 kHz, after four regular ones at 0, 3, 6, 9 frames
    std::vector<int64_t> expected;  // where the frames before place each (90 kHz), -1 unknown
    std::vector<int64_t> taken;     // 90 kHz, -1 for none
  } cases[] = {
      {"the stream goes on",
       {12 * kFrame, 15 * kFrame},
       {12 * kFrame, 15 * kFrame},
       {12 * kFrame, 15 * kFrame}},
      {"a high bit flipped", {FlipPtsBit(12 * kFrame, 27)}, {12 * kFrame}, {12 * kFrame}},
      {"a bit flipped after a lost PES: the bit, not the continuity",
       {FlipPtsBit(15 * kFrame, 14)},
       {12 * kFrame},
       {15 * kFrame}},
      {"a move confirmed by the next stamp",
       {12 * kFrame + 100000, 15 * kFrame + 100000},
       {12 * kFrame, -1},
       {12 * kFrame, 15 * kFrame + 100000}},
      {"a small move off the grid near the continuity",
       {12 * kFrame + 500},
       {12 * kFrame},
       {12 * kFrame + 500}},
      {"neither placed: dropped", {12 * kFrame + 100000}, {-1}, {-1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CStampGuard g;
    for (int k = 0; k < 4; ++k) ASSERT_EQ(g.Take(3 * k * kFrameTicks, period, -1, true), 3 * k * kFrameTicks);
    for (size_t i = 0; i < c.stamps.size(); ++i) {
      const int64_t e = c.expected[i] < 0 ? -1 : c.expected[i] * kT;
      const int64_t want = c.taken[i] < 0 ? -1 : c.taken[i] * kT;
      EXPECT_EQ(g.Take(c.stamps[i] * kT, period, e, true), want) << i;
    }
  }
}

TEST(StampGuard, AStreamOfIrregularTimingKeepsItsOwnStamps) {
  CStampGuard g;
  int64_t s = 0;
  for (int k = 0; k < 20; ++k) {
    s += kFrameTicks + (k % 2 ? 50000 : 90000);
    EXPECT_EQ(g.Take(s, double(kFrameTicks), -1, true), s) << k;
  }
  EXPECT_EQ(g.Refused(), 0);
}

// Nine PES of three sound frames (five whole ones before the damage in the sixth): each case
// damages the stream as a weak signal does and lists the frames that come out. Every one of them
// carries its own frame's time.
TEST(DamagedSound, EveryFrameThatComesOutKeepsItsOwnTime) {
  struct Pes {
    std::vector<Bytes> frames;
    int64_t pts;
  };
  using Damage = std::function<void(std::vector<Pes>&)>;
  auto setLength = [](Bytes& f, size_t len) {
    f[3] = uint8_t((f[3] & 0xFC) | ((len >> 11) & 0x03));
    f[4] = uint8_t(len >> 3);
    f[5] = uint8_t(((len & 7) << 5) | (f[5] & 0x1F));
  };
  struct Case {
    const char* name;
    Damage damage;
    std::vector<std::pair<int, int>> lost;  // (PES, frame) that do not come out
    Damage shape = nullptr;                 // the undamaged stream's own shape, when not regular
  } cases[] = {
      {"a length made longer runs into the next frame",
       [&](auto& p) { setLength(p[5].frames[0], 90); },
       {{5, 0}}},
      {"a length made shorter", [&](auto& p) { setLength(p[5].frames[1], 40); }, {{5, 1}}},
      {"the first frame's sync broken", [](auto& p) { p[5].frames[0][1] = 0x78; }, {{5, 0}}},
      {"the last frame's length runs on into the next PES",
       [&](auto& p) { setLength(p[5].frames[2], 300); },
       {{5, 2}}},
      {"a flipped bit in a PES stamp", [](auto& p) { p[5].pts = FlipPtsBit(p[5].pts, 25); }, {}},
      {"a flipped low bit in a PES stamp, after a lost PES",
       [](auto& p) {
         p[5].frames.clear();
         p[6].pts = FlipPtsBit(p[6].pts, 14);
       },
       {{5, 0}, {5, 1}, {5, 2}}},
      {"a short PES where the encoder's cycle ends, then a broken first frame",
       [](auto& p) { p[5].frames[0][1] = 0x78; },
       {{5, 0}},
       [](auto& p) {
         p[4].frames.resize(1);
         for (size_t n = 5; n < p.size(); ++n) p[n].pts -= 2 * kFrame;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Pes> pes(9);
    for (int n = 0; n < 9; ++n) {
      pes[size_t(n)].pts = 9000 + 3 * n * kFrame;
      for (int k = 0; k < 3; ++k)
        pes[size_t(n)].frames.push_back(Adts(size_t(50 + 10 * k), uint8_t(0x10 * n + k)));
    }
    if (c.shape) c.shape(pes);
    // Each frame's own time, before any damage.
    std::vector<std::pair<Bytes, int64_t>> want;
    for (size_t n = 0; n < pes.size(); ++n)
      for (size_t k = 0; k < pes[n].frames.size(); ++k)
        if (std::find(c.lost.begin(), c.lost.end(), std::make_pair(int(n), int(k))) == c.lost.end())
          want.emplace_back(pes[n].frames[k], pes[n].pts * kT + int64_t(k) * kFrameTicks);
    c.damage(pes);
    Out out;
    CEsFramer f(out);
    StartStreaming(f);
    out.audio.clear();
    for (const auto& p : pes) {
      if (p.frames.empty()) continue;
      Bytes payload;
      for (const auto& fr : p.frames) Append(payload, fr);
      f.FrameAudio(payload.data(), payload.size(), p.pts * kT);
    }
    ASSERT_EQ(out.audio.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(out.audio[i].second, want[i].second) << i;
      EXPECT_EQ(out.audio[i].first.size(), want[i].first.size()) << i;
      EXPECT_EQ(out.audio[i].first[7], want[i].first[7]) << i;  // the frame's own fill
    }
  }
}

// Pictures, one a PES: a flipped bit in a stamp puts the picture back on its own time, also when
// the picture before it was lost.
TEST(DamagedPictures, AFlippedStampBitGivesThePictureItsOwnTime) {
  for (const bool lostBefore : {false, true}) {
    SCOPED_TRACE(lostBefore ? "a picture lost before it" : "the pictures before it whole");
    Out out;
    CEsFramer f(out);
    StartStreaming(f);
    out.video.clear();
    std::vector<int64_t> want;
    for (int n = 1; n <= 10; ++n) {
      if (lostBefore && n == 6) continue;
      const int64_t pts = n * kPicture;
      const Bytes au = AccessUnit(uint8_t(n), false);
      f.FrameVideo(au.data(), au.size(), (n == 7 ? FlipPtsBit(pts, 21) : pts) * kT);
      want.push_back(pts * kT);
    }
    // The last unit waits for the next delimiter; the first written is the start's key picture.
    want.pop_back();
    ASSERT_EQ(out.video.size(), want.size() + 1);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(out.video[i + 1].second, want[i]) << i;
  }
}
