#include "tuner/wrapper/tdmb_dll.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tuner/device/device_paths.h"
#include "tuner/device/testing/fake_stick.h"
#include "tuner/device/testing/wait_for.h"
#include "tuner/wrapper/station_table.h"

using testing_support::Command;
using testing_support::FakePacketNumber;
using testing_support::FakeStick;
using Clock = std::chrono::steady_clock;
using testing_support::MsSince;
using testing_support::WaitFor;

namespace {

std::u16string Name(const char16_t* field) { return field; }

class WrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    root = std::string(runtime ? runtime : "/tmp") + "/wraproot-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    ::setenv("TEVALO_DEVICE_ROOT", root.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(root); }

  // A stick with the given UHF channels on air, opened by a fresh wrapper.
  void PlugAndOpen(std::initializer_list<int> onAir = {}) {
    stick = std::make_unique<FakeStick>(quonda::InterfaceClassFolder());
    for (int uhf : onAir) stick->SetChannel(uhf, {true, 0});
    tuner = std::make_unique<CTDMBDll>();
    ASSERT_EQ(tuner->Open(nullptr), 1);
    stick->ClearCommands();
  }

  std::vector<Command> Sent(std::uint8_t code) const {
    std::vector<Command> out;
    for (const auto& c : stick->Commands())
      if (c[0] == code) out.push_back(c);
    return out;
  }

  // Marks every record so that a test can tell which ones a scan touched.
  void MarkAll() {
    for (int c = 0; c < kChannelCount; ++c) {
      tuner->m_ChannelInform[c] = {7, 77};
      tuner->m_FICInformation[c].m_nScanOrder = 99;
      tuner->m_FICInformation[c].m_bValid = 0;
    }
  }

  std::string root;
  std::unique_ptr<FakeStick> stick;
  std::unique_ptr<CTDMBDll> tuner;
};

}  // namespace

TEST_F(WrapperTest, FreshTablesAreZeroed) {
  CTDMBDll t;
  for (int c = 0; c < kChannelCount; ++c) {
    EXPECT_EQ(t.m_ChannelInform[c].m_bFound, 0);
    EXPECT_EQ(t.m_ChannelInform[c].m_nChannelIndex, -1);
    EXPECT_EQ(t.m_FICInformation[c].m_bValid, 0);
    EXPECT_EQ(t.m_FICInformation[c].m_bFound, 0);
    EXPECT_EQ(t.m_FICInformation[c].m_szStationName[0], 0);
  }
  EXPECT_EQ(t.m_ChannelState.m_nSignalLevel, 0u);
  EXPECT_EQ(t.IsOpen(), 1);
  EXPECT_EQ(t.IsPNP(), 1);
}

TEST_F(WrapperTest, OpenWithoutStickTellsTheUserAndFails) {
  CTDMBDll t;
  int shown = 0;
  void* ownerSeen = nullptr;
  std::string text, caption;
  t.SetNotifier([&](void* owner, const std::string& tx, const std::string& cap) {
    // A message box's event loop may call back into the tuner: that must not dead-lock.
    EXPECT_EQ(t.IsUSB(), 0);
    EXPECT_EQ(t.SetChannel(1, 0, 0, 0.f), 0);
    ++shown;
    ownerSeen = owner;
    text = tx;
    caption = cap;
  });
  int window = 0;
  EXPECT_EQ(t.IsUSB(), 0);
  EXPECT_EQ(t.Open(&window), 0);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ownerSeen, &window);
  EXPECT_EQ(text, "USBチューナーを挿入してください");
  EXPECT_EQ(caption, "エラー");

  // Every operation on the absent stick fails or finds nothing, and nothing hangs.
  EXPECT_EQ(t.SetChannel(3, 0, 0, 0.f), 0);
  EXPECT_EQ(t.m_ChannelState.m_nSignalLevel, 100u);
  int count = -1;
  unsigned char block[1128];
  EXPECT_EQ(t.GetTSStream(block, &count), 0);
  EXPECT_EQ(count, 0);
  const int channels[] = {2};
  EXPECT_EQ(t.ScanArbitraryChannel(channels, nullptr, 1, nullptr), 1);
  EXPECT_EQ(t.m_ChannelInform[2].m_bFound, 0);
  EXPECT_EQ(t.Close(), 1);
}

TEST_F(WrapperTest, OpenSendsOpenInitReset) {
  stick = std::make_unique<FakeStick>(quonda::InterfaceClassFolder());
  CTDMBDll t;
  int shown = 0;
  t.SetNotifier([&](void*, const std::string&, const std::string&) { ++shown; });
  EXPECT_EQ(t.IsUSB(), 1);
  ASSERT_EQ(t.Open(nullptr), 1);
  EXPECT_EQ(shown, 0);
  auto log = stick->Commands();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0][0], 0);
  EXPECT_EQ(log[1][0], 2);
  EXPECT_EQ(log[2][0], 3);
  // Their failures are not the caller's concern.
  stick->SetWrongReply(2, true);
  EXPECT_EQ(t.Open(nullptr), 1);
}

TEST_F(WrapperTest, AreaScanFollowsTableOrderAndLeavesOtherChannels) {
  PlugAndOpen({27, 22, 20});
  stick->SetChannel(25, {true, 3});  // answers "still searching" three times first
  MarkAll();
  ASSERT_EQ(tuner->ScanAreaChannel(7), 1);

  const int order[] = {14, 13, 12, 9, 8, 11, 10, 7};
  // First a search on every station's channel, then search + poll per channel in table order.
  auto searches = Sent(4);
  ASSERT_EQ(searches.size(), 16u);
  for (int j = 0; j < 8; ++j) {
    EXPECT_EQ(searches[j][1], order[j] + 13);
    EXPECT_EQ(searches[8 + j][1], order[j] + 13);
  }
  const std::set<int> found = {14, 9, 7, 12};
  for (int j = 0; j < 8; ++j) {
    const int c = order[j];
    const auto& fic = tuner->m_FICInformation[c];
    EXPECT_EQ(fic.m_nScanOrder, j);
    EXPECT_EQ(fic.m_bValid, 1);
    EXPECT_EQ(fic.m_dwServiceWord, 0xF1E00000u);
    EXPECT_EQ(Name(fic.m_szLabel), u"test channel");
    EXPECT_EQ(Name(fic.m_szStationName), StationTable::kStationName[41 + j]);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_nChannelIndex, c);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_bFound, found.count(c) ? 1 : 0) << c;
    EXPECT_EQ(fic.m_bFound, tuner->m_ChannelInform[c].m_bFound);
  }
  int untouched = 0;
  for (int c = 0; c < kChannelCount; ++c) {
    if (std::find(std::begin(order), std::end(order), c) != std::end(order)) continue;
    EXPECT_EQ(tuner->m_ChannelInform[c].m_bFound, 7);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_nChannelIndex, 77);
    EXPECT_EQ(tuner->m_FICInformation[c].m_nScanOrder, 99);
    ++untouched;
  }
  EXPECT_EQ(untouched, 42);
  EXPECT_EQ(tuner->m_nChannelCount, 50);
  EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, 100u);
}

TEST_F(WrapperTest, AllChannelScanNamesFromTheAreaOrFallback) {
  PlugAndOpen({13, 62});
  ASSERT_EQ(tuner->ScanAllChannel(0), 1);
  EXPECT_EQ(Name(tuner->m_FICInformation[0].m_szStationName), u"ＮＨＫ教育");
  EXPECT_EQ(Name(tuner->m_FICInformation[2].m_szStationName), u"ＮＨＫ総合");
  EXPECT_EQ(Name(tuner->m_FICInformation[1].m_szStationName), u"CH14");
  EXPECT_EQ(Name(tuner->m_FICInformation[49].m_szStationName), u"CH62");
  for (int c = 0; c < kChannelCount; ++c) {
    EXPECT_EQ(tuner->m_FICInformation[c].m_nScanOrder, c);
    EXPECT_EQ(tuner->m_ChannelInform[c].m_bFound, (c == 0 || c == 49) ? 1 : 0) << c;
  }
  EXPECT_EQ(Sent(4).size(), 100u);
  EXPECT_EQ(Sent(6).size(), 50u);

  ASSERT_EQ(tuner->ScanAllChannel(7), 1);
  EXPECT_EQ(Name(tuner->m_FICInformation[0].m_szStationName), u"CH13");
  EXPECT_EQ(Name(tuner->m_FICInformation[14].m_szStationName), u"ＮＨＫ総合");
}

TEST_F(WrapperTest, InvalidAreasAndChannelsSendNothing) {
  PlugAndOpen();
  MarkAll();
  for (int area : {-1, 47, 12345}) {
    EXPECT_EQ(tuner->ScanAllChannel(area), 0);
    EXPECT_EQ(tuner->ScanAreaChannel(area), 0);
    EXPECT_EQ(tuner->ScanTable(area), 0);
  }
  for (int c : {-1, 50}) EXPECT_EQ(tuner->ScanSingleChannel(c), 0);
  EXPECT_EQ(tuner->SetChannel(-1, 0, 0, 0.f), 0);
  EXPECT_EQ(tuner->SetChannel(50, 0, 0, 0.f), 0);
  // A record no scan has filled (index -1 here) names no channel to search.
  tuner->m_ChannelInform[5] = ChannelInform{};
  EXPECT_EQ(tuner->ScanSingleChannel(5), 0);
  // Out-of-range entries of a list are skipped; the valid one is searched.
  const int list[] = {-1, 50, 200, 3};
  EXPECT_EQ(tuner->ScanArbitraryChannel(list, nullptr, 4, nullptr), 1);
  auto searches = Sent(4);
  ASSERT_EQ(searches.size(), 1u);
  EXPECT_EQ(searches[0][1], 16);
  EXPECT_TRUE(Sent(5).empty());
  EXPECT_EQ(tuner->m_FICInformation[3].m_nScanOrder, 3);  // its position in the list
}

TEST_F(WrapperTest, ArbitraryScanWithStatusesUsesNoStick) {
  PlugAndOpen();
  MarkAll();
  const int list[] = {4, 5, 6};
  const char16_t* names[] = {u"局A", u"とても長い放送局の名前が十六文字を超える", nullptr};
  const int statuses[] = {1, 0x100, 2};  // the low byte counts: 0x100 is "not found"
  EXPECT_EQ(tuner->ScanArbitraryChannel(list, names, 3, statuses), 1);
  EXPECT_TRUE(stick->Commands().empty());
  EXPECT_EQ(tuner->m_ChannelInform[4].m_bFound, 1);
  EXPECT_EQ(tuner->m_ChannelInform[5].m_bFound, 0);
  EXPECT_EQ(tuner->m_ChannelInform[6].m_bFound, 7);  // still searching: left as it was
  EXPECT_EQ(tuner->m_nScanIndex, 2);
  EXPECT_EQ(Name(tuner->m_FICInformation[4].m_szStationName), u"局A");
  EXPECT_EQ(Name(tuner->m_FICInformation[5].m_szStationName), u"とても長い放送局の名前が十六文");
  EXPECT_EQ(Name(tuner->m_FICInformation[6].m_szStationName), u"CH19");
  EXPECT_EQ(tuner->m_bScanStop, 1);

  // The stop flag it leaves keeps the table scan from doing anything ...
  MarkAll();
  EXPECT_EQ(tuner->ScanTable(7), 1);
  EXPECT_EQ(tuner->m_ChannelInform[14].m_bFound, 7);
  // ... until a scan that clears it has run.
  const int one[] = {30};
  const int done[] = {0};
  tuner->m_bScanStop = 0;
  EXPECT_EQ(tuner->ScanTable(7), 1);
  EXPECT_EQ(tuner->m_ChannelInform[14].m_bFound, 1);
  EXPECT_EQ(tuner->m_ChannelInform[7].m_bFound, 1);
  EXPECT_EQ(tuner->m_FICInformation[7].m_nScanOrder, 7);
  EXPECT_EQ(tuner->m_nScanIndex, 7);
  EXPECT_EQ(tuner->m_ChannelInform[0].m_bFound, 7);
  EXPECT_TRUE(stick->Commands().empty());
  (void)one;
  (void)done;
}

TEST_F(WrapperTest, SingleChannelScanReadsOnce) {
  PlugAndOpen({20});
  const int list[] = {7, 8};
  ASSERT_EQ(tuner->ScanArbitraryChannel(list, nullptr, 2, nullptr), 1);
  EXPECT_EQ(tuner->m_ChannelInform[7].m_bFound, 1);

  stick->SetChannel(20, {true, 1});  // first answer: still searching
  stick->ClearCommands();
  MarkAll();
  tuner->m_ChannelInform[7].m_nChannelIndex = 7;
  EXPECT_EQ(tuner->ScanSingleChannel(7), 1);
  EXPECT_EQ(tuner->m_ChannelInform[7].m_bFound, 0);
  EXPECT_EQ(tuner->m_FICInformation[7].m_bFound, 0);
  EXPECT_EQ(tuner->m_FICInformation[7].m_nScanOrder, 99);  // nothing else touched
  EXPECT_EQ(Sent(4).size(), 1u);
  EXPECT_EQ(Sent(6).size(), 1u);

  stick->SetChannel(20, {true, 0});
  EXPECT_EQ(tuner->ScanSingleChannel(7), 1);
  EXPECT_EQ(tuner->m_ChannelInform[7].m_bFound, 1);
}

TEST_F(WrapperTest, EndlessSearchIsBoundedAndStoppable) {
  PlugAndOpen();
  stick->SetChannel(30, {true, 1000000});
  const int list[] = {17};
  // The presence test answers while a scan runs on another thread: the scan polls on after it.
  std::atomic<std::size_t> pollsAtAnswer{0};
  std::thread presence([&] {
    EXPECT_TRUE(WaitFor([&] { return stick->Received(6) > 0; }));
    EXPECT_EQ(tuner->IsUSB(), 1);
    pollsAtAnswer = stick->Received(6);
  });
  auto start = Clock::now();
  EXPECT_EQ(tuner->ScanArbitraryChannel(list, nullptr, 1, nullptr), 1);
  auto took = MsSince(start);
  presence.join();
  EXPECT_GT(stick->Received(6), pollsAtAnswer.load());
  // Bounded by time, never early; a poll is at least the interval, so there are no more than these.
  EXPECT_GE(took, CTDMBDll::kSearchPollLimitMs);
  EXPECT_LE(Sent(6).size(), std::size_t(CTDMBDll::kSearchPollLimitMs / CTDMBDll::kSearchPollIntervalMs + 1));
  EXPECT_EQ(tuner->m_ChannelInform[17].m_bFound, 0);
  EXPECT_EQ(tuner->m_nScanIndex, 0);

  // The stop flag ends a running poll and the rest of the scan.
  stick->ClearCommands();
  auto pollsOf30 = [&] {
    std::size_t n = 0;
    for (const auto& c : Sent(6)) n += c[1] == 30;
    return n;
  };
  std::size_t pollsAtStop = 0;
  std::thread stopper([&] {
    EXPECT_TRUE(WaitFor([&] { return pollsOf30() >= 2; }));
    pollsAtStop = pollsOf30();
    tuner->m_bScanStop = 1;
  });
  EXPECT_EQ(tuner->ScanAllChannel(9), 1);  // UHF 30 is channel 17
  stopper.join();
  EXPECT_LE(pollsOf30(), pollsAtStop + 2);  // the poll ended at its next turn
  ASSERT_FALSE(Sent(4).empty());
  EXPECT_EQ(Sent(4).back()[1], 30);  // no channel after it was searched
}

TEST_F(WrapperTest, StreamArrivesAsOrderedBlocks) {
  PlugAndOpen({20});
  stick->SetBatches(3);
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  auto selects = Sent(5);
  ASSERT_EQ(selects.size(), 1u);
  EXPECT_EQ(selects[0][1], 20);
  int count = 0;
  unsigned char block[1128];
  ASSERT_TRUE(WaitFor([&] {
    tuner->GetTSStream(nullptr, &count);
    return count == 3;
  }));
  EXPECT_EQ(tuner->GetTSStream(block, &count), 1);
  EXPECT_EQ(count, 3);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(FakePacketNumber(block + 188 * i), std::uint32_t(i));
  EXPECT_EQ(tuner->GetTSStream(nullptr, &count), 0);
  EXPECT_EQ(count, 2);

  // More data: every packet follows the one before, in blocks of six.
  stick->SetBatches(-1);
  std::uint32_t expect = 6;
  ASSERT_TRUE(WaitFor(
      [&] {
        while (tuner->GetTSStream(block, &count) == 1) {
          for (int i = 0; i < 6; ++i) EXPECT_EQ(FakePacketNumber(block + 188 * i), expect++);
        }
        return expect >= 600;
      },
      8000));
  EXPECT_EQ(tuner->Close(), 1);
  EXPECT_EQ(tuner->GetTSStream(block, &count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(WrapperTest, ChannelChangeStartsWithAnEmptyQueue) {
  PlugAndOpen({20, 21});
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(tuner->SetChannel(7 + round % 2, 0, 0, 0.f), 1);
    // Nothing of the previous channel is left: the first block is the new stream's first.
    unsigned char block[1128];
    int count = -1;
    ASSERT_TRUE(WaitFor([&] { return tuner->GetTSStream(block, &count) == 1; }));
    EXPECT_EQ(FakePacketNumber(block), 0u) << "round " << round;
    ASSERT_TRUE(WaitFor([&] {
      tuner->GetTSStream(nullptr, &count);
      return count >= 2;
    }));
  }
  // Each restart stopped the old stream before the next select.
  auto log = stick->Commands();
  int starts = 0, stops = 0;
  for (const auto& c : log) {
    starts += c[0] == 7;
    stops += c[0] == 9;
    if (c[0] == 5) {
      EXPECT_EQ(starts, stops);
    }
  }
  EXPECT_EQ(starts, 5);
  EXPECT_EQ(tuner->Close(), 1);
}

TEST_F(WrapperTest, LevelFollowsStickAndDropsToNoSignalWithoutData) {
  PlugAndOpen({20});
  stick->SetLevelCode(1);
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 20u; }));
  stick->SetLevelCode(3);
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 55u; }));

  // No data: after more than 100 empty passes (about half a second) the level shows no signal,
  // although the stick still reports a level.
  stick->SetBatches(0);
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 100u; }));
  const std::size_t reads = stick->Received(10);
  ASSERT_TRUE(WaitFor([&] { return stick->Received(10) >= reads + 2; }));  // and stays there
  EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, 100u);
  stick->SetBatches(-1);
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 55u; }));

  // A failing stream start: no blocks and the level stays at no signal.
  stick->SetWrongReply(7, true);
  const std::size_t starts = stick->Answered(7);
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  ASSERT_TRUE(WaitFor([&] { return stick->Answered(7) > starts; }));
  int count = -1;
  EXPECT_EQ(tuner->GetTSStream(nullptr, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, 100u);
  EXPECT_EQ(tuner->Close(), 1);
}

TEST_F(WrapperTest, TuningFailureStartsNothing) {
  PlugAndOpen({20});
  stick->SetSilent(5, true);
  EXPECT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 0);
  EXPECT_EQ(Sent(5).size(), 2u);  // a silent stick gets one more try
  EXPECT_TRUE(Sent(7).empty());   // no block thread was started to send it
  EXPECT_EQ(tuner->m_ChannelState.m_nSignalLevel, 100u);
}

// A stick too slow to answer the select or the stream start in time still tunes: the command goes
// out once more and the new channel's stream arrives from its first packet.
TEST_F(WrapperTest, ASlowAnswerToTheTuneStillPlays) {
  for (const std::uint8_t late : {5, 7}) {
    SCOPED_TRACE(::testing::Message() << "answer to command " << int(late) << " late");
    tuner.reset();
    stick.reset();
    PlugAndOpen({20});
    stick->HoldNextAnswer(late);
    ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
    unsigned char block[1128];
    int count = -1;
    ASSERT_TRUE(WaitFor([&] { return tuner->GetTSStream(block, &count) == 1; }))
        << "sent " << Sent(late).size() << ", answered " << stick->Answered(late);
    EXPECT_EQ(FakePacketNumber(block), 0u);
    EXPECT_EQ(Sent(late).size(), 2u);
    EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel < 100u; }));
    EXPECT_EQ(tuner->Close(), 1);
  }
}

TEST_F(WrapperTest, StickPulledMidStreamThenBack) {
  PlugAndOpen({20});
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  int count = 0;
  ASSERT_TRUE(WaitFor([&] {
    tuner->GetTSStream(nullptr, &count);
    return count > 0;
  }));
  stick->Remove();
  EXPECT_TRUE(WaitFor([&] { return tuner->m_ChannelState.m_nSignalLevel == 100u; }));
  EXPECT_EQ(tuner->IsUSB(), 0);
  auto start = Clock::now();
  EXPECT_EQ(tuner->Close(), 1);
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);  // no transfer waited out

  stick->Insert();
  EXPECT_EQ(tuner->IsUSB(), 1);
  ASSERT_EQ(tuner->Open(nullptr), 1);
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  EXPECT_TRUE(WaitFor([&] {
    tuner->GetTSStream(nullptr, &count);
    return count > 0;
  }));
}

TEST_F(WrapperTest, DeletingWhileReceivingJoinsEverything) {
  PlugAndOpen({20});
  ASSERT_EQ(tuner->SetChannel(7, 0, 0, 0.f), 1);
  stick->SetSilent(8, true);
  const std::size_t asked = stick->Received(8);
  ASSERT_TRUE(WaitFor([&] { return stick->Received(8) > asked; }));  // the stream thread is inside a transfer
  auto start = Clock::now();
  tuner.reset();
  EXPECT_LT(MsSince(start), CISDBTDll::kTransferTimeoutMs);  // without waiting it out
}

TEST_F(WrapperTest, ChannelStringsAndIndices) {
  CTDMBDll t;
  char16_t out[kNameLength];
  std::fill(std::begin(out), std::end(out), u'x');
  EXPECT_EQ(t.GetChannelString(out, 46, 5), 0);
  EXPECT_EQ(out[0], u'x');  // left alone
  EXPECT_EQ(t.GetChannelString(out, 47, 0), 0);
  EXPECT_EQ(t.GetChannelString(out, 0, -1), 0);
  EXPECT_EQ(t.GetChannelString(out, 46, 4), 1);
  EXPECT_EQ(Name(out), u"ＱＡＢ");
  EXPECT_EQ(t.GetChannelString(out, 0, 0), 1);
  EXPECT_EQ(Name(out), u"ＮＨＫ総合");
  struct {
    int area, index;
  } cases[] = {{0, 0}, {1, 7}, {7, 41}, {46, 290}, {47, 295}, {-1, 295}, {-100, 295}};
  for (auto c : cases) EXPECT_EQ(t.GetChannelIndex(c.area), c.index) << c.area;
}
