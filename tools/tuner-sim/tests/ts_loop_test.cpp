#include "ts_loop.h"
#include "synth_ts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

using tunersim::TsLoop;

namespace {

constexpr int64_t kWrap = (int64_t{1} << 33) * 300;

struct Pkt {
  const uint8_t* p;
  int pid() const { return ((p[1] & 0x1F) << 8) | p[2]; }
  int cc() const { return p[3] & 15; }
  bool payload() const { return p[3] & 0x10; }
  bool af() const { return (p[3] & 0x20) && p[4] > 0; }
  bool pcr_flag() const { return af() && (p[5] & 0x10); }
  bool discontinuity() const { return af() && (p[5] & 0x80); }
  int64_t pcr() const {
    const uint8_t* a = p + 6;
    int64_t base = (int64_t(a[0]) << 25) | (a[1] << 17) | (a[2] << 9) | (a[3] << 1) | (a[4] >> 7);
    return base * 300 + (((a[4] & 1) << 8) | a[5]);
  }
};

int64_t read_ts(const uint8_t* a) {
  return (int64_t((a[0] >> 1) & 7) << 30) | (int64_t(a[1]) << 22) | (int64_t(a[2] >> 1) << 15) |
         (int64_t(a[3]) << 7) | (a[4] >> 1);
}

std::vector<uint8_t> stream_of(const TsLoop& loop, uint64_t from, uint64_t count) {
  std::vector<uint8_t> out(count * 188);
  for (uint64_t i = 0; i < count; ++i) loop.packet(from + i, &out[i * 188]);
  return out;
}

}  // namespace

TEST(TsLoop, FirstLoopIsTheFileAndRateComesFromPcr) {
  synth::Options o;
  o.bitrate = 312'000;
  auto file = synth::make(o);
  TsLoop loop(file);
  EXPECT_EQ(loop.packet_count(), o.packets);
  EXPECT_EQ(loop.pcr_pid(), synth::kVideoPid);
  EXPECT_NEAR(loop.bitrate(), o.bitrate, o.bitrate * 1e-4);
  EXPECT_EQ(stream_of(loop, 0, o.packets), file);
  EXPECT_EQ(loop.period_ticks() % 300, 0);
  // Packet times follow the PCRs: one packet per 188 * 8 bits at the stream's rate.
  const double per_packet = 188 * 8 * 27e6 / o.bitrate;
  // (A loop is rounded to whole 90 kHz ticks: 300 of 27 MHz at most per loop.)
  for (uint64_t i : {0ull, 1ull, 77ull, 599ull, 600ull, 1234ull})
    EXPECT_NEAR(loop.start_ticks(i), double(i) * per_packet, 2.0 + 300.0 * double(i / o.packets)) << i;
}

// Across two seams every PID's counters run on, every PCR matches the packet's place in time, every
// PTS and DTS moves on by one loop, and the first PCR after each seam says "discontinuity".
TEST(TsLoop, SeamCarriesCountersClockAndStampsOn) {
  for (int64_t first_pcr : {int64_t{27'000'000}, kWrap - 27'000'000 / 2}) {  // also across a PCR wrap
    SCOPED_TRACE(first_pcr);
    synth::Options o;
    o.packets = 203;  // not a multiple of 6 or 16: the seam falls inside a transfer and a cycle
    o.first_pcr = first_pcr;
    auto file = synth::make(o);
    TsLoop loop(file);
    const uint64_t n = loop.packet_count();
    auto all = stream_of(loop, 0, 3 * n);

    std::map<int, int> last_cc;
    std::map<int, int> marks;
    int64_t pcr0 = -1;
    double t0 = 0;
    for (uint64_t i = 0; i < 3 * n; ++i) {
      Pkt k{&all[i * 188]};
      ASSERT_EQ(k.p[0], 0x47);
      int pid = k.pid();
      if (pid == 0x1FFF) continue;
      if (last_cc.count(pid)) {
        int want = k.payload() ? (last_cc[pid] + 1) & 15 : last_cc[pid];
        ASSERT_EQ(k.cc(), want) << "pid " << pid << " packet " << i;
      }
      last_cc[pid] = k.cc();
      if (k.pcr_flag()) {
        if (pcr0 < 0) {
          pcr0 = k.pcr();
          t0 = loop.start_ticks(i);
        }
        int64_t want = (pcr0 + std::llround(loop.start_ticks(i) - t0)) % kWrap;
        ASSERT_NEAR(double(k.pcr()), double(want), 2.0) << "packet " << i;
      }
      if (k.discontinuity()) {
        ++marks[pid];
        EXPECT_GE(i, n);
        EXPECT_TRUE(k.pcr_flag());
      }
      // Stamps: loop k's PES headers carry loop 0's stamps plus k periods.
      if ((k.p[1] & 0x40) && (pid == synth::kVideoPid || pid == synth::kAudioPid)) {
        std::size_t off = k.af() ? 5 + k.p[4] : 4;
        const uint8_t* pes = k.p + off;
        const uint8_t* orig = &file[(i % n) * 188 + off];
        int64_t shift = int64_t(i / n) * loop.period_ticks() / 300;
        int64_t mask = (int64_t{1} << 33) - 1;
        EXPECT_EQ(read_ts(pes + 9), (read_ts(orig + 9) + shift) & mask);
        if (pid == synth::kVideoPid) {
          EXPECT_EQ(read_ts(pes + 14), (read_ts(orig + 14) + shift) & mask);
        }
        EXPECT_EQ(pes[9] >> 4, orig[9] >> 4);  // the PTS/DTS prefix bits stay
      }
    }
    EXPECT_EQ(marks[synth::kVideoPid], 2);  // one per seam
    EXPECT_EQ(marks.size(), 1u);
  }
}

// A forced rate changes only when packets go out: every later loop carries the same counters, PCRs
// and stamps as at the stream's own pace, so nothing runs backwards at a seam.
TEST(TsLoop, ForcedRateKeepsTheStreamsClockAcrossSeams) {
  synth::Options o;
  o.packets = 203;
  o.bitrate = 312'000;
  auto file = synth::make(o);
  TsLoop own(file), fast(file, 4 * o.bitrate);
  const uint64_t n = own.packet_count();
  EXPECT_NEAR(double(fast.period_ticks()), double(own.period_ticks()) / 4, 300.0);
  EXPECT_EQ(fast.stamp_period_ticks(), own.period_ticks());
  EXPECT_EQ(stream_of(fast, 0, 3 * n), stream_of(own, 0, 3 * n));
  int64_t last_pcr = -1;
  for (uint64_t i = 0; i < 3 * n; ++i) {
    uint8_t p[188];
    fast.packet(i, p);
    Pkt k{p};
    if (!k.pcr_flag()) continue;
    EXPECT_GT(k.pcr(), last_pcr) << "packet " << i;
    last_pcr = k.pcr();
  }

  // Without PCRs the served loop is the only length there is.
  auto no_pcr = file;
  for (std::size_t i = 0; i < no_pcr.size(); i += 188)
    if (no_pcr[i + 3] & 0x20) no_pcr[i + 5] &= ~0x10;
  TsLoop blind(no_pcr, 250'000);
  EXPECT_EQ(blind.stamp_period_ticks(), blind.period_ticks());
}

TEST(TsLoop, DamageAndTimeBaseJumpsInTheFile) {
  synth::Options o;
  o.bitrate = 500'000;
  auto file = synth::make(o);
  // A packet with a broken sync byte passes through every loop unchanged.
  file[40 * 188] = 0x46;
  // From packet 300 on, the clock restarts far away: the rate must still come out right.
  for (std::size_t i = 300; i < o.packets; ++i) {
    uint8_t* p = &file[i * 188];
    if ((p[3] & 0x20) && p[4] >= 7 && (p[5] & 0x10)) {
      Pkt k{p};
      synth::put_pcr(p + 6, (k.pcr() + 5 * 27'000'000) % kWrap);
    }
  }
  TsLoop loop(file);
  EXPECT_NEAR(loop.bitrate(), o.bitrate, o.bitrate * 0.01);
  uint8_t out[188];
  loop.packet(o.packets + 40, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 188), std::vector<uint8_t>(&file[40 * 188], &file[41 * 188]));
}

TEST(TsLoop, RefusesWhatItCannotServe) {
  auto good = synth::make();
  auto no_pcr = good;
  for (std::size_t i = 0; i < no_pcr.size(); i += 188)
    if (no_pcr[i + 3] & 0x20) no_pcr[i + 5] &= ~0x10;
  auto one_pcr = synth::make({.packets = 20, .bitrate = 400'000, .first_pcr = 0, .pcr_every = 100});
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* says;
  };
  std::vector<Case> cases = {
      {"empty", {}, "empty"},
      {"torn", std::vector<uint8_t>(good.begin(), good.begin() + 188 * 3 + 100), "not a whole number"},
      {"no sync", std::vector<uint8_t>(188, 0), "sync"},
      {"no pcr", no_pcr, "no PCR"},
      {"one pcr", one_pcr, "no usable rate"},
  };
  for (auto& c : cases) {
    try {
      TsLoop loop(c.bytes);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.name << ": " << e.what();
    }
  }
  // A stream without usable PCRs can still be served at a given rate.
  TsLoop forced(no_pcr, 250'000);
  EXPECT_NEAR(forced.bitrate(), 250'000, 250'000 * 1e-4);
  EXPECT_THROW(TsLoop::load("/nonexistent/stream.ts"), std::runtime_error);
}

// The committed test broadcasts, where this tree has them: each loads, runs at its PCRs' rate, and
// its seam continues every PID's counter and the PCR.
TEST(TsLoop, FixtureBroadcastsLoopCleanly) {
  const char* root = std::getenv("TEVALO_FIXTURES");
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (root)
    for (const auto& e : std::filesystem::directory_iterator(root, ec))
      // A broadcast damaged on purpose (damage.json beside it) has no clean seam to check.
      if (std::filesystem::exists(e.path() / "stream.ts") &&
          !std::filesystem::exists(e.path() / "damage.json"))
        files.push_back(e.path() / "stream.ts");
  if (files.empty()) GTEST_SKIP() << "no fixture streams in this tree";
  for (const auto& f : files) {
    SCOPED_TRACE(f.string());
    TsLoop loop = TsLoop::load(f);
    const uint64_t n = loop.packet_count();
    std::printf("%s: %.0f bit/s, %.2f s a loop\n", f.parent_path().filename().c_str(), loop.bitrate(),
                double(loop.period_ticks()) / 27e6);
    auto all = stream_of(loop, 0, 2 * n);
    std::map<int, int> last_cc;
    std::map<int, bool> checked;
    int64_t last_pcr = -1;
    double last_pcr_t = 0;
    bool pcr_checked = false;
    for (uint64_t i = 0; i < 2 * n; ++i) {
      Pkt k{&all[i * 188]};
      if (k.p[0] != 0x47 || k.pid() == 0x1FFF) continue;
      if (i >= n && !checked[k.pid()] && last_cc.count(k.pid())) {
        int want = k.payload() ? (last_cc[k.pid()] + 1) & 15 : last_cc[k.pid()];
        EXPECT_EQ(k.cc(), want) << "pid " << k.pid() << " at the seam";
        checked[k.pid()] = true;
      }
      if (k.payload() || !last_cc.count(k.pid())) last_cc[k.pid()] = k.cc();
      if (k.pid() == loop.pcr_pid() && k.pcr_flag()) {
        if (i >= n && !pcr_checked) {
          EXPECT_NEAR(double((k.pcr() - last_pcr + kWrap) % kWrap), loop.start_ticks(i) - last_pcr_t, 2.0);
          EXPECT_TRUE(k.discontinuity());
          pcr_checked = true;
        }
        last_pcr = k.pcr();
        last_pcr_t = loop.start_ticks(i);
      }
    }
    EXPECT_TRUE(pcr_checked);
  }
}
