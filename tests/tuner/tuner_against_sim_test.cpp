// The wrapper and the device library driving tuner-sim: scans, tuning, the stream, levels and faults.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tuner/device/testing/wait_for.h"

#include <gtest/gtest.h>

#include "sim_client.h"
#include "tuner/device/device_watcher.h"
#include "tuner/wrapper/station_table.h"
#include "tuner/wrapper/tdmb_dll.h"

using Clock = std::chrono::steady_clock;
using testing_support::MsSince;
using testing_support::WaitFor;
namespace fs = std::filesystem;

namespace {

constexpr int kPackets = 396;  // 66 whole blocks

// Packets on PID 0x100, each carrying its number and a pattern of its own, tag telling files apart.
std::vector<std::uint8_t> MakeStream(std::uint8_t tag) {
  std::vector<std::uint8_t> ts(kPackets * 188);
  for (int n = 0; n < kPackets; ++n) {
    std::uint8_t* p = ts.data() + n * 188;
    p[0] = 0x47;
    p[1] = 0x01;
    p[2] = 0x00;
    p[3] = static_cast<std::uint8_t>(0x10 | (n & 0x0F));
    p[4] = tag;
    p[5] = static_cast<std::uint8_t>(n >> 8);
    p[6] = static_cast<std::uint8_t>(n);
    for (int i = 7; i < 188; ++i) p[i] = static_cast<std::uint8_t>(n * 31 + i + tag);
  }
  return ts;
}

std::u16string Name(const char16_t* s) { return s; }

class Events {
 public:
  void Add(CTunerDeviceWatcher::Change c) {
    std::lock_guard lock(m_lock);
    m_events.push_back(c);
    m_cv.notify_all();
  }
  bool WaitCount(std::size_t n, int timeoutMs = 5000) {
    std::unique_lock lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= n; });
  }
  CTunerDeviceWatcher::Change At(std::size_t i) {
    std::lock_guard lock(m_lock);
    return m_events.at(i);
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_cv;
  std::vector<CTunerDeviceWatcher::Change> m_events;
};

class TunerSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    // Short folder names: the simulator's control socket path must stay within 107 bytes.
    static int serial = 0;
    dir = fs::path(run && *run ? run : "/tmp") / ("s" + std::to_string(++serial));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ::setenv("TEVALO_DEVICE_ROOT", (dir / "devices").c_str(), 1);
    stream27 = MakeStream(27);
    stream22 = MakeStream(22);
    Write(dir / "ch27.ts", stream27);
    Write(dir / "ch22.ts", stream22);
  }
  void TearDown() override {
    tuner.reset();
    sim.reset();
    fs::remove_all(dir);
  }

  static void Write(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Area 7 set up on the simulator: UHF 27 and 22 broadcast (level codes 0 and 2), 25 takes three
  // "still searching" answers before it is found, 24 is found but sends nothing; the rest is empty.
  void StartSim(std::vector<std::string> more = {}) {
    tunersim::SimProcess::Options o;
    o.root = dir / "devices";
    o.args = {"--channel", "27=" + (dir / "ch27.ts").string() + ",level=0,rate=1000000",
              "--channel", "22=" + (dir / "ch22.ts").string() + ",level=2,rate=1000000",
              "--channel", "25=found,search=3",
              "--channel", "24=found"};
    o.args.insert(o.args.end(), more.begin(), more.end());
    sim = std::make_unique<tunersim::SimProcess>(o);
  }

  void OpenTuner() {
    tuner = std::make_unique<CTDMBDll>();
    tuner->SetNotifier([this](void*, const std::string& text, const std::string& caption) {
      notices.push_back(caption + "|" + text);
    });
    ASSERT_EQ(tuner->Open(nullptr), 1);
  }

  // Level reads since the command numbered afterSeq.
  std::size_t LevelReads(std::uint64_t afterSeq) {
    std::size_t n = 0;
    for (const auto& r : sim->log(afterSeq)) n += r.code == 10;
    return n;
  }

  std::vector<int> Codes(std::uint64_t afterSeq = 0) {
    std::vector<int> codes;
    for (const auto& r : sim->log(afterSeq)) codes.push_back(r.code);
    return codes;
  }

  // Reads blocks until `packets` packets have come; the stream must arrive in whole blocks.
  std::vector<std::uint8_t> Receive(int packets, int timeoutMs = 60000) {
    std::vector<std::uint8_t> got;
    unsigned char block[1128];
    int count = 0;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < std::size_t(packets) * 188 && Clock::now() < end) {
      if (tuner->GetTSStream(block, &count) == 1)
        got.insert(got.end(), block, block + 1128);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return got;
  }

  fs::path dir;
  std::vector<std::uint8_t> stream27, stream22;
  std::unique_ptr<tunersim::SimProcess> sim;
  std::unique_ptr<CTDMBDll> tuner;
  std::vector<std::string> notices;
};

}  // namespace

TEST_F(TunerSimTest, OpenInitResetAndClose) {
  StartSim();
  sim->clear_log();
  OpenTuner();
  EXPECT_EQ(tuner->IsUSB(), 1);
  auto log = sim->log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].code, 0);
  EXPECT_EQ(log[0].outcome, "reply 28");
  EXPECT_EQ(log[1].code, 2);
  EXPECT_EQ(log[1].outcome, "reply 16");
  EXPECT_EQ(log[2].code, 3);
  EXPECT_EQ(log[2].outcome, "reply 27");
  EXPECT_TRUE(notices.empty());
  sim->clear_log();
  EXPECT_EQ(tuner->Close(), 1);
  auto closing = sim->log();
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_EQ(closing[0].code, 1);
  EXPECT_EQ(closing[0].outcome, "reply 25");
}

TEST_F(TunerSimTest, AreaScanOfTokyo) {
  StartSim();
  OpenTuner();
  for (int c = 0; c < kChannelCount; ++c) tuner->m_ChannelInform[c] = {5, 55};
  sim->clear_log();
  ASSERT_EQ(tuner->ScanAreaChannel(7), 1);

  // UHF 27, 26, 25, 22, 21, 24, 23, 20 in this order; found: 27, 25 (after searching), 22, 24.
  const int order[] = {14, 13, 12, 9, 8, 11, 10, 7};
  const int found[] = {1, 0, 1, 1, 0, 1, 0, 0};
  for (int j = 0; j < 8; ++j) {
    const int c = order[j];
    EXPECT_EQ(tuner->m_FICInformation[c].m_nScanOrder, j);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_nChannelIndex, c);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_bFound, found[j]) << "UHF " << c + 13;
    EXPECT_EQ(tuner->m_FICInformation[c].m_bFound, found[j]);
    EXPECT_EQ(Name(tuner->m_FICInformation[c].m_szStationName), StationTable::kStationName[41 + j]);
  }
  for (int c = 0; c < kChannelCount; ++c) {
    if (std::find(std::begin(order), std::end(order), c) != std::end(order)) continue;
    EXPECT_EQ(tuner->m_ChannelInform[c].m_bFound, 5) << c;
    EXPECT_EQ(tuner->m_ChannelInform[c].m_nChannelIndex, 55) << c;
  }
  // The searches went out in table order, and UHF 25 was polled through its "still searching".
  std::vector<int> searched;
  int statusReads25 = 0;
  for (const auto& r : sim->log()) {
    if (r.code == 4) searched.push_back(r.arg);
    if (r.code == 6 && r.arg == 25) ++statusReads25;
  }
  ASSERT_EQ(searched.size(), 16u);
  for (int j = 0; j < 8; ++j) EXPECT_EQ(searched[8 + j], order[j] + 13);
  EXPECT_EQ(statusReads25, 4);
}

TEST_F(TunerSimTest, AllListSingleAndTableScans) {
  StartSim();
  OpenTuner();
  ASSERT_EQ(tuner->ScanAllChannel(7), 1);
  EXPECT_EQ(Name(tuner->m_FICInformation[0].m_szStationName), u"CH13");
  EXPECT_EQ(Name(tuner->m_FICInformation[14].m_szStationName), u"ＮＨＫ総合");
  int foundCount = 0;
  for (int c = 0; c < kChannelCount; ++c) {
    EXPECT_EQ(tuner->m_FICInformation[c].m_nScanOrder, c);
    foundCount += tuner->m_ChannelInform[c].m_bFound;
  }
  EXPECT_EQ(foundCount, 4);

  // A list scan polls through "still searching".
  const int list[] = {12, 14, 0};
  const char16_t* names[] = {u"第三", u"第一", u"無"};
  ASSERT_EQ(tuner->ScanArbitraryChannel(list, names, 3, nullptr), 1);
  EXPECT_EQ(tuner->m_ChannelInform[12].m_bFound, 1);
  EXPECT_EQ(tuner->m_ChannelInform[14].m_bFound, 1);
  EXPECT_EQ(tuner->m_ChannelInform[0].m_bFound, 0);
  EXPECT_EQ(Name(tuner->m_FICInformation[12].m_szStationName), u"第三");
  EXPECT_EQ(tuner->m_FICInformation[0].m_nScanOrder, 2);

  // A single-channel scan reads the status once: "still searching" counts as not found.
  EXPECT_EQ(tuner->ScanSingleChannel(12), 1);
  EXPECT_EQ(tuner->m_ChannelInform[12].m_bFound, 0);
  EXPECT_EQ(tuner->ScanSingleChannel(14), 1);
  EXPECT_EQ(tuner->m_ChannelInform[14].m_bFound, 1);

  // The table scan marks the area's stations without asking the stick.
  CTDMBDll fresh;
  auto before = sim->log().size();
  ASSERT_EQ(fresh.ScanTable(46), 1);
  EXPECT_EQ(sim->log().size(), before);
  EXPECT_EQ(fresh.m_ChannelInform[16 - 13].m_bFound, 1);
  EXPECT_EQ(Name(fresh.m_FICInformation[16 - 13].m_szStationName), u"ＱＡＢ");
}

TEST_F(TunerSimTest, StreamIsTheSimulatorsPacketsInBlocks) {
  StartSim();
  OpenTuner();
  ASSERT_EQ(tuner->SetChannel(14, 14, 1, 0.f), 1);  // UHF 27
  auto got = Receive(kPackets);
  ASSERT_GE(got.size(), stream27.size());
  EXPECT_TRUE(std::equal(stream27.begin(), stream27.end(), got.begin()));

  unsigned char block[1128];
  int count = -1;
  ASSERT_TRUE(WaitFor([&] {
    tuner->GetTSStream(nullptr, &count);
    return count >= 3;
  }));
  EXPECT_EQ(tuner->GetTSStream(block, &count), 1);
  EXPECT_GE(count, 3);
  EXPECT_EQ(block[0], 0x47);
  EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, 0u);  // level code 0
  EXPECT_EQ(tuner->DroppedBlocks(), 0u);
}

TEST_F(TunerSimTest, ChangingChannelsRestartsCleanly) {
  StartSim();
  OpenTuner();
  for (int round = 0; round < 4; ++round) {
    const bool on27 = round % 2 == 0;
    ASSERT_EQ(tuner->SetChannel(on27 ? 14 : 9, 0, 0, 0.f), 1);
    // The tune clears the old channel's level; the block thread's first pass may already have read
    // the new one.
    const unsigned level = tuner->m_ChannelState.m_nSignalLevel;
    EXPECT_TRUE(level == 100u || level == (on27 ? 0u : 45u)) << "round " << round << " level " << level;
    // Every start begins at the start of the new channel's file: nothing of the old one is left.
    auto got = Receive(60);
    const auto& want = on27 ? stream27 : stream22;
    ASSERT_GE(got.size(), 60u * 188);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 60 * 188, got.begin())) << "round " << round;
    EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == (on27 ? 0u : 45u); }));
  }
  EXPECT_EQ(tuner->Close(), 1);
  EXPECT_FALSE(sim->status().streaming);
}

TEST_F(TunerSimTest, LevelTable) {
  StartSim();
  OpenTuner();
  ASSERT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  struct Step {
    std::uint32_t code;
    std::uint32_t level;
  } steps[] = {{1, 20}, {2, 45}, {3, 55}, {4, 100}, {0, 0}, {5, 0}, {2, 45}, {0x12345678, 45}};
  for (auto s : steps) {
    sim->set_level(27, s.code);
    if (s.code >= 5) {
      // Two more level reads: the stream thread has taken an answer with the new code.
      const std::uint64_t seq = sim->status().commands;
      ASSERT_TRUE(WaitFor([&] { return LevelReads(seq) >= 2; }));
      EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, s.level) << s.code;
    } else {
      EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == s.level; })) << s.code;
    }
  }
}

TEST_F(TunerSimTest, NoStick) {
  StartSim({"--absent"});
  tuner = std::make_unique<CTDMBDll>();
  tuner->SetNotifier([this](void*, const std::string& text, const std::string& caption) {
    notices.push_back(caption + "|" + text);
  });
  EXPECT_EQ(tuner->IsUSB(), 0);
  EXPECT_EQ(tuner->Open(nullptr), 0);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], "エラー|USBチューナーを挿入してください");
  EXPECT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 0);

  CISDBTDll dev;
  EXPECT_EQ(dev.Ostrel_IsUSB(), 1);
  EXPECT_EQ(dev.Ostrel_Open(), 2);
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  unsigned char status = 3;
  EXPECT_EQ(dev.Ostrel_ReadChannelStatus(14, &status), 2);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dev.Ostrel_StartTS(), 2);
  EXPECT_EQ(sim->status().commands, 0u);

  // Plugged in later: found without anything else.
  sim->insert();
  EXPECT_EQ(tuner->IsUSB(), 1);
  EXPECT_EQ(tuner->Open(nullptr), 1);
  EXPECT_EQ(notices.size(), 1u);
}

TEST_F(TunerSimTest, MissingAndWrongReplies) {
  StartSim();
  OpenTuner();
  sim->arm_fault("wrongcode cmd=5 count=1");
  EXPECT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 0);

  // One lost reply costs a second select, which tunes; lost twice, the tune fails.
  sim->arm_fault("noreply cmd=5 count=1");
  EXPECT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  sim->arm_fault("noreply cmd=5 count=2");
  auto start = Clock::now();
  EXPECT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 0);
  EXPECT_GE(MsSince(start), 2 * 950);  // both tries were given their time

  // A late reply (1300 ms) fails its own exchange and is not taken for the next one.
  sim->arm_fault("delay cmd=2 ms=1300 count=1");
  CISDBTDll dev;
  ASSERT_EQ(dev.Ostrel_Open(), 0);
  EXPECT_EQ(dev.Ostrel_Init(), 2);
  ASSERT_TRUE(WaitFor([&] { return sim->status().pending == 0; }));  // the late reply is out
  EXPECT_EQ(dev.Ostrel_Reset(), 0);
  EXPECT_EQ(dev.Ostrel_Close(), 0);

  // After the faults, tuning works again.
  EXPECT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  EXPECT_GE(Receive(30).size(), 30u * 188);
}

TEST_F(TunerSimTest, StalledStreamTransferDropsOnlyThatBatch) {
  StartSim();
  OpenTuner();
  sim->arm_fault("stall skip=5 count=1");
  ASSERT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  auto got = Receive(120, 10000);
  ASSERT_GE(got.size(), 120u * 188);
  // Packets come from the file in order; the stalled batch (six packets) is missing as a whole.
  std::vector<int> numbers;
  for (std::size_t at = 0; at + 188 <= got.size(); at += 188) {
    ASSERT_EQ(got[at], 0x47);
    ASSERT_EQ(got[at + 4], 27);
    numbers.push_back((got[at + 5] << 8) | got[at + 6]);
  }
  int gaps = 0;
  for (std::size_t i = 1; i < numbers.size() && numbers[i] > numbers[i - 1]; ++i) {
    if (numbers[i] != numbers[i - 1] + 1) {
      ++gaps;
      EXPECT_EQ((numbers[i] - numbers[i - 1] - 1) % 6, 0);
    }
  }
  EXPECT_EQ(gaps, 1);
}

TEST_F(TunerSimTest, StickPulledMidStreamAndPluggedBack) {
  StartSim();
  Events events;
  CTunerDeviceWatcher watcher([&](CTunerDeviceWatcher::Change c, const std::string&) { events.Add(c); });
  ASSERT_TRUE(watcher.Start());
  OpenTuner();
  ASSERT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  ASSERT_GE(Receive(30).size(), 30u * 188);

  sim->remove();
  ASSERT_TRUE(events.WaitCount(1));
  EXPECT_EQ(events.At(0), CTunerDeviceWatcher::Change::Removed);
  EXPECT_EQ(tuner->IsUSB(), 0);
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 100u; }));
  auto start = Clock::now();
  EXPECT_EQ(tuner->Close(), 1);
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);  // no transfer waited out

  sim->insert();
  ASSERT_TRUE(events.WaitCount(2));
  EXPECT_EQ(events.At(1), CTunerDeviceWatcher::Change::Arrived);
  EXPECT_EQ(tuner->IsUSB(), 1);
  ASSERT_EQ(tuner->Open(nullptr), 1);
  ASSERT_EQ(tuner->SetChannel(14, 0, 0, 0.f), 1);
  auto got = Receive(30);
  ASSERT_GE(got.size(), 30u * 188);
  EXPECT_TRUE(std::equal(stream27.begin(), stream27.begin() + 30 * 188, got.begin()));
  watcher.Stop();
}

TEST_F(TunerSimTest, SearchThatNeverEnds) {
  StartSim({"--channel", "30=found,search=1000000"});
  OpenTuner();
  const int list[] = {17};
  auto start = Clock::now();
  ASSERT_EQ(tuner->ScanArbitraryChannel(list, nullptr, 1, nullptr), 1);
  EXPECT_GE(MsSince(start), CTDMBDll::kSearchPollLimitMs);  // bounded by time, never early
  EXPECT_EQ(tuner->m_ChannelInform[17].m_bFound, 0);

  // The stop flag ends the poll at its next turn and the rest of the scan.
  const std::uint64_t scanStart = sim->status().commands;
  auto pollsOf30 = [&] {
    std::size_t n = 0;
    for (const auto& r : sim->log(scanStart)) n += r.code == 6 && r.arg == 30;
    return n;
  };
  std::size_t pollsAtStop = 0;
  std::thread stopper([&] {
    EXPECT_TRUE(WaitFor([&] { return pollsOf30() >= 2; }));
    pollsAtStop = pollsOf30();
    tuner->m_bScanStop = 1;
  });
  ASSERT_EQ(tuner->ScanAllChannel(9), 1);  // UHF 30 is channel 17
  stopper.join();
  EXPECT_LE(pollsOf30(), pollsAtStop + 2);
  std::vector<int> searched;  // the last search is the one stopped
  for (const auto& r : sim->log(scanStart))
    if (r.code == 4) searched.push_back(r.arg);
  ASSERT_FALSE(searched.empty());
  EXPECT_EQ(searched.back(), 30);
}
