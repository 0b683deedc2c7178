// The simulator as a host meets it: a raw client on the FIFOs, the simulator a separate process.
#include "raw_stick.h"
#include "sim_client.h"
#include "sim_test_util.h"
#include "ts_loop.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using raw::Result;
using tunersim::SimProcess;
namespace fs = std::filesystem;

namespace {

SimProcess start(const fs::path& root, std::vector<std::string> args, std::string name = "stick0") {
  SimProcess::Options o;
  o.root = root;
  o.name = std::move(name);
  o.args = std::move(args);
  return SimProcess(o);
}

std::vector<uint8_t> reply(uint8_t code, std::vector<uint8_t> rest = {}) {
  std::vector<uint8_t> r(6, 0);
  r[0] = code;
  std::copy(rest.begin(), rest.end(), r.begin() + 1);
  return r;
}

std::vector<uint8_t> bytes(const raw::Stick::Exchange& e) {
  return e.result == Result::Ok ? std::vector<uint8_t>(e.reply.begin(), e.reply.end())
                                : std::vector<uint8_t>{};
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls until pred holds; false after a minute, which only a broken run takes.
template <typename Pred>
bool wait_until(Pred pred) {
  const auto end = raw::Clock::now() + std::chrono::minutes(1);
  while (!pred()) {
    if (raw::Clock::now() > end) return false;
    sleep_ms(5);
  }
  return true;
}

// Polls for data as the stream thread does; returns the next 1152 bytes or fails the test.
std::vector<uint8_t> next_unit(raw::Stick& s) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 5000; ++i) {
    auto e = s.command(8);
    EXPECT_EQ(e.result, Result::Ok);
    if (e.result != Result::Ok) break;
    if (e.reply[0] == 24) {
      EXPECT_EQ(s.data(data), Result::Ok);
      return data;
    }
    sleep_ms(1);
  }
  ADD_FAILURE() << "no data became ready";
  return {};
}

}  // namespace

// The whole command table in the order the tuner libraries use it, each reply checked, and the
// stream read through two seams compared with the file and with its looped form.
TEST(TunerSim, SessionThroughEveryCommand) {
  fs::path dir = test_dir();
  synth::Options o;
  o.bitrate = 2'000'000;
  o.packets = 400;
  fs::path file = write_stream(dir, "ch27.ts", o);
  SimProcess sim = start(dir / "dev", {"--channel", "27=" + file.string() + ",level=3", "--channel",
                                       "30=notfound", "--search-delay", "3"});
  ASSERT_EQ(raw::enumerate(sim.root()), std::vector<fs::path>{sim.device_path()});
  EXPECT_EQ(sim.device_path(), sim.root() / "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}" / "stick0");
  EXPECT_EQ(raw::probe(sim.device_path()), 0);

  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  EXPECT_EQ(bytes(s.command(0)), reply(28));
  EXPECT_EQ(bytes(s.command(2)), reply(16));
  EXPECT_EQ(bytes(s.command(3)), reply(27));
  for (uint8_t uhf : {27, 30}) {
    EXPECT_EQ(bytes(s.command(4, uhf)), reply(19));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(bytes(s.command(6, uhf)), reply(20, {2})) << int(uhf);
    EXPECT_EQ(bytes(s.command(6, uhf)), reply(20, {uint8_t(uhf == 27 ? 1 : 0)}));
  }
  EXPECT_EQ(bytes(s.command(5, 27)), reply(21));
  EXPECT_EQ(bytes(s.command(8)), reply(0));  // not started: not ready
  EXPECT_EQ(bytes(s.command(7)), reply(22));

  tunersim::TsLoop loop = tunersim::TsLoop::load(file);
  auto original = synth::make(o);
  std::vector<uint8_t> got;
  const auto t0 = raw::Clock::now();
  while (got.size() < 2 * original.size() + 6 * 188) {
    auto unit = next_unit(s);
    ASSERT_EQ(unit.size(), 1152u);
    for (int u = 0; u < 6; ++u) {
      got.insert(got.end(), unit.begin() + u * 192, unit.begin() + u * 192 + 188);
      EXPECT_EQ(std::vector<uint8_t>(unit.begin() + u * 192 + 188, unit.begin() + (u + 1) * 192),
                std::vector<uint8_t>(4, 0));
    }
    EXPECT_EQ(bytes(s.command(10)), reply(26, {0, 0, 0, 3}));
  }
  // Paced, not poured out: never faster than the stream's rate (by half, for the units ready at once).
  EXPECT_GE(std::chrono::duration<double>(raw::Clock::now() - t0).count(),
            0.5 * double(got.size()) * 8 / o.bitrate);
  ASSERT_TRUE(std::equal(original.begin(), original.end(), got.begin()));
  for (std::size_t i = 0; i < got.size() / 188; ++i) {
    uint8_t want[188];
    loop.packet(i, want);
    ASSERT_TRUE(std::equal(want, want + 188, got.begin() + long(i * 188))) << "packet " << i;
  }

  EXPECT_EQ(bytes(s.command(9)), reply(23));
  EXPECT_EQ(bytes(s.command(8)), reply(0));
  EXPECT_EQ(bytes(s.command(1)), reply(25));
  s.close();

  // The log holds every command with what went back.
  auto log = sim.log();
  ASSERT_GE(log.size(), 20u);
  std::vector<std::pair<int, std::string>> head;
  for (std::size_t i = 0; i < 6; ++i) head.emplace_back(log[i].code, log[i].outcome);
  EXPECT_EQ(head, (std::vector<std::pair<int, std::string>>{{0, "reply 28"},
                                                            {2, "reply 16"},
                                                            {3, "reply 27"},
                                                            {4, "reply 19"},
                                                            {6, "reply 20 status=2"},
                                                            {6, "reply 20 status=2"}}));
  EXPECT_EQ(log[4].arg, 27);
  std::size_t units = 0;
  for (const auto& r : log) {
    if (r.code == 13) {
      ++units;
      EXPECT_EQ(r.outcome, "data 1152");
    }
    if (r.code == 10) {
      EXPECT_EQ(r.outcome, "reply 26 level=3");
    }
    EXPECT_EQ(r.outcome.find('['), std::string::npos) << r.outcome;
  }
  EXPECT_EQ(units, got.size() / 1128);
  EXPECT_EQ(log.back().code, 1);
  EXPECT_EQ(sim.log(log.back().seq - 1).size(), 1u);
  sim.clear_log();
  EXPECT_TRUE(sim.log().empty());
  EXPECT_EQ(sim.stop(), 0);
  // Only the lock file stays: no stick folder, class folder, staging folder or socket.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(sim.root())) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"stick0.lock"});
}

// Faults switched on while the host is connected, each seen the way the host meets them.
TEST(TunerSim, FaultsOnRepliesAsTheHostSeesThem) {
  fs::path dir = test_dir();
  SimProcess sim = start(dir / "dev", {"--channel", "27=found"});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());

  // No reply: the transfer gives up after its 1000 ms; the next exchange works.
  sim.arm_fault("noreply cmd=5 count=1");
  auto e = s.command(5, 27);
  EXPECT_EQ(e.result, Result::Timeout);
  EXPECT_GE(e.ms, 990);
  EXPECT_EQ(bytes(s.command(5, 27)), reply(21));

  // Wrong code: a reply arrives at once, with another code.
  sim.arm_fault("wrongcode cmd=2 count=1");
  sim.arm_fault("wrongcode cmd=0 code=16 count=1");
  EXPECT_EQ(bytes(s.command(2)), reply(255));
  EXPECT_EQ(bytes(s.command(0)), reply(16));
  EXPECT_EQ(bytes(s.command(2)), reply(16));
  EXPECT_EQ(bytes(s.command(0)), reply(28));

  // A late reply misses its transfer and is left in the pipe; draining before the next command
  // throws it away.
  sim.arm_fault("delay cmd=3 ms=1300 count=1");
  e = s.command(3);
  EXPECT_EQ(e.result, Result::Timeout);
  ASSERT_TRUE(wait_until([&] { return sim.status().pending == 0; }));  // the late reply is out
  std::size_t before = s.drained();
  EXPECT_EQ(bytes(s.command(0)), reply(28));
  EXPECT_EQ(s.drained() - before, 6u);

  // A reply cut short: the transfer takes the piece and times out; the next exchange is clean.
  sim.arm_fault("stall cmd=2 bytes=2 count=1");
  EXPECT_EQ(s.command(2).result, Result::Timeout);
  EXPECT_EQ(bytes(s.command(0)), reply(28));

  // Faults for any command, skipping some first, until cleared.
  sim.arm_fault("noreply skip=1");
  EXPECT_EQ(bytes(s.command(2)), reply(16));
  EXPECT_EQ(s.command(2).result, Result::Timeout);
  sim.clear_faults();
  EXPECT_EQ(bytes(s.command(2)), reply(16));
  EXPECT_THROW(sim.arm_fault("explode"), std::runtime_error);

  auto log = sim.log();
  std::vector<std::string> tags;
  for (const auto& r : log)
    if (auto b = r.outcome.find('['); b != std::string::npos) tags.push_back(r.outcome);
  EXPECT_EQ(tags, (std::vector<std::string>{"none [noreply]", "reply 255 [wrongcode]", "reply 16 [wrongcode]",
                                            "reply 27 [delay 1300 ms]", "part 2 [stall after 2 bytes]",
                                            "none [noreply]"}));
}

// A stalled data transfer: the first 512 bytes come, the rest never; the host's next read runs out
// of time, and the stream goes on with the following unit.
TEST(TunerSim, StalledDataTransfer) {
  fs::path dir = test_dir();
  synth::Options o;
  o.bitrate = 1'000'000;
  fs::path file = write_stream(dir, "s.ts", o);
  auto original = synth::make(o);
  SimProcess sim = start(dir / "dev", {"--channel", "27=" + file.string()});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  ASSERT_EQ(bytes(s.command(5, 27)), reply(21));
  ASSERT_EQ(bytes(s.command(7)), reply(22));
  auto first = next_unit(s);
  sim.arm_fault("stall count=1");
  for (;;) {
    auto e = s.command(8);
    ASSERT_EQ(e.result, Result::Ok);
    if (e.reply[0] == 24) break;
    sleep_ms(1);
  }
  std::vector<uint8_t> part(1152);
  ASSERT_EQ(s.send(13), Result::Ok);
  EXPECT_EQ(s.read(part.data(), 512), Result::Ok);
  auto t0 = raw::Clock::now();
  EXPECT_EQ(s.read(part.data() + 512, 512), Result::Timeout);
  EXPECT_GE(raw::Clock::now() - t0, std::chrono::milliseconds(990));
  EXPECT_TRUE(std::equal(original.begin() + 6 * 188, original.begin() + 6 * 188 + 188, part.begin()));
  auto third = next_unit(s);
  bool logged = false;
  for (const auto& r : sim.log()) logged |= r.outcome == "data 512 [stall after 512 bytes]";
  EXPECT_TRUE(logged);
  EXPECT_TRUE(std::equal(original.begin() + 12 * 188, original.begin() + 13 * 188, third.begin()));
}

TEST(TunerSim, FaultsSwitchedOnAtStart) {
  fs::path dir = test_dir();
  SimProcess sim =
      start(dir / "dev", {"--fault", "noreply cmd=0 count=1", "--fault", "wrongcode,cmd=7,code=99,count=1"});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  EXPECT_EQ(s.command(0).result, Result::Timeout);
  EXPECT_EQ(bytes(s.command(0)), reply(28));
  EXPECT_EQ(bytes(s.command(7)), reply(99));
  EXPECT_EQ(bytes(s.command(7)), reply(22));
}

// Unplugging: the folder goes, PIPE00 ends, PIPE01 breaks, a transfer in progress fails at once; the
// old descriptors stay dead after plugging in again, and Close + Open works on a fresh stick.
TEST(TunerSim, RemovalAndReinsertion) {
  fs::path dir = test_dir();
  synth::Options o;
  o.bitrate = 1'000'000;
  fs::path file = write_stream(dir, "r.ts", o);
  SimProcess sim = start(dir / "dev", {"--channel", "27=" + file.string()});
  const fs::path dev = sim.device_path();
  raw::Stick s(dev);
  ASSERT_TRUE(s.open());
  ASSERT_EQ(bytes(s.command(5, 27)), reply(21));
  ASSERT_EQ(bytes(s.command(7)), reply(22));
  next_unit(s);

  // Removal while a reply is awaited.
  sim.arm_fault("remove cmd=6 count=1");
  auto e = s.command(6, 27);
  EXPECT_EQ(e.result, Result::Eof);  // at the removal, not the transfer's time-out
  EXPECT_FALSE(fs::exists(dev));
  EXPECT_TRUE(raw::enumerate(sim.root()).empty());
  EXPECT_EQ(raw::probe(dev), ENOENT);
  EXPECT_EQ(s.send(0, 0, false), Result::Broken);  // EPIPE, and SIGPIPE did not kill us
  EXPECT_FALSE(fs::exists(sim.root() / ".stick0.staging"));
  EXPECT_FALSE(sim.status().present);

  sim.insert();
  EXPECT_TRUE(fs::exists(dev / "PIPE00") && fs::exists(dev / "PIPE01"));
  EXPECT_EQ(raw::probe(dev), 0);
  EXPECT_NE(s.command(0).result, Result::Ok);  // the old pipes are gone for good
  s.close();
  ASSERT_TRUE(s.open());
  EXPECT_EQ(bytes(s.command(0)), reply(28));
  EXPECT_EQ(bytes(s.command(8)), reply(0));  // a fresh stick: nothing streaming
  auto st = sim.status();
  EXPECT_TRUE(st.present);
  EXPECT_FALSE(st.streaming);
  EXPECT_EQ(st.channel, 0);

  // Unplugged from the control side, plugged in again by itself.
  sim.remove(300);
  EXPECT_FALSE(fs::exists(dev));
  EXPECT_EQ(s.command(0).result, Result::Broken);
  auto t0 = raw::Clock::now();
  ASSERT_TRUE(wait_until([&] { return raw::probe(dev) == 0; }));
  auto took = raw::Clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(200));
  s.close();
  ASSERT_TRUE(s.open());
  EXPECT_EQ(bytes(s.command(0)), reply(28));

  // Starting unplugged.
  SimProcess absent = start(dir / "dev2", {"--absent"});
  EXPECT_FALSE(fs::exists(absent.device_path()));
  absent.insert();
  EXPECT_EQ(raw::probe(absent.device_path()), 0);
}

// Several simulators side by side; one stick name per root; a killed simulator's leftovers.
TEST(TunerSim, InstancesSideBySide) {
  fs::path dir = test_dir();
  synth::Options a, b;
  a.bitrate = 1'000'000;
  b.bitrate = 800'000;
  b.first_pcr = 5'000'000'000;
  fs::path fa = write_stream(dir, "a.ts", a), fb = write_stream(dir, "b.ts", b);
  SimProcess one = start(dir / "one", {"--channel", "27=" + fa.string()});
  SimProcess two = start(dir / "two", {"--channel", "40=" + fb.string()});
  SimProcess three = start(dir / "one", {}, "stick1");  // a second stick in the first root
  EXPECT_EQ(raw::enumerate(dir / "one"), (std::vector<fs::path>{one.device_path(), three.device_path()}));
  EXPECT_THROW(start(dir / "one", {}), std::runtime_error);  // stick0 there is served already

  struct Run {
    SimProcess& sim;
    uint8_t uhf;
    std::vector<uint8_t> want;
  };
  for (Run r : {Run{one, 27, synth::make(a)}, Run{two, 40, synth::make(b)}}) {
    raw::Stick s(r.sim.device_path());
    ASSERT_TRUE(s.open());
    ASSERT_EQ(bytes(s.command(5, r.uhf)), reply(21));
    ASSERT_EQ(bytes(s.command(7)), reply(22));
    auto unit = next_unit(s);
    EXPECT_TRUE(std::equal(r.want.begin(), r.want.begin() + 188, unit.begin())) << int(r.uhf);
  }

  // Killed outright, a simulator leaves its folder behind; nobody serves it, so PIPE01 does not open
  // for writing, and the next simulator on that root clears it.
  const fs::path dev = two.device_path();
  kill(two.pid(), SIGKILL);
  EXPECT_EQ(two.stop(), 128 + SIGKILL);
  EXPECT_TRUE(fs::exists(dev));
  EXPECT_EQ(raw::probe(dev), ENXIO);
  SimProcess again = start(dir / "two", {});
  EXPECT_EQ(raw::probe(dev), 0);
}

TEST(TunerSim, TornCommandIsDropped) {
  fs::path dir = test_dir();
  SimProcess sim = start(dir / "dev", {});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  const uint8_t half[] = {2, 0, 0};
  ASSERT_EQ(s.write_all(half, sizeof half), Result::Ok);
  ASSERT_TRUE(wait_until([&] { return sim.status().torn == 1; }));
  EXPECT_EQ(bytes(s.command(0)), reply(28));
  EXPECT_EQ(sim.log().size(), 1u);
}

TEST(TunerSim, BadSetUpIsRefusedWithoutAStick) {
  fs::path dir = test_dir();
  std::filesystem::path torn = dir / "torn.ts";
  std::ofstream(torn) << "not a transport stream";
  for (std::vector<std::string> args :
       {std::vector<std::string>{"--channel", "27=" + (dir / "missing.ts").string()},
        {"--channel", "27=" + torn.string()},
        {"--channel", "99=found"},
        {"--control", (dir / std::string(120, 'x')).string()}}) {
    EXPECT_THROW(start(dir / "dev", args), std::runtime_error) << args[1];
    EXPECT_FALSE(fs::exists(dir / "dev" / "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}" / "stick0"));
  }
}

// A committed test broadcast, where this tree has one, arrives byte for byte (at ten times its rate,
// to keep the test short).
TEST(TunerSim, FixtureBroadcastArrivesAsItIs) {
  const char* fixtures = std::getenv("TEVALO_FIXTURES");
  fs::path file = fixtures ? fs::path(fixtures) / "basic" / "stream.ts" : fs::path();
  if (file.empty() || !fs::exists(file)) GTEST_SKIP() << "no fixture stream in this tree";
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  tunersim::TsLoop loop = tunersim::TsLoop::load(file);

  fs::path dir = test_dir();
  SimProcess sim = start(
      dir / "dev", {"--channel", "27=" + file.string() + ",rate=" + std::to_string(10 * loop.bitrate())});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  ASSERT_EQ(bytes(s.command(5, 27)), reply(21));
  ASSERT_EQ(bytes(s.command(7)), reply(22));
  std::vector<uint8_t> got;
  while (got.size() < want.size()) {
    auto unit = next_unit(s);
    ASSERT_EQ(unit.size(), 1152u);
    for (int u = 0; u < 6; ++u) got.insert(got.end(), unit.begin() + u * 192, unit.begin() + u * 192 + 188);
  }
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
}

// The sample broadcast's configuration loads all three channels and finds them by searching.
TEST(TunerSim, SampleBroadcastConfiguration) {
  const char* src = std::getenv("TEVALO_SOURCE_DIR");
  ASSERT_NE(src, nullptr);
  fs::path conf = fs::path(src) / "tools" / "tuner-sim" / "sample-broadcast.conf";
  if (!fs::exists(fs::path(src) / "tests" / "fixtures" / "sample" / "ch27" / "stream.ts"))
    GTEST_SKIP() << "no sample broadcast in this tree";
  fs::path dir = test_dir();
  SimProcess sim = start(dir / "dev", {"--config", conf.string()});
  raw::Stick s(sim.device_path());
  ASSERT_TRUE(s.open());
  for (uint8_t uhf : {25, 26, 27, 28}) {
    ASSERT_EQ(bytes(s.command(4, uhf)), reply(19));
    EXPECT_EQ(bytes(s.command(6, uhf)), reply(20, {2}));
    EXPECT_EQ(bytes(s.command(6, uhf)), reply(20, {2}));
    EXPECT_EQ(bytes(s.command(6, uhf)), reply(20, {uint8_t(uhf == 28 ? 0 : 1)})) << int(uhf);
  }
  ASSERT_EQ(bytes(s.command(5, 25)), reply(21));
  EXPECT_EQ(bytes(s.command(10)), reply(26, {0, 0, 0, 3}));
  ASSERT_EQ(bytes(s.command(7)), reply(22));
  auto unit = next_unit(s);
  EXPECT_EQ(unit[0], 0x47);
}
