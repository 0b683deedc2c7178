// Real time: the stick never delivers ahead of the stream's own rate and PCRs, also across loop seams.
#include "raw_stick.h"
#include "sim_client.h"
#include "sim_test_util.h"
#include "ts_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using raw::Result;
namespace fs = std::filesystem;

TEST(TunerSimPace, NeverRunsAheadOfTheStreamOrItsPcrs) {
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
  // From before the start: nothing can be due before this.
  const auto t0 = raw::Clock::now();
  ASSERT_EQ(s.command(7).reply[0], 22);

  // Poll like the stream thread: 1 ms pause, data-ready, data when ready, level; about nine seconds
  // of the stream, however long the machine takes to read it.
  struct Arrival {
    double t;
    int64_t pcr;
  };
  auto seconds = [&] { return std::chrono::duration<double>(raw::Clock::now() - t0).count(); };
  const double unit_bits = 6 * 188 * 8;
  const std::size_t units = std::size_t(9.0 * o.bitrate / unit_bits);
  std::vector<double> times;
  std::vector<Arrival> pcrs;
  std::vector<uint8_t> data;
  while (times.size() < units) {
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
  const double whole = double(times.size() - 1) * unit_bits / (times.back() - times.front());
  std::printf("stream %.0f bit/s, delivered %.0f bit/s over %.1f s (%+.2f %%), %zu units\n", o.bitrate, whole,
              times.back() - times.front(), 100 * (whole / o.bitrate - 1), times.size());
  // Never ahead of the stream's rate: unit k is not there before k units' time has passed since the
  // start (two units and 5 % of slack for the simulator's clock); a busy reader only comes later.
  const double unit_s = unit_bits / o.bitrate;
  for (std::size_t k = 2; k < times.size(); ++k)
    ASSERT_GE(times[k], 0.95 * double(k - 2) * unit_s) << "unit " << k;
  // The PCRs run with the clock, across the seams too: none arrives before its time.
  ASSERT_GT(pcrs.size(), 10u);
  for (const auto& p : pcrs)
    EXPECT_GE(p.t, double(p.pcr - pcrs[0].pcr) / 27e6 - unit_s) << "PCR at " << p.t << " s";
}
