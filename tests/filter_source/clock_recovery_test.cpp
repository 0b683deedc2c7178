#include "filter/source/clock_recovery.h"

#include <gtest/gtest.h>

#include "filter/source/frame_record.h"

using halvik::ClockRecovery;

namespace {

constexpr int64_t kBase = 3'000'000'000'000;  // an arbitrary 27 MHz stamp
constexpr int64_t kAudioStep = 1'152'000;     // 42.67 ms: 2048 samples at 48 kHz
constexpr int64_t kVideoStep = 1'800'000;     // 66.67 ms: 15 fps
constexpr int64_t kMs = 27'000;

TEST(ClockRecovery, NothingIsTimedBeforeTheFirstStampedAudioFrame) {
  ClockRecovery c;
  EXPECT_FALSE(c.VideoTime(kBase));
  EXPECT_FALSE(c.AudioTime(-1));
  EXPECT_FALSE(c.has_base());
  EXPECT_EQ(c.AudioTime(kBase), 0);
  EXPECT_EQ(c.AudioTime(-1), halvik::kUntimed);  // kept, but without a time
  // Values no 33-bit PTS can give are no stamp either.
  EXPECT_EQ(c.AudioTime(INT64_MAX), halvik::kUntimed);
  EXPECT_FALSE(c.VideoTime(INT64_MAX / 3));
  ClockRecovery fresh;
  EXPECT_FALSE(fresh.AudioTime(int64_t{1} << 60));
}

TEST(ClockRecovery, TimesFollowTheStampsDirectly) {
  ClockRecovery c;
  ASSERT_EQ(c.AudioTime(kBase), 0);
  for (int i = 1; i < 100; ++i) EXPECT_EQ(c.AudioTime(kBase + i * kAudioStep), i * kAudioStep * 10 / 27) << i;
  // Video keeps its own relation to audio: a frame stamped 100 ms after the first audio frame is
  // presented 100 ms after it, whatever order the frames arrive in.
  EXPECT_EQ(c.VideoTime(kBase + 100 * kMs), 1'000'000);
  EXPECT_EQ(c.VideoTime(kBase + 100 * kMs + kVideoStep), 1'000'000 + kVideoStep * 10 / 27);
  // A video frame from before the first audio frame cannot be presented.
  EXPECT_FALSE(c.VideoTime(kBase - 10 * kMs));
  EXPECT_FALSE(c.VideoTime(-1));
}

TEST(ClockRecovery, JumpsAreAbsorbedAsOneRegularStep) {
  struct Case {
    const char* name;
    int64_t jump;
    bool absorbed;
  };
  const Case cases[] = {
      {"backwards", -40'000 * kMs, true},
      {"back by one tick", -kAudioStep - 1, true},
      {"forwards over a second", ClockRecovery::kJumpTicks + 1, true},
      {"forwards by exactly a second", ClockRecovery::kJumpTicks, false},
      {"wrap of the 33-bit PTS", -(int64_t{1} << 33) * 300, true},
  };
  for (const Case& tc : cases) {
    ClockRecovery c;
    int64_t s = kBase;
    int64_t t = *c.AudioTime(s);
    for (int i = 0; i < 5; ++i) t = *c.AudioTime(s += kAudioStep);
    s += tc.jump;
    const int64_t after = *c.AudioTime(s);
    if (tc.absorbed) {
      EXPECT_NEAR(after, t + kAudioStep * 10 / 27, 1) << tc.name;
      EXPECT_NEAR(*c.AudioTime(s + kAudioStep), t + 2 * kAudioStep * 10 / 27, 1) << tc.name;
    } else {
      EXPECT_NEAR(after, t + tc.jump * 10 / 27, 1) << tc.name;
    }
  }
}

TEST(ClockRecovery, StreamsThatJumpTogetherKeepTheirRelation) {
  ClockRecovery c;
  int64_t a = kBase, v = kBase + 50 * kMs;
  c.AudioTime(a);
  for (int i = 0; i < 20; ++i) {
    c.AudioTime(a += kAudioStep);
    c.VideoTime(v += kVideoStep);
  }
  const int64_t jump = -123'456 * kMs;
  a += jump;
  v += jump;
  // Audio sees the jump first, then video; afterwards video is again presented at its stamp's
  // distance from the audio stamps.
  for (int i = 0; i < 20; ++i) {
    const int64_t ta = *c.AudioTime(a += kAudioStep);
    const int64_t tv = *c.VideoTime(v += kVideoStep);
    EXPECT_NEAR(double(tv - ta), double((v - a) * 10 / 27), 2.0) << i;
  }
  EXPECT_EQ(c.video_base(), c.audio_base());
}

TEST(ClockRecovery, AJumpInOneStreamAloneMovesOnlyThatStream) {
  ClockRecovery c;
  int64_t a = kBase, v = kBase;
  c.AudioTime(a);
  int64_t tv = 0;
  for (int i = 0; i < 5; ++i) {
    c.AudioTime(a += kAudioStep);
    tv = *c.VideoTime(v += kVideoStep);
  }
  v += 10'000 * kMs;  // the video stamps alone jump by 10 s
  EXPECT_NEAR(*c.VideoTime(v), tv + kVideoStep * 10 / 27, 1);
  EXPECT_EQ(*c.AudioTime(a + kAudioStep), (a + kAudioStep - kBase) * 10 / 27);
}

}  // namespace

namespace {

using halvik::FrameRecordPtr;
using halvik::StartGate;

FrameRecordPtr Frame(bool audio, int64_t stamp) {
  auto r = std::make_unique<halvik::FrameRecord>();
  r->type = audio ? 260 : 259;
  r->values[1] = stamp;
  return r;
}

struct Timed {
  bool audio;
  int64_t time;
  bool operator==(const Timed&) const = default;
};

// Times what the gate lets through, as the receive thread does.
std::vector<Timed> TimeAll(std::vector<FrameRecordPtr> ready, ClockRecovery& c) {
  std::vector<Timed> out;
  for (auto& r : ready) {
    const bool audio = r->type == 260;
    const auto t = audio ? c.AudioTime(r->stamp()) : c.VideoTime(r->stamp());
    if (t) out.push_back({audio, *t});
  }
  return out;
}

TEST(StartGate, TheBaseIsTheEarlierOfTheFirstSoundAndTheFirstPicture) {
  struct Case {
    const char* name;
    std::vector<std::pair<bool, int64_t>> frames;  // audio?, stamp offset from kBase, in arrival order
    std::vector<Timed> expected;                   // what goes out when the last frame came
  };
  const int64_t ms = 10'000;  // 1 ms in 100 ns
  const Case cases[] = {
      // A key picture stamped before the sound that came first: the picture is not dropped.
      {"sound first, picture earlier",
       {{true, 40 * kMs}, {true, 83 * kMs}, {false, 0}},
       {{true, 40 * ms}, {true, 83 * ms}, {false, 0}}},
      {"picture first, sound later", {{false, 0}, {true, 30 * kMs}}, {{false, 0}, {true, 30 * ms}}},
      {"sound first and earlier", {{true, 0}, {false, 25 * kMs}}, {{true, 0}, {false, 25 * ms}}},
  };
  for (const Case& tc : cases) {
    ClockRecovery c;
    StartGate g;
    std::vector<FrameRecordPtr> ready;
    for (size_t i = 0; i < tc.frames.size(); ++i) {
      ready = g.Take(Frame(tc.frames[i].first, kBase + tc.frames[i].second), tc.frames[i].first, c, 0);
      if (i + 1 < tc.frames.size()) {
        EXPECT_TRUE(ready.empty()) << tc.name << " frame " << i;
      }
    }
    EXPECT_EQ(TimeAll(std::move(ready), c), tc.expected) << tc.name;
    EXPECT_TRUE(c.has_base()) << tc.name;
    EXPECT_FALSE(g.holding()) << tc.name;
    // Later frames keep the stream's own relation (every case's earliest stamp is kBase).
    EXPECT_EQ(c.VideoTime(kBase + 500 * kMs), 500 * ms) << tc.name;
  }
}

TEST(StartGate, AStreamOfOneKindGoesOnAfterASecondOfStampsOrWhenNothingMoreComes) {
  ClockRecovery c;
  StartGate g;
  int64_t s = kBase;
  size_t held = 0;
  for (; s - kBase <= StartGate::kSpanTicks; s += kAudioStep, ++held)
    ASSERT_TRUE(g.Take(Frame(true, s), true, c, 0).empty());
  const auto out = TimeAll(g.Take(Frame(true, s), true, c, 0), c);
  ASSERT_EQ(out.size(), held + 1);
  EXPECT_EQ(out.front(), (Timed{true, 0}));
  EXPECT_EQ(out.back(), (Timed{true, (s - kBase) * 10 / 27}));

  ClockRecovery quiet;
  StartGate q;
  ASSERT_TRUE(q.Take(Frame(true, kBase), true, quiet, 1000).empty());
  ASSERT_TRUE(q.Take(Frame(true, kBase + kAudioStep), true, quiet, 1010).empty());
  EXPECT_TRUE(q.Idle(quiet, 1010 + StartGate::kIdleMs - 1).empty());
  EXPECT_EQ(TimeAll(q.Idle(quiet, 1010 + StartGate::kIdleMs), quiet).size(), 2u);
  EXPECT_FALSE(q.holding());
  EXPECT_TRUE(q.Idle(quiet, 100000).empty());

  ClockRecovery many;
  StartGate m;
  for (size_t i = 0; i + 1 < StartGate::kMaxHeld; ++i)
    ASSERT_TRUE(m.Take(Frame(false, kBase), false, many, 0).empty());
  EXPECT_EQ(m.Take(Frame(false, kBase), false, many, 0).size(), StartGate::kMaxHeld);
}

}  // namespace
