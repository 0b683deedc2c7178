// Real time: the stick delivers at the stream's own rate, also across loop seams.
#include "raw_stick.h"
#include "sim_client.h"
#include "sim_test_util.h"
#include "ts_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using raw::Result;
namespace fs = std::filesystem;

TEST(TunerSimPace, MatchesTheStreamBitrate) {
  fs::path dir = test_dir();
  synth::Options o;
  o.bitrate = 312'000;  // about a one-segment broadcast
  o.packets = 420;      // a loop of about two seconds
  fs::path file = write_stream(dir, "pace.ts", o);
  tunersim::SimProcess::Options so;
  so.root = dir / "dev";
  so.args = {"--channel", "27=" + file.string() + ",level=2"};
  tunersim::SimProcess sim(so);
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  ASSERT_EQ(s.command(5, 27).reply[0], 21);
  ASSERT_EQ(s.command(7).reply[0], 22);

  // Poll like the stream thread: 1 ms pause, data-ready, data when ready, level.
  struct Arrival {
    double t;
    int64_t pcr;
  };
  std::vector<double> times;
  std::vector<Arrival> pcrs;
  const auto t0 = raw::Clock::now();
  auto seconds = [&] { return std::chrono::duration<double>(raw::Clock::now() - t0).count(); };
  std::vector<uint8_t> data;
  while (seconds() < 9.0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto e = s.command(8);
    ASSERT_EQ(e.result, Result::Ok);
    if (e.reply[0] == 24) {
      ASSERT_EQ(s.data(data), Result::Ok);
      double t = seconds();
      times.push_back(t);
      for (int u = 0; u < 6; ++u) {
        const uint8_t* p = &data[u * 192];
        if ((p[3] & 0x20) && p[4] >= 7 && (p[5] & 0x10)) {
          int64_t base = (int64_t(p[6]) << 25) | (p[7] << 17) | (p[8] << 9) | (p[9] << 1) | (p[10] >> 7);
          pcrs.push_back({t, base * 300 + (((p[10] & 1) << 8) | p[11])});
        }
      }
    }
    ASSERT_EQ(s.command(10).reply[0], 26);
  }
  ASSERT_GT(times.size(), 100u);

  const double unit_bits = 6 * 188 * 8;
  auto rate = [&](std::size_t a, std::size_t b) { return double(b - a) * unit_bits / (times[b] - times[a]); };
  const double whole = rate(0, times.size() - 1);
  std::printf("stream %.0f bit/s, delivered %.0f bit/s over %.1f s (%+.2f %%), %zu units\n", o.bitrate, whole,
              times.back() - times.front(), 100 * (whole / o.bitrate - 1), times.size());
  EXPECT_NEAR(whole, o.bitrate, o.bitrate * 0.05);
  // Every two-second stretch keeps the pace too (four seams pass by).
  for (std::size_t a = 0, b = 0; a < times.size(); a = b) {
    while (b < times.size() && times[b] - times[a] < 2.0) ++b;
    if (b >= times.size()) break;
    EXPECT_NEAR(rate(a, b), o.bitrate, o.bitrate * 0.05) << "from " << times[a] << " s";
  }
  // The PCRs run with the clock: arrival minus PCR time stays put across the seams.
  double lo = 1e9, hi = -1e9;
  for (const auto& p : pcrs) {
    double off = p.t - double(p.pcr - pcrs[0].pcr) / 27e6;
    lo = std::min(lo, off);
    hi = std::max(hi, off);
  }
  std::printf("arrival against PCR: spread %.1f ms over %zu PCRs\n", (hi - lo) * 1000, pcrs.size());
  EXPECT_LT(hi - lo, 0.1);
}
