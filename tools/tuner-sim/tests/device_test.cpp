#include "device.h"
#include "config.h"
#include "faults.h"
#include "synth_ts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

using namespace tunersim;

namespace {

std::array<uint8_t, 6> command(uint8_t code, uint8_t arg = 0) { return {code, arg, 0, 0, 0, 0}; }

Config config_of(std::vector<std::string> args) {
  args.insert(args.begin(), {"--root", "/nonexistent"});
  return *parse_args(args);
}

}  // namespace

TEST(Device, AnswersEveryCommandWithItsCode) {
  Config cfg = config_of({"--channel", "27=found"});
  Device d(cfg, {});
  struct Case {
    uint8_t code, arg, reply;
  };
  const Case cases[] = {
      {0, 0, 28},
      {2, 0, 16},
      {3, 0, 27},
      {4, 27, 19},
      {5, 27, 21},
      {6, 27, 20},
      {7, 0, 22},
      {8, 0, 0},
      {10, 0, 26},
      {9, 0, 23},
      {1, 0, 25},
      // channels outside 13..62 are refused
      {4, 12, 0},
      {5, 63, 0},
      {6, 0, 0},
      {4, 13, 19},
      {5, 62, 21},
  };
  for (const auto& c : cases) {
    auto r = d.handle(command(c.code, c.arg), 0);
    ASSERT_EQ(r.size(), 6u) << int(c.code);
    EXPECT_EQ(r[0], c.reply) << "command " << int(c.code) << " arg " << int(c.arg);
  }
  // No reply for data with nothing due, nor for unknown codes.
  for (uint8_t code : {13, 11, 12, 14, 200}) EXPECT_TRUE(d.handle(command(code), 0).empty()) << int(code);
  EXPECT_EQ(expected_reply(13), -1);
  EXPECT_EQ(expected_reply(6), 20);
}

TEST(Device, SearchReportsStillSearchingForTheConfiguredReads) {
  Config cfg = config_of({"--search-delay", "3", "--channel", "27=found", "--channel", "30=notfound",
                          "--channel", "31=found,search=1"});
  Device d(cfg, {});
  auto status = [&](uint8_t uhf) {
    auto r = d.handle(command(6, uhf), 0);
    EXPECT_EQ(r[0], 20);
    return int(r[1]);
  };
  EXPECT_EQ(status(27), 0);  // never searched
  for (uint8_t u : {27, 30, 31, 40}) EXPECT_EQ(d.handle(command(4, u), 0)[0], 19);
  std::vector<int> got27, got30, got31, got40;
  for (int i = 0; i < 5; ++i) {
    got27.push_back(status(27));
    got30.push_back(status(30));
    got31.push_back(status(31));
    got40.push_back(status(40));
  }
  EXPECT_EQ(got27, (std::vector<int>{2, 2, 2, 1, 1}));
  EXPECT_EQ(got30, (std::vector<int>{2, 2, 2, 0, 0}));
  EXPECT_EQ(got31, (std::vector<int>{2, 1, 1, 1, 1}));
  EXPECT_EQ(got40, (std::vector<int>{2, 2, 2, 0, 0}));  // not configured: nothing there
  // A new search starts the wait again; a reset forgets the searches.
  d.handle(command(4, 27), 0);
  EXPECT_EQ(status(27), 2);
  d.handle(command(3), 0);
  EXPECT_EQ(status(27), 0);
}

TEST(Device, LevelCodeIsBigEndianAndNoSignalWithoutABroadcast) {
  Config cfg = config_of({"--channel", "27=found,level=16909060", "--channel", "30=notfound,level=0"});
  Device d(cfg, {});
  auto level = [&] {
    auto r = d.handle(command(10), 0);
    EXPECT_EQ(r[0], 26);
    EXPECT_EQ(r[5], 0);
    return std::vector<int>{r[1], r[2], r[3], r[4]};
  };
  EXPECT_EQ(level(), (std::vector<int>{0, 0, 0, 4}));  // nothing tuned
  d.handle(command(5, 27), 0);
  EXPECT_EQ(level(), (std::vector<int>{1, 2, 3, 4}));
  d.set_level(27, 5);
  EXPECT_EQ(level(), (std::vector<int>{0, 0, 0, 5}));
  d.handle(command(5, 30), 0);
  EXPECT_EQ(level(), (std::vector<int>{0, 0, 0, 4}));
  EXPECT_THROW(d.set_level(70, 1), std::invalid_argument);
}

// Data is ready only once a whole transfer's last packet is due at the stream's rate, and then comes
// as six 192-byte units: a packet and four zero bytes each.
TEST(Device, DataIsReadyOnlyWhenDueAndComesInUnits) {
  synth::Options o;
  o.bitrate = 188 * 8 * 1000;  // 1000 packets a second: a unit every 6 ms
  auto file = synth::make(o);
  Config cfg = config_of({"--channel", "27=found"});
  auto stream = std::make_shared<const TsLoop>(TsLoop(file));
  Device d(cfg, {{27, stream}});
  auto ready = [&](int64_t t) { return d.handle(command(8), t)[0]; };

  d.handle(command(5, 27), 0);
  EXPECT_EQ(ready(1'000'000), 0);  // not started
  const int64_t t0 = 10'000'000;
  d.handle(command(7), t0);
  EXPECT_EQ(ready(t0), 0);
  EXPECT_TRUE(d.handle(command(13), t0 + 5'900).empty());
  EXPECT_EQ(ready(t0 + 5'900), 0);
  EXPECT_EQ(ready(t0 + 6'000), 24);
  auto data = d.handle(command(13), t0 + 6'000);
  ASSERT_EQ(data.size(), 1152u);
  for (int u = 0; u < 6; ++u) {
    EXPECT_TRUE(std::equal(file.begin() + u * 188, file.begin() + (u + 1) * 188, data.begin() + u * 192))
        << u;
    EXPECT_EQ(std::vector<uint8_t>(data.begin() + u * 192 + 188, data.begin() + (u + 1) * 192),
              std::vector<uint8_t>(4, 0));
  }
  EXPECT_EQ(ready(t0 + 11'900), 0);
  EXPECT_EQ(ready(t0 + 12'000), 24);
  // A late reader catches up; the stream loses nothing.
  for (int i = 0; i < 10; ++i) ASSERT_EQ(d.handle(command(13), t0 + 100'000).size(), 1152u);
  EXPECT_EQ(d.units_sent(), 11u);
  // Stopped, nothing is ready; started again, the file begins anew.
  d.handle(command(9), t0 + 200'000);
  EXPECT_EQ(ready(t0 + 300'000), 0);
  d.handle(command(7), t0 + 300'000);
  data = d.handle(command(13), t0 + 306'000);
  ASSERT_EQ(data.size(), 1152u);
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 188, data.begin()));
  // A tuned channel without a stream never has data.
  d.handle(command(5, 28), t0 + 400'000);
  EXPECT_EQ(ready(t0 + 900'000), 0);
}

TEST(Device, ATuneBeginsAtTheChosenOrARandomPacketOfTheLoop) {
  synth::Options o;
  o.bitrate = 188 * 8 * 1000;  // 1000 packets a second
  auto file = synth::make(o);
  auto stream = std::make_shared<const TsLoop>(TsLoop(file));
  const auto packet = [&](std::size_t i) {
    return std::vector<uint8_t>(file.begin() + long(i * 188), file.begin() + long((i + 1) * 188));
  };
  const auto first_packet = [](const std::vector<uint8_t>& data) {
    return std::vector<uint8_t>(data.begin(), data.begin() + 188);
  };
  struct Case {
    const char* start;
    std::size_t packet;
  };
  // A position beyond the loop wraps into it.
  for (const Case& c : {Case{"0", 0}, Case{"100", 100}, Case{"700", 100}}) {
    Device d(config_of({"--channel", "27=found", "--tune-start", c.start}), {{27, stream}});
    d.handle(command(5, 27), 0);
    d.handle(command(7), 1'000'000);
    // Paced from the tune's own first packet: six packets take 6 ms.
    EXPECT_TRUE(d.handle(command(13), 1'005'900).empty()) << c.start;
    const auto data = d.handle(command(13), 1'006'000);
    ASSERT_EQ(data.size(), 1152u) << c.start;
    EXPECT_EQ(first_packet(data), packet(c.packet)) << c.start;
    // A channel selected while streaming is a new tune from the same point.
    d.handle(command(5, 27), 2'000'000);
    EXPECT_EQ(first_packet(d.handle(command(13), 2'006'000)), packet(c.packet)) << c.start;
  }
  Device d(config_of({"--channel", "27=found", "--tune-start", "random"}), {{27, stream}});
  d.handle(command(5, 27), 0);
  std::set<std::size_t> starts;
  for (int tune = 0; tune < 20; ++tune) {
    const int64_t t = 1'000'000 * (tune + 1);
    d.handle(command(7), t);
    const auto data = first_packet(d.handle(command(13), t + 500'000));
    std::size_t at = 0;
    while (at < o.packets && packet(at) != data) ++at;
    ASSERT_LT(at, o.packets) << "a tune began between packets";
    starts.insert(at);
  }
  EXPECT_GT(starts.size(), 1u);
  d.set_tune_start(parse_tune_start("0"));
  d.handle(command(7), 30'000'000);
  EXPECT_EQ(first_packet(d.handle(command(13), 30'006'000)), packet(0));
}

TEST(Config, ChannelsFaultsAndConfigFile) {
  Config c = config_of({"--channel", "27=a.ts,level=3,search=2,rate=300000", "--channel=30=notfound",
                        "--search-delay", "4", "--fault", "stall", "--fault", "wrongcode,cmd=2,code=0x7F",
                        "--absent", "-v", "--name", "stick1"});
  EXPECT_EQ(c.channels.at(27).file, "a.ts");
  EXPECT_TRUE(c.channels.at(27).found);
  EXPECT_EQ(c.channels.at(27).level, 3u);
  EXPECT_EQ(c.channels.at(27).search_reads, 2);
  EXPECT_DOUBLE_EQ(c.channels.at(27).bitrate, 300000);
  EXPECT_FALSE(c.channels.at(30).found);
  EXPECT_EQ(c.search_reads, 4);
  ASSERT_EQ(c.faults.size(), 2u);
  EXPECT_EQ(describe(c.faults[0]), "stall cmd=13 bytes=512 ms=0");
  EXPECT_EQ(describe(c.faults[1]), "wrongcode cmd=2 code=127");
  EXPECT_TRUE(c.absent && c.verbose);
  EXPECT_EQ(c.control, std::filesystem::path("/nonexistent/stick1.control"));

  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(dir, nullptr);
  std::filesystem::path file = std::filesystem::path(dir) / "sim.conf";
  std::ofstream(file) << "# a comment\nchannel 27=streams/one.ts,level=2\n\nsearch-delay 1\nabsent\n";
  Config f = *parse_args({"--config", file.string()});
  EXPECT_EQ(f.channels.at(27).file, std::filesystem::path(dir) / "streams/one.ts");
  EXPECT_EQ(f.search_reads, 1);
  EXPECT_TRUE(f.absent);
  EXPECT_FALSE(parse_args({"--help"}).has_value());

  const std::vector<std::vector<std::string>> bad = {
      {"--channel", "12=a.ts"},
      {"--channel", "63=a.ts"},
      {"--channel", "27"},
      {"--channel", "27=a.ts,volume=3"},
      {"--channel", "27=a.ts,level=-1"},
      {"--search-delay", "x"},
      {"--tune-start", "somewhere"},
      {"--tune-start", "-1"},
      {"--fault", "explode"},
      {"--fault", "noreply cmd=300"},
      {"--fault", "noreply cmd"},
      {"--bogus"},
      {"stray"},
      {"--root"},
      {"--name", "a/b"},
      {"--absent=1"},
      {"--config", "/nonexistent/file.conf"},
  };
  for (const auto& b : bad)
    EXPECT_THROW(parse_args(b), std::invalid_argument) << b[0] << " " << (b.size() > 1 ? b[1] : "");
  std::ofstream(file) << "channel 27=a.ts\nfault noreply cmd=x\n";
  try {
    parse_args({"--config", file.string()});
    ADD_FAILURE();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("sim.conf:2"), std::string::npos) << e.what();
  }
}

TEST(Faults, MatchByCommandSkipAndCount) {
  FaultSet set;
  set.arm(parse_fault("noreply cmd=8 skip=2 count=2"));
  set.arm(parse_fault("wrongcode count=1"));
  std::vector<std::string> got;
  for (uint8_t c : {8, 8, 8, 5, 8, 8, 8, 5}) {
    auto f = set.take(c);
    got.push_back(f ? describe(*f).substr(0, f->kind == FaultKind::NoReply ? 7 : 9) : "-");
  }
  // The first two 8s pass the noreply fault and meet the wrong-code one (which is used up at once).
  EXPECT_EQ(got, (std::vector<std::string>{"wrongcode", "-", "noreply", "-", "noreply", "-", "-", "-"}));
  EXPECT_TRUE(set.armed().empty());
  set.arm(parse_fault("delay"));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(set.take(uint8_t(i)).has_value());
  set.clear();
  EXPECT_FALSE(set.take(0).has_value());
}
